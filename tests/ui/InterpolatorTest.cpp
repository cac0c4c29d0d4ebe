#include "ui/iconview/QFIconViewPulseAnimation.h"
#include "ui/iconview/QFRepeatingInterpolator.h"

#include <gtest/gtest.h>

namespace {

// The pulse's timeline at d = 1 s: setup ends at 1, cycles last 1, the
// second-to-last setup keyframe is at 0.666 and the cycle's at 0.5.
QFRepeatingInterpolator pulse() {
    return QFIconViewPulseAnimation::interpolatorForDuration(1.0);
}

}  // namespace

// The spline passes through every keyframe; before the first and long
// after the teardown the values are held; the cycle repeats exactly.
TEST(QFRepeatingInterpolator, KeyframesEndsAndCycles) {
    QFRepeatingInterpolator timeline = pulse();
    EXPECT_DOUBLE_EQ(timeline.valueForTime(-5), 0.0);
    EXPECT_DOUBLE_EQ(timeline.valueForTime(-0.25), 0.0);
    EXPECT_NEAR(timeline.valueForTime(0), 0.5, 1e-9);
    EXPECT_NEAR(timeline.valueForTime(0.25), 1.3, 1e-9);
    EXPECT_NEAR(timeline.valueForTime(1.0), 1.1, 1e-9);
    EXPECT_NEAR(timeline.valueForTime(1.5), 0.95, 1e-9);
    EXPECT_NEAR(timeline.valueForTime(2.0), 1.05, 1e-9);
    for (double t : {2.1, 2.4, 2.77})
        EXPECT_NEAR(timeline.valueForTime(t), timeline.valueForTime(t + 3), 1e-9) << t;
    // Between keyframes the spline moves smoothly, not in steps.
    const double a = timeline.valueForTime(1.2), b = timeline.valueForTime(1.3);
    EXPECT_GT(a, 0.95);
    EXPECT_LT(b, a);

    timeline.startTeardownAtTime(2.2);
    EXPECT_DOUBLE_EQ(timeline.teardownStartTime(), 3.0);
    EXPECT_DOUBLE_EQ(timeline.teardownEndTime(), 3.4);
    EXPECT_NEAR(timeline.valueForTime(3.2), 0.99, 1e-9);
    EXPECT_DOUBLE_EQ(timeline.valueForTime(100), 1.0);
}

// The teardown waits for the end of the motion under way: right after the
// setup when asked before the setup's second-to-last keyframe, a cycle
// later after it; within a cycle, at its end before the cycle's
// second-to-last keyframe, else one cycle later. The first request holds.
TEST(QFRepeatingInterpolator, TeardownStartsAtACycleEnd) {
    struct Case {
        double asked, start;
    } cases[] = {{0.5, 1.0}, {0.666, 1.0}, {0.7, 2.0}, {1.2, 2.0},
                 {1.5, 2.0}, {1.6, 3.0},   {4.4, 5.0}, {4.9, 6.0}};
    for (const Case& c : cases) {
        QFRepeatingInterpolator timeline = pulse();
        EXPECT_EQ(timeline.teardownStartTime(), DBL_MAX);
        timeline.startTeardownAtTime(c.asked);
        EXPECT_DOUBLE_EQ(timeline.teardownStartTime(), c.start) << c.asked;
        timeline.startTeardownAtTime(c.start + 0.9);
        EXPECT_DOUBLE_EQ(timeline.teardownStartTime(), c.start) << "asked again";
    }
}

// Keyframes added out of order are kept in time order; pairs compare by
// type, time and value, not by where their part starts.
TEST(QFRepeatingInterpolator, OrderAndPairs) {
    QFRepeatingInterpolator timeline;
    timeline.addSetupValue(2, 1.0);
    timeline.addSetupValue(0, 0.0);
    timeline.addSetupValue(1, 0.5);
    timeline.addRepeatingValue(3, 1.0);
    timeline.addTeardownValue(4, 1.0);
    EXPECT_DOUBLE_EQ(timeline.setupEndTime(), 1.0);
    EXPECT_NEAR(timeline.valueForTime(0.5), 1.0, 1e-9);
    EXPECT_EQ(timeline.firstPairAfterTime(0.2)->value(), 1);

    using Pair = QFRepeatingInterpolatorPair;
    const Pair pair(0.5, 1, Pair::Repeat);
    EXPECT_EQ(pair, pair.withBaseTime(7));
    EXPECT_EQ(pair, Pair(0.50005, 1.00005, Pair::Repeat));
    EXPECT_FALSE(pair == Pair(0.5, 1, Pair::Setup));
    EXPECT_FALSE(pair == Pair(0.5, 1.0002, Pair::Repeat));
    EXPECT_EQ(pair.withBaseTime(2).description(), "<Pair type = repeat, time = 2.5s, value = 1>");
}
