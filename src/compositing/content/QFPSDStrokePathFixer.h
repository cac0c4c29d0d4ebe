#pragma once
// QFPSDStrokePathFixer: a path consumer in front of the path stroker that
// prepares a shape's outline the way the document's strokes expect: closed
// subpaths of a dashed one-sided stroke start at the lowest point (greatest
// y) of the outline read clockwise (on a y-down screen), where the dash
// pattern begins, and keep their own direction, which the dashes follow;
// a knot is inserted there when the point lies inside a segment. (The
// stroker keeps one-sided strokes inside or outside a closed outline
// whichever way it runs.)
// Open subpaths, and every subpath of a centred stroke, pass unchanged. A
// closed subpath whose last knot repeats its first (the producer's segment
// back to the start) keeps one knot there.
//
// One thread at a time; the consumer is held strongly.

#include "geometry/VKPath.h"
#include "geometry/VKPathConsumer.h"
#include "geometry/VKStrokeStyle.h"

#include <memory>

class QFPSDStrokePathFixer final : public VKPathConsumer {
public:
    QFPSDStrokePathFixer(std::shared_ptr<VKPathConsumer> consumer, const VKStrokeStyle& style);

    void moveToPoint(VKPoint point) override;
    void lineToPoint(VKPoint point) override;
    void curveToPoint(VKPoint point, VKPoint controlPoint1, VKPoint controlPoint2) override;
    void quadCurveToPoint(VKPoint point, VKPoint controlPoint) override;
    void closeSubpath() override;
    void endSubpath() override;

    // Repairs one finished subpath and sends it on.
    void processPath(std::shared_ptr<VKPath> path);

private:
    std::shared_ptr<VKPathConsumer> consumer_;
    std::shared_ptr<VKMutablePath> currentPath_;
    bool isCenteredStroke_;
    bool hasDash_;
};

// The closed path started at its lowest point (greatest y; the first such
// point along the path), with a knot inserted there when it lies inside a
// segment. The path itself when it already starts there or has no segments.
std::shared_ptr<VKPath> QFPathStartingAtLowestPoint(std::shared_ptr<VKPath> path);
