// The exact boolean operation checked against the operands themselves: at
// many sample points away from the outlines the result must be inside
// exactly where the operation says (and covered exactly once), and its area
// must match Clipper's on fine flattenings of the operands.

#include "GeometryTestSupport.h"
#include "geometry/VKBooleanCompoundPath.h"
#include "geometry/VKCompoundPath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace geometry_test;

namespace {

constexpr const char* kOperationNames[] = {"add", "subtract", "intersect", "exclude"};

// Compares all four operations of a and b with the sampled operands.
void expectExactOperations(const VKCompoundPath& a, const VKCompoundPath& b,
                           const std::string& label, int grid = 40) {
    std::shared_ptr<VKCompoundPath> results[4];
    for (int op = 0; op < 4; ++op)
        results[op] = a.compoundPathByPerformingOperation(VKBooleanOperation(op), b);
    VKRect bounds = VKRectUnion(a.bounds(), b.bounds());
    if (VKRectIsNull(bounds)) {
        for (int op = 0; op < 4; ++op)
            EXPECT_TRUE(results[op]->paths().empty()) << label;
        return;
    }
    // Every length of the check scales with the operands.
    const double size = std::max(bounds.size.width, bounds.size.height);
    const double tolerance = 1e-5 * size, near = 1e-4 * size;
    bounds = VKRectInset(bounds, -0.01 * size, -0.01 * size);
    Sampler sampleA(a, tolerance), sampleB(b, tolerance);
    std::vector<Sampler> sampleResults;
    for (int op = 0; op < 4; ++op)
        sampleResults.emplace_back(*results[op], tolerance);
    int mismatches[4] = {0, 0, 0, 0};
    std::string firstMismatch[4];
    for (int row = 0; row < grid; ++row) {
        double y =
            bounds.origin.y + (row + 0.5 + 0.123 * std::sin(row * 7.1)) * bounds.size.height / grid;
        std::vector<std::pair<double, int>> rowsA[3], rowsB[3];
        for (int k = 0; k < 3; ++k) {
            rowsA[k] = sampleA.crossings(y + (k - 1) * near);
            rowsB[k] = sampleB.crossings(y + (k - 1) * near);
        }
        std::vector<std::pair<double, int>> rowResults[4];
        for (int op = 0; op < 4; ++op)
            rowResults[op] = sampleResults[op].crossings(y);
        for (int column = 0; column < grid; ++column) {
            double x = bounds.origin.x + (column + 0.5 + 0.2 * std::cos(column * 3.7 + row)) *
                                             bounds.size.width / grid;
            bool nearOutline = false;
            for (int k = 0; k < 3 && !nearOutline; ++k)
                for (const auto* crossings : {&rowsA[k], &rowsB[k]})
                    for (const auto& c : *crossings)
                        nearOutline = nearOutline || std::fabs(c.first - x) < near;
            int wa[3], wb[3];
            for (int k = 0; k < 3; ++k) {
                wa[k] = windingFromCrossings(rowsA[k], x);
                wb[k] = windingFromCrossings(rowsB[k], x);
            }
            if (nearOutline || wa[0] != wa[1] || wa[1] != wa[2] || wb[0] != wb[1] || wb[1] != wb[2])
                continue;
            bool inA = insideForRule(a.fillRule(), wa[1]), inB = insideForRule(b.fillRule(), wb[1]);
            for (int op = 0; op < 4; ++op) {
                int winding = windingFromCrossings(rowResults[op], x);
                if (winding != (expectedInside(op, inA, inB) ? 1 : 0)) {
                    if (mismatches[op]++ == 0)
                        firstMismatch[op] = "at (" + std::to_string(x) + ", " + std::to_string(y) +
                                            ") winding " + std::to_string(winding);
                }
            }
        }
    }
    // Clipper works on a grid of 1e-4 units: only shapes well above that
    // are compared by area.
    bool compareArea = size >= 1 && size <= 1e5;
    double slack = 3 * (sampleA.perimeter() + sampleB.perimeter()) * (1e-3 + 1e-4) + 1e-9;
    for (int op = 0; op < 4; ++op) {
        EXPECT_EQ(mismatches[op], 0)
            << label << " " << kOperationNames[op] << " first " << firstMismatch[op] << "\n A "
            << describe(a) << "\n B " << describe(b) << "\n result " << describe(*results[op]);
        if (!compareArea) continue;
        double expectedArea = polygonOperationArea(a, VKBooleanOperation(op), b, 1e-3);
        EXPECT_NEAR(signedArea(*results[op]), expectedArea, slack)
            << label << " " << kOperationNames[op] << "\n A " << describe(a) << "\n B "
            << describe(b);
    }
}

}  // namespace

TEST(BooleanOperation, RandomPathsMatchTheirSampling) {
    int cases = randomCaseCount(300);
    for (int i = 0; i < cases; ++i) {
        std::mt19937_64 random(1000 + i);
        auto a = randomCompoundPath(random, i % 2);
        auto b = randomCompoundPath(random, (i / 2) % 2);
        expectExactOperations(*a, *b, "case " + std::to_string(i));
        if (HasFailure()) break;
    }
}

// Rectangles and circles on a coarse integer grid: shared and collinear
// edges, touching and tangent circles, repeated shapes.
TEST(BooleanOperation, RandomGridShapesWithSharedEdgesAndTangents) {
    int cases = randomCaseCount(200);
    for (int i = 0; i < cases; ++i) {
        std::mt19937_64 random(5000 + i);
        std::uniform_int_distribution<int> cell(0, 6), count(1, 4), kind(0, 2);
        auto shapes = [&](int fillRule) {
            std::vector<std::shared_ptr<const VKPath>> paths;
            for (int n = count(random); n > 0; --n) {
                double x = 10 * cell(random), y = 10 * cell(random);
                double w = 10 * (1 + cell(random) % 3), h = 10 * (1 + cell(random) % 3);
                int k = kind(random);
                paths.push_back(k == 0 ? rectangle(x, y, w, h)
                                       : circle({x, y}, w / 2, k == 2, k == 2 ? 8 : 4));
            }
            return compound(paths, fillRule);
        };
        auto a = shapes(i % 2);
        auto b = shapes((i / 2) % 2);
        expectExactOperations(*a, *b, "grid case " + std::to_string(i));
        if (HasFailure()) break;
    }
}

TEST(BooleanOperation, SharedAndOverlappingEdges) {
    auto square = compound({rectangle(0, 0, 10, 10)});
    expectExactOperations(*square, *compound({rectangle(10, 0, 10, 10)}), "full shared edge");
    expectExactOperations(*square, *compound({rectangle(10, 5, 10, 10)}), "partly shared edge");
    expectExactOperations(*square, *compound({rectangle(5, 0, 10, 10)}), "collinear overlap");
    expectExactOperations(*square, *compound({rectangle(10, 10, 5, 5)}), "shared corner");
    expectExactOperations(*square, *compound({rectangle(2, 0, 6, 10)}), "strip across");

    auto sum = square->compoundPathByPerformingOperation(VKBooleanOperationAdd,
                                                         *compound({rectangle(10, 0, 10, 10)}));
    ASSERT_EQ(sum->paths().size(), 1u);
    EXPECT_DOUBLE_EQ(signedArea(*sum), 200);
}

TEST(BooleanOperation, CirclesConcentricTangentAndNearlyEqual) {
    auto big = compound({circle({50, 50}, 30)});
    expectExactOperations(*big, *compound({circle({50, 50}, 10)}), "concentric");
    expectExactOperations(*big, *compound({circle({50, 50}, 10, true)}), "concentric reversed");
    expectExactOperations(*big, *compound({circle({110, 50}, 30)}), "touching outside");
    expectExactOperations(*big, *compound({circle({60, 50}, 20)}), "touching inside");
    expectExactOperations(*big, *compound({circle({50, 50}, 30, false, 8)}),
                          "same circle, other arcs");
    expectExactOperations(*big, *compound({circle({50, 50}, 30, true)}), "same circle reversed");
    expectExactOperations(*big, *compound({circle({70, 50}, 30)}), "two crossings");
}

TEST(BooleanOperation, ShapeAgainstItself) {
    std::mt19937_64 random(7);
    std::vector<std::shared_ptr<const VKCompoundPath>> shapes{
        compound({circle({50, 50}, 30)}), compound({rectangle(0, 0, 10, 20)}),
        randomCompoundPath(random, 0), randomCompoundPath(random, 1)};
    for (size_t i = 0; i < shapes.size(); ++i) {
        const VKCompoundPath& shape = *shapes[i];
        expectExactOperations(shape, shape, "self " + std::to_string(i));
        double area = filledArea(shape);
        EXPECT_NEAR(
            signedArea(*shape.compoundPathByPerformingOperation(VKBooleanOperationAdd, shape)),
            area, 1e-2 * area);
        EXPECT_NEAR(signedArea(*shape.compoundPathByPerformingOperation(VKBooleanOperationIntersect,
                                                                        shape)),
                    area, 1e-2 * area);
        EXPECT_TRUE(shape.compoundPathByPerformingOperation(VKBooleanOperationSubtract, shape)
                        ->paths()
                        .empty());
        EXPECT_TRUE(shape.compoundPathByPerformingOperation(VKBooleanOperationExclude, shape)
                        ->paths()
                        .empty());
    }
}

TEST(BooleanOperation, ManySmallHoles) {
    std::vector<std::shared_ptr<const VKPath>> paths{rectangle(0, 0, 100, 100)};
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            paths.push_back(circle({5.0 + 10 * i, 5.0 + 10 * j}, 3));
    auto sieve = compound(paths, VKFillRuleEvenOdd);
    expectExactOperations(*sieve, *compound({circle({50, 50}, 37)}), "sieve and circle", 80);
    expectExactOperations(*sieve, *compound({rectangle(10, 10, 50, 50)}), "sieve and square", 80);
}

TEST(BooleanOperation, SelfIntersectingAndOpenPaths) {
    auto eight = polygon({{0, 0}, {40, 40}, {40, 0}, {0, 40}});
    auto box = compound({rectangle(10, 5, 30, 20)});
    expectExactOperations(*compound({eight}, VKFillRuleNonZero), *box, "figure eight, non-zero");
    expectExactOperations(*compound({eight}, VKFillRuleEvenOdd), *box, "figure eight, even-odd");
    auto twice = compound({rectangle(0, 0, 20, 20), rectangle(10, 10, 20, 20)}, VKFillRuleEvenOdd);
    expectExactOperations(*twice, *box, "overlapping squares, even-odd");

    // An open path is filled as if closed by a line.
    auto open = std::make_shared<VKPath>(
        std::vector<VKKnot>{VKKnot::corner({0, 0}), VKKnot::corner({30, 0}),
                            VKKnot::corner({0, 30})},
        false);
    auto closed = polygon({{0, 0}, {30, 0}, {0, 30}});
    auto fromOpen =
        compound({open})->compoundPathByPerformingOperation(VKBooleanOperationAdd, *box);
    auto fromClosed =
        compound({closed})->compoundPathByPerformingOperation(VKBooleanOperationAdd, *box);
    EXPECT_NEAR(signedArea(*fromOpen), signedArea(*fromClosed), 1e-9);
}

TEST(BooleanOperation, BadInputGivesADefinedResult) {
    auto box = compound({rectangle(0, 0, 10, 10)});
    const double nan = std::nan(""), inf = INFINITY;
    auto poisoned =
        compound({rectangle(0, 0, 10, 10), polygon({{nan, 0}, {5, 5}, {0, 5}}),
                  polygon({{inf, 0}, {5, inf}, {0, 5}}), polygon({{1e300, 0}, {5, 5}, {0, 5}})});
    for (int op = 0; op < 4; ++op) {
        auto clean = box->compoundPathByPerformingOperation(VKBooleanOperation(op),
                                                            *compound({rectangle(5, 5, 10, 10)}));
        auto dirty = poisoned->compoundPathByPerformingOperation(
            VKBooleanOperation(op), *compound({rectangle(5, 5, 10, 10)}));
        EXPECT_NEAR(signedArea(*dirty), signedArea(*clean), 1e-9) << op;
    }

    // Degenerate segments (all four points equal), a single knot, a path
    // that runs back along itself, and empty operands.
    VKKnot corner = VKKnot::corner({10, 0});
    auto repeated =
        std::make_shared<VKPath>(std::vector<VKKnot>{VKKnot::corner({0, 0}), corner, corner, corner,
                                                     VKKnot::corner({10, 10})},
                                 true);
    auto single = std::make_shared<VKPath>(std::vector<VKKnot>{VKKnot::corner({3, 3})}, true);
    auto spike = polygon({{0, 0}, {20, 20}, {0, 0}});
    auto odd = compound({repeated, single, spike});
    expectExactOperations(*odd, *box, "degenerate pieces");
    expectExactOperations(*compound({}), *box, "empty A");
    expectExactOperations(*box, *compound({}), "empty B");
    expectExactOperations(*compound({}), *compound({}), "both empty");

    EXPECT_TRUE(
        box->compoundPathByPerformingOperation(VKBooleanOperation(4), *box)->paths().empty());
    EXPECT_TRUE(
        box->compoundPathByPerformingOperation(VKBooleanOperation(-1), *box)->paths().empty());
}

TEST(BooleanOperation, ScaleAndPlacementDoNotMatter) {
    std::mt19937_64 random(99);
    for (double scale : {1e-3, 1.0, 1e4}) {
        for (double offset : {0.0, 1e6}) {
            std::mt19937_64 copy = random;
            auto place = [&](const VKCompoundPath& path) {
                VKCompoundPath::PathList paths;
                for (const auto& p : path.paths()) {
                    std::vector<VKKnot> knots = p->knots();
                    for (VKKnot& k : knots)
                        for (VKPoint* q : {&k.incoming, &k.point, &k.outgoing})
                            *q = *q * scale + VKPoint{offset, offset};
                    paths.push_back(std::make_shared<VKPath>(knots, true));
                }
                return compound(paths, path.fillRule());
            };
            auto a = place(*randomCompoundPath(copy, 0));
            auto b = place(*randomCompoundPath(copy, 1));
            expectExactOperations(
                *a, *b, "scale " + std::to_string(scale) + " offset " + std::to_string(offset));
        }
    }
}

TEST(BooleanOperation, ResultKeepsCurvesAndUntouchedPaths) {
    auto a = compound({circle({0, 0}, 10)});
    auto b = compound({circle({15, 0}, 10)});
    auto sum = a->compoundPathByPerformingOperation(VKBooleanOperationAdd, *b);
    ASSERT_EQ(sum->paths().size(), 1u);
    const VKPath& outline = *sum->paths()[0];
    EXPECT_LE(outline.numberOfSegments(), 8u);
    for (size_t i = 0; i < outline.numberOfSegments(); ++i)
        EXPECT_FALSE(VKBezierIsLine(outline.segmentAtIndex(i)));
    EXPECT_TRUE(outline.isClockwise());

    // Disjoint operands come back knot for knot; a hole is turned round.
    auto far = compound({circle({100, 0}, 10)});
    auto both = a->compoundPathByPerformingOperation(VKBooleanOperationAdd, *far);
    ASSERT_EQ(both->paths().size(), 2u);
    EXPECT_EQ(both->paths()[0]->knots(), a->paths()[0]->knots());
    auto holed = a->compoundPathByPerformingOperation(VKBooleanOperationSubtract,
                                                      *compound({circle({0, 0}, 3)}));
    ASSERT_EQ(holed->paths().size(), 2u);
    EXPECT_TRUE(holed->paths()[0]->isClockwise());
    EXPECT_FALSE(holed->paths()[1]->isClockwise());
}
