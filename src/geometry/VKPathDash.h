#pragma once
// Cutting a subpath into dashes along its arc length, for the stroker.
// Pure functions, safe from any thread.

#include "geometry/VKBezier.h"

#include <vector>

struct VKDash {
    std::vector<VKPathSegment> segments;  // empty for a dash of zero length
    VKPoint point;                        // where a zero-length dash lies
    VKPoint tangent;                      // the path's direction there
};

// The dashes of the subpath `segments` for the pattern `lengths` (on, off,
// on, ...; an odd count repeats with on and off swapped) starting `phase`
// into the pattern. Returns false, and no dashes, when the pattern cannot be
// used (a negative or non-finite length, a sum of 0, or more than
// `maxRepetitions` repetitions of the pattern along the subpath).
bool VKDashSubpath(const std::vector<VKPathSegment>& segments, const std::vector<double>& lengths,
                   double phase, std::vector<VKDash>& dashes, double maxRepetitions = 100000);
