#pragma once
// VKPathConsumer: the interface through which every path producer writes and
// every path filter (accumulator, stroker, the compositing's path fixer)
// reads. A producer sends, per subpath, one moveToPoint, then lines and
// curves, then closeSubpath or endSubpath.
//
// A consumer is used from one thread at a time.

#include "geometry/VKBezier.h"
#include "geometry/VKGeometry.h"

class VKPathConsumer {
public:
    virtual ~VKPathConsumer() = default;

    virtual void moveToPoint(VKPoint point) = 0;
    virtual void lineToPoint(VKPoint point) = 0;
    virtual void curveToPoint(VKPoint point, VKPoint controlPoint1, VKPoint controlPoint2) = 0;
    virtual void quadCurveToPoint(VKPoint point, VKPoint controlPoint) = 0;
    // Ends the subpath with a line back to its first point.
    virtual void closeSubpath() = 0;
    // Ends the subpath open.
    virtual void endSubpath() = 0;
};

// Sends `segment` on from its start: a line where both control points sit on
// their end points, else a curve.
inline void VKPathConsumerAddSegment(VKPathConsumer& consumer, const VKPathSegment& segment) {
    if (segment.controlPoint1 == segment.start && segment.controlPoint2 == segment.end)
        consumer.lineToPoint(segment.end);
    else
        consumer.curveToPoint(segment.end, segment.controlPoint1, segment.controlPoint2);
}

// The cubic control points of the quadratic curve from `from` through the
// control point `control` to `to`: from + 2/3 (control - from) and
// to + 2/3 (control - to).
inline void VKQuadraticToCubic(VKPoint from, VKPoint control, VKPoint to, VKPoint* controlPoint1,
                               VKPoint* controlPoint2) {
    *controlPoint1 = from + (control - from) * (2.0 / 3.0);
    *controlPoint2 = to + (control - to) * (2.0 / 3.0);
}
