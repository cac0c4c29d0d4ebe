#include "kit/OMAbsoluteTime.h"
#include "kit/OMAnimationTimingFunction.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct ControlPoints {
    double x1, y1, x2, y2;
};

// The curve's y where its x equals `x`, found by plain bisection on the
// Bezier polynomials in Bernstein form, so it shares nothing with the
// function's own coefficients.
double referenceProgress(const ControlPoints& p, double x) {
    auto bezier = [](double a, double b, double t) {
        const double s = 1 - t;
        return 3 * s * s * t * a + 3 * s * t * t * b + t * t * t;
    };
    double low = 0, high = 1;
    for (int i = 0; i < 100; ++i) {
        const double mid = (low + high) / 2;
        (bezier(p.x1, p.x2, mid) < x ? low : high) = mid;
    }
    return std::clamp(bezier(p.y1, p.y2, (low + high) / 2), 0.0, 1.0);
}

// The largest slope dy/dx of the curve, which turns an error in x into one
// in progress.
double steepestSlope(const ControlPoints& p) {
    double steepest = 0, previous = referenceProgress(p, 0);
    for (int i = 1; i <= 1000; ++i) {
        const double value = referenceProgress(p, i / 1000.0);
        steepest = std::max(steepest, std::fabs(value - previous) * 1000);
        previous = value;
    }
    return steepest;
}

const ControlPoints kCurves[] = {
    {0.25, 0.1, 0.25, 1.0},  // the default curve
    {0.42, 0.0, 0.58, 1.0},  // ease in and out
    {0.0, 0.0, 1.0, 1.0},    // straight, flat at both ends in t
    {0.3, -0.4, 0.7, 1.4},   // overshoots both ends: clamped
};

TEST(OMAnimationTimingFunction, FollowsTheBezierForEveryDuration) {
    for (const ControlPoints& p : kCurves) {
        const OMAnimationTimingFunction function(p.x1, p.y1, p.x2, p.y2);
        const double slope = steepestSlope(p);
        for (double duration : {0.2, 1.0, 3.9, 4.0, 10.0, 300.0}) {
            SCOPED_TRACE(::testing::Message() << "curve (" << p.x1 << ", " << p.y1 << ", " << p.x2
                                              << ", " << p.y2 << "), duration " << duration);
            // Solved within 1/(200 d) in x from d = 4 s on. Below, within
            // 1/1200 at the centre of the time's cell: the cells are 1/511 of
            // the time axis and their centres counted in 512ths, which puts a
            // centre up to 1.5/512 from the times of its cell.
            const double xError = duration < 4.0 ? 1.0 / 1200 + 1.5 / 512 : 1.0 / (200 * duration);
            for (int step = 1; step < 100; ++step) {
                const double time = duration * step / 100.0;
                EXPECT_NEAR(function.evaluateWithTime(time, duration),
                            referenceProgress(p, time / duration), slope * xError + 1e-12)
                    << "at " << time;
            }
        }
    }
}

TEST(OMAnimationTimingFunction, StartsAtZeroEndsAtOneAndNeverGoesBack) {
    const auto& function = *OMAnimationTimingFunction::defaultTimingFunction();
    for (double duration : {0.35, 3.0, 8.0}) {
        SCOPED_TRACE(duration);
        EXPECT_EQ(function.evaluateWithTime(0, duration), 0);
        EXPECT_EQ(function.evaluateWithTime(-1, duration), 0);
        EXPECT_EQ(function.evaluateWithTime(duration, duration), 1);
        EXPECT_EQ(function.evaluateWithTime(duration * 2, duration), 1);
        // Every cell of a short animation; a longer one is solved to within
        // 1/200 s of its time, so only times twice that apart are sure to
        // come in order.
        const double step = duration < 4.0 ? duration / 2000 : 0.01;
        double previous = 0;
        for (double time = 0; time <= duration; time += step) {
            const double value = function.evaluateWithTime(time, duration);
            EXPECT_GE(value, previous);
            EXPECT_LE(value, 1);
            previous = value;
        }
        // A cached cell answers what it answered when it was solved.
        EXPECT_EQ(function.evaluateWithTime(duration / 3, duration),
                  function.evaluateWithTime(duration / 3, duration));
    }
    EXPECT_EQ(function.evaluateWithTime(0.1, 0), 1);
    EXPECT_EQ(function.evaluateWithTime(NAN, 1), 0);
    EXPECT_EQ(function.evaluateWithTime(1, NAN), 1);
}

TEST(OMAnimationTimingFunction, SolvesEvenWhereNoEpsilonCanBeMet) {
    // A duration so long that the precision asked for lies below the
    // doubles' own, and an infinite one: both must answer, not spin.
    const OMAnimationTimingFunction function(0.0, 0.0, 1.0, 1.0);  // y = x, x = 3t² - 2t³
    EXPECT_NEAR(function.evaluateWithTime(1e15, 3e15), 1.0 / 3, 1e-9);
    EXPECT_EQ(function.evaluateWithTime(1, INFINITY), 0);
    const double t = function.solveCurveX(1.0 / 3, 0.0);
    EXPECT_NEAR(3 * t * t - 2 * t * t * t, 1.0 / 3, 1e-12);
    EXPECT_EQ(function.solveCurveX(-0.5, 1e-6), 0);
    EXPECT_EQ(function.solveCurveX(1.5, 1e-6), 1);
}

TEST(OMAbsoluteTime, CountsForwardFromAStartAndNotBack) {
    const uint64_t start = OMCurrentAbsoluteTime();
    EXPECT_GE(OMCurrentAbsoluteTime(), start);
    EXPECT_GE(OMSecondsSinceAbsoluteTime(start), 0.0);
    EXPECT_EQ(OMSecondsSinceAbsoluteTime(UINT64_MAX), 0.0);
}

}  // namespace
