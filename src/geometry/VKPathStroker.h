#pragma once
// VKPathStroker: a path consumer that writes the outline of the stroke of
// every subpath it is sent to another consumer, as closed subpaths to be
// filled with the non-zero rule (pieces may overlap).
//
// - Centred strokes reach half the width to each side. Inside strokes reach
//   the full width into a closed subpath's interior and outside strokes
//   away from it, whichever way the subpath runs (its direction is read
//   from the sign of its chord polygon's area, as VKPath::isClockwise reads
//   it); along an open subpath they lie to the left, and to the right, of
//   its direction in a y-up frame. A closed subpath gives two outlines, one
//   per side; an open one a single outline with caps.
// - Joins (miter, round, bevel) are added on the outer side of every corner;
//   the inner side passes through the corner itself, which fills correctly
//   under the non-zero rule. A miter longer than miterLimit x width becomes
//   a bevel.
// - Offset curves are cubics within 1/1000 of the width (at most 0.01 units)
//   of the true offset.
// - A dashed style first cuts each subpath into dashes (open subpaths) along
//   its arc length in its own direction, starting `phase` into the pattern;
//   the dashes of a closed subpath keep its sides. An odd number of
//   lengths repeats with on and off swapped. Zero-length dashes give dots
//   with round or square caps. A pattern with a negative or non-finite
//   length, a sum of 0, or more than 100,000 repetitions along one subpath
//   strokes solid.
// - A subpath of zero length gives a dot (round cap), a square (square cap)
//   or nothing (butt). A width that is not positive and finite, or a
//   subpath with a non-finite coordinate, gives nothing.
//
// One thread at a time. The style is copied at creation.

#include "geometry/VKBezier.h"
#include "geometry/VKPathConsumer.h"
#include "geometry/VKStrokeStyle.h"

#include <memory>
#include <vector>

class VKPathStroker : public VKPathConsumer {
public:
    VKPathStroker(std::shared_ptr<VKPathConsumer> consumer, const VKStrokeStyle& style);

    void moveToPoint(VKPoint point) override;
    void lineToPoint(VKPoint point) override;
    void curveToPoint(VKPoint point, VKPoint controlPoint1, VKPoint controlPoint2) override;
    void quadCurveToPoint(VKPoint point, VKPoint controlPoint) override;
    void closeSubpath() override;
    void endSubpath() override;

private:
    void finishSubpath(bool closed);

    std::shared_ptr<VKPathConsumer> consumer_;
    VKStrokeStyle style_;
    std::vector<VKPathSegment> segments_;
    VKPoint start_;
    VKPoint current_;
    bool active_ = false;
};
