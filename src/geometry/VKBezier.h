#pragma once
// Cubic Bezier segments and the functions on them: evaluation, splitting,
// flattening into lines, the nearest point, exact bounds and arc length.
// Every function is pure and safe from any thread.

#include "geometry/VKGeometry.h"

#include <functional>
#include <vector>

// One cubic segment: start, two control points, end. A straight segment has
// its first control point on the start and its second on the end.
struct VKPathSegment {
    VKPoint start;
    VKPoint controlPoint1;
    VKPoint controlPoint2;
    VKPoint end;

    // The four points as an array: 0 start, 1 and 2 the control points, 3 end.
    VKPoint& operator[](size_t index) { return this->*kMembers[index & 3]; }
    const VKPoint& operator[](size_t index) const { return this->*kMembers[index & 3]; }

    friend bool operator==(const VKPathSegment& a, const VKPathSegment& b) {
        return a.start == b.start && a.controlPoint1 == b.controlPoint1 &&
               a.controlPoint2 == b.controlPoint2 && a.end == b.end;
    }

private:
    static constexpr VKPoint VKPathSegment::*kMembers[4] = {
        &VKPathSegment::start, &VKPathSegment::controlPoint1, &VKPathSegment::controlPoint2,
        &VKPathSegment::end};
};

// The straight segment from a to b (control points on the ends).
inline VKPathSegment VKPathSegmentMakeLine(VKPoint a, VKPoint b) {
    return {a, a, b, b};
}

// Calls `callback` with the end points (x0, y0, x1, y1) of consecutive line
// pieces, in order along the curve, whose distance from the curve stays
// within `tolerance`. The pieces split the curve at equal parameter steps,
// as many as the curve's second differences require; a tolerance below
// 1e-9 of the segment's size counts as that, so that the count stays bounded.
// A segment with a non-finite coordinate gives the one piece start to end.
void VKBezierFlatten(
    const VKPathSegment& segment, double tolerance,
    const std::function<void(double x0, double y0, double x1, double y1)>& callback);

// The same pieces as VKBezierFlatten, appended as points (the start point is
// not appended, only the end of each piece).
void VKBezierFlattenAppend(const VKPathSegment& segment, double tolerance,
                           std::vector<VKPoint>& points);

// The point of the segment nearest to `point`; `t`, when given, receives its
// parameter in [0, 1]. The first of equally near points wins.
VKPoint VKBezierNearestPoint(const VKPathSegment& segment, VKPoint point, double* t);

// De Casteljau split at t into the part before and the part after; either
// output may be null. The halves meet exactly at the split point.
void VKBezierSplit(const VKPathSegment& segment, double t, VKPathSegment* left,
                   VKPathSegment* right);

VKPoint VKBezierPointAt(const VKPathSegment& segment, double t);
// The first derivative with respect to t.
VKPoint VKBezierDerivativeAt(const VKPathSegment& segment, double t);
// The unit tangent at t; where the derivative vanishes (a control point on
// its end point) the direction towards the next distinct point, and (0, 0)
// for a segment that is a single point.
VKPoint VKBezierTangentAt(const VKPathSegment& segment, double t);
// The part of the segment between the parameters t0 and t1 (t0 > t1 gives
// it reversed).
VKPathSegment VKBezierSubsegment(const VKPathSegment& segment, double t0, double t1);
VKPathSegment VKBezierReversed(const VKPathSegment& segment);
// The tight bounds of the curve (not of its control points).
VKRect VKBezierBounds(const VKPathSegment& segment);
// Whether the segment is straight: its control points lie on the line from
// start to end, between them.
bool VKBezierIsLine(const VKPathSegment& segment);
// Whether all four points of the segment are one point.
inline bool VKBezierIsPoint(const VKPathSegment& s) {
    return s.start == s.controlPoint1 && s.start == s.controlPoint2 && s.start == s.end;
}
// Arc length between parameters t0 and t1.
double VKBezierLength(const VKPathSegment& segment, double t0 = 0, double t1 = 1);
// The parameter at which the arc length from the start reaches `length`
// (clamped to [0, 1]).
double VKBezierParameterAtLength(const VKPathSegment& segment, double length);
// Signed area contribution of the segment to its closed contour:
// the integral of (x dy - y dx) / 2 along it. Summed over a closed contour it
// is the contour's signed area, positive when the interior lies to the left
// in a y-up frame (clockwise on a y-down screen).
double VKBezierSignedArea(const VKPathSegment& segment);
// Parameters in (0, 1) where dx/dt or dy/dt vanishes, sorted, without
// repeats.
std::vector<double> VKBezierExtrema(const VKPathSegment& segment);
bool VKBezierIsFinite(const VKPathSegment& segment);

// Cross and dot products, and lengths, used by every geometry algorithm.
inline double VKCross(VKPoint a, VKPoint b) {
    return a.x * b.y - a.y * b.x;
}
inline double VKDot(VKPoint a, VKPoint b) {
    return a.x * b.x + a.y * b.y;
}
double VKLength(VKPoint v);
double VKDistance(VKPoint a, VKPoint b);
