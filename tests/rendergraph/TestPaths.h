#pragma once
// Paths for the tests of the rasteriser and the path nodes, and their
// description as C++ source, so that a failing random case can be pasted
// into a regression test.

#include "geometry/VKCompoundPath.h"
#include "geometry/VKStrokeStyle.h"

#include <memory>
#include <string>
#include <vector>

namespace rendergraph_test {

using PathPtr = std::shared_ptr<const VKPath>;
using CompoundPathPtr = std::shared_ptr<const VKCompoundPath>;

// A path through the points with straight segments.
PathPtr polygonPath(const std::vector<VKPoint>& points, bool closed = true);
// One closed polygon as a compound path.
CompoundPathPtr polygon(const std::vector<VKPoint>& points, int fillRule = VKFillRuleNonZero);
CompoundPathPtr compoundPathOf(std::vector<PathPtr> paths, int fillRule = VKFillRuleNonZero);
// A closed ellipse of four cubic segments inside `rect`, clockwise on a
// y-down screen.
PathPtr ellipsePath(VKRect rect);

// A stroke style with every parameter given, position, cap and join by
// number as strokeStyleCode writes them.
VKStrokeStyle strokeStyleOf(double width, int position, int cap, int join, double miterLimit,
                            const std::vector<double>& dashes = {}, double phase = 0);

// "{{x, y}, {x, y}, ...}": the points as a C++ initialiser.
std::string pointsCode(const std::vector<VKPoint>& points);
// The knots of a path as a C++ expression making it with the helpers above
// (knots are written out when the path has curves).
std::string pathCode(const VKPath& path);
// "compoundPathOf({...}, rule)".
std::string compoundPathCode(const VKCompoundPath& compoundPath);
// "strokeStyleOf(...)".
std::string strokeStyleCode(const VKStrokeStyle& style);

}  // namespace rendergraph_test
