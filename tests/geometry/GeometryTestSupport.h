#pragma once
// Shapes and independent measurements for the geometry tests: point
// sampling by a separate flattening and crossing count, areas, distances to
// outlines, and seeded random compound paths.

#include "geometry/VKBooleanCompoundPath.h"
#include "geometry/VKCompoundPath.h"

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace geometry_test {

std::shared_ptr<const VKPath> polygon(const std::vector<VKPoint>& points);
std::shared_ptr<const VKPath> rectangle(double x, double y, double width, double height);
// A circle of four cubic arcs; counter-clockwise on a y-down screen when
// `reversed`.
std::shared_ptr<const VKPath> circle(VKPoint center, double radius, bool reversed = false,
                                     int arcs = 4);
std::shared_ptr<const VKCompoundPath> compound(std::vector<std::shared_ptr<const VKPath>> paths,
                                               int fillRule = VKFillRuleNonZero);
// The one outline as the operand of a boolean operation.
std::shared_ptr<const VKBooleanCompoundPath> booleanPath(std::shared_ptr<const VKPath> path);

// Winding number at `p` of the compound path's outlines (open paths closed),
// flattened finely, and whether `p` is inside under its fill rule.
int windingAt(const VKCompoundPath& path, VKPoint p);
bool insideAt(const VKCompoundPath& path, VKPoint p);
// Distance from `p` to the line segment from a to b.
double distanceToSegment(VKPoint p, VKPoint a, VKPoint b);
// Sum of the signed areas of the paths (positive for clockwise on a y-down
// screen), each closed by a line.
double signedArea(const VKCompoundPath& path);
// Area covered under the path's fill rule, measured by Clipper on a fine
// flattening: independent of the exact boolean operation.
double filledArea(const VKCompoundPath& path);
// The expected area of `a` op `b`, computed by Clipper on flattenings
// within `tolerance`.
double polygonOperationArea(const VKCompoundPath& a, VKBooleanOperation operation,
                            const VKCompoundPath& b, double tolerance = 1e-4);

bool expectedInside(int operation, bool inA, bool inB);

// A compound path flattened once, for sampling many points row by row.
class Sampler {
public:
    explicit Sampler(const VKCompoundPath& path, double tolerance = 1e-3);
    // The crossings of the outlines with the line at `y`: x and direction
    // (+1 going down the screen), sorted by x.
    std::vector<std::pair<double, int>> crossings(double y) const;
    // The perimeter of the flattened outlines.
    double perimeter() const;
    int fillRule() const { return fillRule_; }

private:
    std::vector<std::vector<VKPoint>> outlines_;
    int fillRule_;
};

// Winding number at x from a row's crossings.
int windingFromCrossings(const std::vector<std::pair<double, int>>& crossings, double x);
bool insideForRule(int fillRule, int winding);

// A random closed path of `segments` cubic or straight segments around
// `center`, possibly self-intersecting.
std::shared_ptr<const VKPath> randomPath(std::mt19937_64& random, VKPoint center, double size,
                                         int segments);
std::shared_ptr<const VKCompoundPath> randomCompoundPath(std::mt19937_64& random, int fillRule);

// A line describing a compound path, for failure messages that can be pasted
// back into a test.
std::string describe(const VKCompoundPath& path);

// The number of random cases: `ciCount`, or LF_GEOMETRY_RANDOM_CASES from the
// environment for longer local runs.
int randomCaseCount(int ciCount);

}  // namespace geometry_test
