#pragma once
// Polygon boolean operations through the Clipper library: the paths are
// flattened, their coordinates scaled by 10000 to 64-bit integers, clipped,
// and scaled back. Faster than the exact operation but the result is made
// of lines. Paths with a non-finite coordinate, or one too large for
// Clipper's integers (beyond +-4.6e14), are left out.
//
// Pure functions, safe from any thread.

#include "geometry/VKCompoundPath.h"

#include <clipper.hpp>

#include <memory>

inline constexpr double VKClipperScale = 10000.0;

// `operation` as for the exact operation (0 add, 1 subtract, 2 intersect,
// 3 exclude; any other value gives an empty result). The curves are
// flattened within `tolerance`. The result has the non-zero rule, outer
// polygons clockwise on a y-down screen and holes the other way.
std::shared_ptr<VKCompoundPath> VKPolygonBooleanOperation(const VKCompoundPath& a,
                                                          VKBooleanOperation operation,
                                                          const VKCompoundPath& b,
                                                          double tolerance = 0.01);

// The flattened, scaled polygons of a compound path (open paths closed).
ClipperLib::Paths VKClipperPathsFromCompoundPath(const VKCompoundPath& path, double tolerance);
// Clipper polygons back as closed paths of lines, with the given fill rule.
std::shared_ptr<VKCompoundPath> VKCompoundPathFromClipperPaths(
    const ClipperLib::Paths& paths, VKFillRule fillRule = VKFillRuleNonZero);
ClipperLib::PolyFillType VKClipperFillType(VKFillRule fillRule);
