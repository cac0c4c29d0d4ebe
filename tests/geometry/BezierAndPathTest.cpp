// Bezier functions (flattening within tolerance, nearest point, splitting,
// bounds), knot paths and the accumulator.

#include "GeometryTestSupport.h"
#include "geometry/VKBezier.h"
#include "geometry/VKPath.h"
#include "geometry/VKPathAccumulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

VKPathSegment randomSegment(std::mt19937_64& random) {
    std::uniform_real_distribution<double> coordinate(-100, 100);
    VKPathSegment s;
    for (size_t i = 0; i < 4; ++i)
        s[i] = {coordinate(random), coordinate(random)};
    return s;
}

// A consumer that writes what it is sent as text.
class Recorder : public VKPathConsumer {
public:
    std::string log;
    void note(char command, VKPoint p = {}) {
        log.push_back(command);
        if (command != 'Z' && command != 'E') log.append(std::to_string(int(p.x)));
        log.push_back(' ');
    }
    void moveToPoint(VKPoint p) override { note('M', p); }
    void lineToPoint(VKPoint p) override { note('L', p); }
    void curveToPoint(VKPoint p, VKPoint, VKPoint) override { note('C', p); }
    void quadCurveToPoint(VKPoint p, VKPoint) override { note('Q', p); }
    void closeSubpath() override { note('Z'); }
    void endSubpath() override { note('E'); }
};

}  // namespace

TEST(Bezier, FlatteningStaysWithinTolerance) {
    std::mt19937_64 random(11);
    for (int round = 0; round < 200; ++round) {
        VKPathSegment s = randomSegment(random);
        for (double tolerance : {1.0, 0.1, 0.01}) {
            std::vector<std::array<VKPoint, 2>> pieces;
            VKBezierFlatten(s, tolerance, [&](double x0, double y0, double x1, double y1) {
                pieces.push_back({VKPoint{x0, y0}, VKPoint{x1, y1}});
            });
            ASSERT_FALSE(pieces.empty());
            EXPECT_EQ(pieces.front()[0], s.start);
            EXPECT_EQ(pieces.back()[1], s.end);
            // Every curve point lies near its own piece (pieces follow the
            // parameter evenly), and the pieces join up.
            for (size_t i = 0; i < pieces.size(); ++i) {
                if (i > 0) {
                    EXPECT_EQ(pieces[i][0], pieces[i - 1][1]);
                }
                for (int k = 0; k <= 8; ++k) {
                    double t = (i + k / 8.0) / pieces.size();
                    EXPECT_LE(geometry_test::distanceToSegment(VKBezierPointAt(s, t), pieces[i][0],
                                                               pieces[i][1]),
                              tolerance);
                }
            }
        }
    }
    // Bounded work for a tolerance of zero and a defined piece for NaN.
    int count = 0;
    VKBezierFlatten(randomSegment(random), 0, [&](double, double, double, double) { ++count; });
    EXPECT_LT(count, 1000000);
    count = 0;
    VKBezierFlatten({{0, 0}, {std::nan(""), 0}, {1, 1}, {2, 2}}, 0.1,
                    [&](double, double, double, double) { ++count; });
    EXPECT_EQ(count, 1);
}

TEST(Bezier, NearestPointSplitAndBounds) {
    std::mt19937_64 random(12);
    for (int round = 0; round < 200; ++round) {
        VKPathSegment s = randomSegment(random);
        VKPoint p = randomSegment(random).start;
        double t = -1;
        VKPoint nearest = VKBezierNearestPoint(s, p, &t);
        ASSERT_GE(t, 0);
        ASSERT_LE(t, 1);
        EXPECT_EQ(nearest, VKBezierPointAt(s, t));
        for (int k = 0; k <= 2000; ++k)
            ASSERT_LE(VKDistance(p, nearest), VKDistance(p, VKBezierPointAt(s, k / 2000.0)) + 1e-9);

        double at = std::uniform_real_distribution<double>(0, 1)(random);
        VKPathSegment left, right;
        VKBezierSplit(s, at, &left, &right);
        EXPECT_EQ(left.end, right.start);
        EXPECT_EQ(left.start, s.start);
        EXPECT_EQ(right.end, s.end);
        EXPECT_LT(VKDistance(VKBezierPointAt(left, 0.5), VKBezierPointAt(s, at / 2)), 1e-9);
        EXPECT_LT(VKDistance(VKBezierPointAt(right, 0.5), VKBezierPointAt(s, (1 + at) / 2)), 1e-9);

        VKRect bounds = VKBezierBounds(s);
        for (int k = 0; k <= 100; ++k) {
            VKPoint q = VKBezierPointAt(s, k / 100.0);
            EXPECT_TRUE(q.x >= VKRectGetMinX(bounds) - 1e-9 && q.x <= VKRectGetMaxX(bounds) + 1e-9);
            EXPECT_TRUE(q.y >= VKRectGetMinY(bounds) - 1e-9 && q.y <= VKRectGetMaxY(bounds) + 1e-9);
        }
    }
}

TEST(Path, SegmentsConsumersAndReversal) {
    VKMutablePath path(4);
    path.addKnot(VKKnot::corner({0, 0}));
    path.addKnot({{10, -5}, {10, 0}, {10, 5}, 1});
    path.addKnot(VKKnot::corner({0, 10}));
    EXPECT_EQ(path.numberOfSegments(), 2u);
    path.setIsClosed(true);
    EXPECT_EQ(path.numberOfSegments(), 3u);
    VKPathSegment wrap = path.segmentAtIndex(2);
    EXPECT_EQ(wrap.start, (VKPoint{0, 10}));
    EXPECT_EQ(wrap.end, (VKPoint{0, 0}));
    EXPECT_EQ(path.segmentAtIndex(1).controlPoint1, (VKPoint{10, 5}));

    Recorder recorder;
    path.applyToPathConsumer(recorder);
    EXPECT_EQ(recorder.log, "M0 C10 C0 L0 Z ");
    EXPECT_TRUE(path.isClockwise());  // right, then down: clockwise on screen
    auto reversed = path.pathByReversingPath();
    EXPECT_FALSE(reversed->isClockwise());
    EXPECT_EQ(reversed->knotAtIndex(1).incoming, (VKPoint{10, 5}));
    EXPECT_EQ(reversed->pathByReversingPath()->knots(), path.knots());

    path.insertKnot(VKKnot::corner({5, 5}), 99);
    EXPECT_EQ(path.numberOfKnots(), 4u);
    path.replaceKnotAtIndex(99, VKKnot::corner({1, 1}));
    EXPECT_EQ(path.knotAtIndex(3).point, (VKPoint{5, 5}));
    EXPECT_EQ(path.mutableCopy()->knots(), path.knots());

    Recorder nothing;
    VKPath().applyToPathConsumer(nothing);
    EXPECT_EQ(nothing.log, "");
    EXPECT_FALSE(VKPath().isClockwise());
    EXPECT_TRUE(VKRectIsNull(VKPath().bounds()));
}

TEST(PathAccumulator, RoundTripsPathsAndConvertsQuadratics) {
    std::mt19937_64 random(4);
    auto original = geometry_test::randomPath(random, {0, 0}, 10, 5);
    VKPathAccumulator accumulator;
    original->applyToPathConsumer(accumulator);
    accumulator.lineToPoint({1, 1});  // after the close: ignored
    auto paths = accumulator.paths();
    ASSERT_EQ(paths.size(), 1u);
    ASSERT_EQ(paths[0]->numberOfKnots(), original->numberOfKnots());
    for (size_t i = 0; i < original->numberOfSegments(); ++i)
        EXPECT_EQ(paths[0]->segmentAtIndex(i), original->segmentAtIndex(i));

    VKPathAccumulator quadratic;
    quadratic.moveToPoint({0, 0});
    quadratic.quadCurveToPoint({6, 0}, {3, 3});
    quadratic.endSubpath();
    VKPathSegment s = quadratic.paths()[0]->segmentAtIndex(0);
    EXPECT_EQ(s.controlPoint1, (VKPoint{2, 2}));
    EXPECT_EQ(s.controlPoint2, (VKPoint{4, 2}));
}

TEST(CompoundPath, HolesAreClosedPathsWithTheShapeOnTheirOuterSideOnly) {
    using namespace geometry_test;
    auto outer = rectangle(0, 0, 30, 30), inner = circle({15, 15}, 8),
         innerReversed = circle({15, 15}, 8, true), island = rectangle(13, 13, 4, 4),
         apart = rectangle(40, 0, 10, 10);
    // A ring, whichever way its inner edge runs, under even-odd; under
    // non-zero only an inner edge that runs against the outer one cuts a hole.
    EXPECT_EQ(compound({outer, inner}, VKFillRuleEvenOdd)->holes(),
              (std::vector<bool>{false, true}));
    EXPECT_EQ(compound({outer, innerReversed}, VKFillRuleEvenOdd)->holes(),
              (std::vector<bool>{false, true}));
    EXPECT_EQ(compound({outer, innerReversed})->holes(), (std::vector<bool>{false, true}));
    EXPECT_EQ(compound({outer, inner})->holes(), (std::vector<bool>{false, false}));
    // An island in the hole bounds filled area again; a shape apart is no
    // hole; the order of the paths does not matter.
    EXPECT_EQ(compound({island, outer, inner, apart}, VKFillRuleEvenOdd)->holes(),
              (std::vector<bool>{false, false, true, false}));
    // An open path is never a hole, nor is anything with nothing around it.
    auto open = std::make_shared<VKPath>(innerReversed->knots(), false);
    EXPECT_EQ(compound({outer, open}, VKFillRuleEvenOdd)->holes(),
              (std::vector<bool>{false, false}));
    EXPECT_EQ(compound({innerReversed})->holes(), (std::vector<bool>{false}));
}
