// The stroker's outlines measured against the analytic areas of simple
// strokes, for every position, cap and join, and dashes. Areas are measured
// by Clipper on a fine flattening under the non-zero rule, independently of
// the exact boolean operation.

#include "GeometryTestSupport.h"
#include "geometry/VKPathAccumulator.h"
#include "geometry/VKPathStroker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace geometry_test;

namespace {

constexpr double pi = std::numbers::pi;

// Centred, butt caps and miter joins unless said otherwise.
VKStrokeStyle style(double width, VKStrokePosition position = VKStrokePositionCentered,
                    VKLineCap cap = VKLineCapButt, VKLineJoin join = VKLineJoinMiter) {
    VKStrokeStyle s;
    s.setWidth(width);
    s.setPosition(position);
    s.setCap(cap);
    s.setJoin(join);
    return s;
}

std::shared_ptr<VKCompoundPath> stroke(const VKPath& path, const VKStrokeStyle& s) {
    auto accumulator = std::make_shared<VKPathAccumulator>();
    VKPathStroker stroker(accumulator, s);
    path.applyToPathConsumer(stroker);
    return std::make_shared<VKCompoundPath>(accumulator->paths(), VKFillRuleNonZero);
}

double strokeArea(const VKPath& path, const VKStrokeStyle& s) {
    return filledArea(*stroke(path, s));
}

std::shared_ptr<VKPath> line(VKPoint a, VKPoint b) {
    return std::make_shared<VKPath>(std::vector<VKKnot>{VKKnot::corner(a), VKKnot::corner(b)},
                                    false);
}

}  // namespace

TEST(PathStroker, OpenLineForEveryPositionAndCap) {
    auto path = line({0, 0}, {100, 0});
    const double w = 10;
    for (VKStrokePosition position :
         {VKStrokePositionCentered, VKStrokePositionInside, VKStrokePositionOutside}) {
        // One-sided strokes have the full width on one side; caps extend
        // by half the stroke's width either way.
        double expected[3] = {100 * w, 100 * w + pi * w * w / 4, (100 + w) * w};
        for (VKLineCap cap : {VKLineCapButt, VKLineCapRound, VKLineCapSquare})
            EXPECT_NEAR(strokeArea(*path, style(w, position, cap)), expected[cap], 0.05)
                << "position " << position << " cap " << cap;
    }
    // The inside of a path runs to its left in a y-up frame: +y here.
    auto inside = stroke(*path, style(w, VKStrokePositionInside));
    EXPECT_TRUE(insideAt(*inside, {50, 5}));
    EXPECT_FALSE(insideAt(*inside, {50, -5}));
}

TEST(PathStroker, ClosedRectangleForEveryPositionAndJoin) {
    const double W = 100, H = 60, w = 10;
    auto path = rectangle(0, 0, W, H);  // clockwise on a y-down screen
    ASSERT_TRUE(path->isClockwise());
    double centredOuter[3] = {(W + w) * (H + w), W * H + (W + H) * w + pi * w * w / 4,
                              (W + w) * (H + w) - w * w / 2};
    double outside[3] = {(W + 2 * w) * (H + 2 * w) - W * H, 2 * (W + H) * w + pi * w * w,
                         (W + 2 * w) * (H + 2 * w) - 2 * w * w - W * H};
    for (VKLineJoin join : {VKLineJoinMiter, VKLineJoinRound, VKLineJoinBevel}) {
        EXPECT_NEAR(strokeArea(*path, style(w, VKStrokePositionCentered, VKLineCapButt, join)),
                    centredOuter[join] - (W - w) * (H - w), 0.1)
            << "centred join " << join;
        EXPECT_NEAR(strokeArea(*path, style(w, VKStrokePositionInside, VKLineCapButt, join)),
                    W * H - (W - 2 * w) * (H - 2 * w), 0.1)
            << "inside join " << join;
        EXPECT_NEAR(strokeArea(*path, style(w, VKStrokePositionOutside, VKLineCapButt, join)),
                    outside[join], 0.1)
            << "outside join " << join;
    }
    // Run the other way round, one-sided strokes keep their sides: inside
    // reaches into the rectangle, outside away from it.
    auto reversed = path->pathByReversingPath();
    ASSERT_FALSE(reversed->isClockwise());
    auto inside = stroke(*reversed, style(w, VKStrokePositionInside));
    auto outsideStroke = stroke(*reversed, style(w, VKStrokePositionOutside));
    EXPECT_TRUE(insideAt(*inside, {W / 2, w / 2}));
    EXPECT_FALSE(insideAt(*inside, {W / 2, -w / 2}));
    EXPECT_TRUE(insideAt(*outsideStroke, {W / 2, -w / 2}));
    EXPECT_FALSE(insideAt(*outsideStroke, {W / 2, w / 2}));
}

TEST(PathStroker, CirclesAndCurvesKeepTheirWidth) {
    const double R = 50, w = 10;
    auto ring = stroke(*circle({0, 0}, R), style(w));
    EXPECT_NEAR(filledArea(*ring), pi * ((R + w / 2) * (R + w / 2) - (R - w / 2) * (R - w / 2)),
                2.0);
    EXPECT_NEAR(strokeArea(*circle({0, 0}, R), style(w, VKStrokePositionInside)),
                pi * (R * R - (R - w) * (R - w)), 2.0);
    EXPECT_NEAR(strokeArea(*circle({0, 0}, R), style(w, VKStrokePositionOutside)),
                pi * ((R + w) * (R + w) - R * R), 2.0);

    // A gentle S-curve: the band's area is its length times its width.
    VKPathSegment s{{0, 0}, {40, 20}, {80, -20}, {120, 0}};
    auto curve =
        std::make_shared<VKPath>(std::vector<VKKnot>{{s.start, s.start, s.controlPoint1, 0},
                                                     {s.controlPoint2, s.end, s.end, 0}},
                                 false);
    EXPECT_NEAR(strokeArea(*curve, style(4)), 4 * VKBezierLength(s), 0.01 * 4 * VKBezierLength(s));
}

TEST(PathStroker, MiterLimitTurnsSharpCornersIntoBevels) {
    // A sharp V; the miter tip lies far beyond the corner.
    auto vee = std::make_shared<VKPath>(
        std::vector<VKKnot>{VKKnot::corner({0, 0}), VKKnot::corner({100, 10}),
                            VKKnot::corner({0, 20})},
        false);
    VKStrokeStyle s = style(4, VKStrokePositionCentered, VKLineCapButt, VKLineJoinMiter);
    s.setMiterLimit(100);
    auto mitered = stroke(*vee, s);
    s.setMiterLimit(2);
    auto beveled = stroke(*vee, s);
    VKPoint beyond{110, 10};
    EXPECT_TRUE(insideAt(*mitered, beyond));
    EXPECT_FALSE(insideAt(*beveled, beyond));
    EXPECT_TRUE(insideAt(*beveled, {100.1, 10}));
}

TEST(PathStroker, DashesFollowPatternAndPhase) {
    auto path = line({0, 0}, {100, 0});
    VKStrokeStyle s = style(2);
    double pattern[] = {10, 5};
    s.setLineDash(pattern, 2, 0);
    EXPECT_NEAR(strokeArea(*path, s), 7 * 10 * 2, 0.01);  // 0-10, 15-25, ..., 90-100
    s.setLineDash(pattern, 2, 5);
    EXPECT_NEAR(strokeArea(*path, s), (5 + 6 * 10) * 2, 0.01);
    s.setLineDash(pattern, 2, -10);  // a negative phase wraps round the period
    EXPECT_NEAR(strokeArea(*path, s), (5 + 6 * 10) * 2, 0.01);
    double odd[] = {10};
    s.setLineDash(odd, 1, 0);
    EXPECT_NEAR(strokeArea(*path, s), 5 * 10 * 2, 0.01);

    // Zero-length dashes with round caps are dots.
    VKStrokeStyle dots = style(4, VKStrokePositionCentered, VKLineCapRound);
    double dotted[] = {0, 20};
    dots.setLineDash(dotted, 2, 0);
    EXPECT_EQ(stroke(*path, dots)->paths().size(), 6u);
    EXPECT_NEAR(strokeArea(*path, dots), 6 * pi * 4, 0.05);

    // A dash running round a corner keeps its join.
    auto corner = std::make_shared<VKPath>(
        std::vector<VKKnot>{VKKnot::corner({0, 0}), VKKnot::corner({50, 0}),
                            VKKnot::corner({50, 50})},
        false);
    VKStrokeStyle cornered = style(2, VKStrokePositionCentered, VKLineCapButt, VKLineJoinMiter);
    double long_[] = {60, 100};
    cornered.setLineDash(long_, 2, 0);
    // The miter adds the outer corner square, the legs overlap in the inner one.
    EXPECT_NEAR(strokeArea(*corner, cornered), 60 * 2 + 1 - 1, 0.01);

    // Unusable patterns stroke solid.
    double bad[] = {-1, 5};
    s.setLineDash(bad, 2, 0);
    EXPECT_NEAR(strokeArea(*path, s), 200, 0.01);
    double zero[] = {0, 0};
    s.setLineDash(zero, 2, 0);
    EXPECT_NEAR(strokeArea(*path, s), 200, 0.01);
    double tiny[] = {1e-9, 1e-9};
    s.setLineDash(tiny, 2, 0);
    EXPECT_NEAR(strokeArea(*path, s), 200, 0.01);
}

TEST(PathStroker, BadInputStrokesNothingOrADot) {
    auto path = line({0, 0}, {100, 0});
    for (double width : {0.0, -1.0, std::nan(""), double(INFINITY)})
        EXPECT_TRUE(stroke(*path, style(width))->paths().empty()) << width;
    EXPECT_TRUE(stroke(*line({0, 0}, {std::nan(""), 0}), style(2))->paths().empty());

    auto point = line({5, 5}, {5, 5});
    EXPECT_TRUE(stroke(*point, style(4, VKStrokePositionCentered, VKLineCapButt))->paths().empty());
    EXPECT_NEAR(strokeArea(*point, style(4, VKStrokePositionCentered, VKLineCapRound)), pi * 4,
                0.01);
    EXPECT_NEAR(strokeArea(*point, style(4, VKStrokePositionCentered, VKLineCapSquare)), 16, 0.01);

    // A path that turns straight back on itself, with round joins.
    auto back = std::make_shared<VKPath>(
        std::vector<VKKnot>{VKKnot::corner({0, 0}), VKKnot::corner({50, 0}),
                            VKKnot::corner({0, 0})},
        false);
    EXPECT_NEAR(
        strokeArea(*back, style(4, VKStrokePositionCentered, VKLineCapButt, VKLineJoinRound)),
        50 * 4 + pi * 2, 0.05);
}

TEST(StrokeStyle, CopiesAndReportsItsDashes) {
    VKStrokeStyle s;
    EXPECT_EQ(s.width(), 1);
    s.setCap(static_cast<VKLineCap>(7));
    s.setJoin(static_cast<VKLineJoin>(-1));
    s.setPosition(static_cast<VKStrokePosition>(3));
    EXPECT_EQ(s.cap(), VKLineCapButt);
    EXPECT_EQ(s.join(), VKLineJoinMiter);
    EXPECT_EQ(s.position(), VKStrokePositionCentered);
    double lengths[] = {8, 4};
    s.setLineDash(lengths, 2, 1.5);
    lengths[0] = 99;  // copied, not kept
    auto copy = s.copy();
    uint64_t count = 0;
    double phase = 0, buffer[2] = {0, 0};
    copy->getLineDash(nullptr, &count, &phase);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(phase, 1.5);
    copy->getLineDash(buffer, nullptr, nullptr);
    EXPECT_EQ(buffer[0], 8);
    EXPECT_EQ(buffer[1], 4);
    EXPECT_EQ(copy->dashPattern(), (std::vector<double>{8, 4}));
}
