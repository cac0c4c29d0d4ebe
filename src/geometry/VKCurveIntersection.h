#pragma once
// Where two curve pieces meet, for the exact boolean operation. The pieces
// are monotone in x and in y, so that each lies within the box of its end
// points; a straight piece is parametrised linearly.
//
// Pure functions, safe from any thread.

#include "geometry/VKBezier.h"

#include <vector>

struct VKCurvePiece {
    VKPathSegment curve;
    bool isLine = false;
    // The box of the end points, which holds the whole monotone piece.
    double minX = 0, maxX = 0, minY = 0, maxY = 0;

    void updateBox();
};

// One meeting point: parameter s on the first piece, t on the second.
struct VKCurveHit {
    double s;
    double t;
    VKPoint point;
};

// Appends every point where `a` and `b` meet within `tolerance` (a distance)
// to `hits`, except where an end point of one meets an end point of the
// other: a caller finds those by comparing end points. Where the two pieces
// run together along a stretch, only the ends of that stretch are reported
// and the function returns true.
bool VKIntersectCurvePieces(const VKCurvePiece& a, const VKCurvePiece& b, double tolerance,
                            std::vector<VKCurveHit>& hits);

// Roots in [0, 1] of the cubic with Bernstein coefficients f[0..3], where a
// value within `zero` of 0 counts as 0, ascending.
void VKBernsteinRoots(const double f[4], double zero, std::vector<double>& roots);
