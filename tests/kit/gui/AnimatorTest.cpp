#include "kit/gui/OMAnimator.h"
#include "kit/gui/OMFrameLoop.h"

#include <QCoreApplication>
#include <QObject>
#include <QRect>
#include <QRectF>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

namespace {

// A clock the test moves by hand; animations read nothing else.
struct FakeClock {
    uint64_t now = 1'000'000'000;  // start times of 0 mean "not started"
    void advance(double seconds) { now += static_cast<uint64_t>(seconds * 1e9); }
    OMAnimator::Clock clock() {
        return [this] { return now; };
    }
};

class AnimatorTest : public ::testing::Test {
protected:
    // Moves the clock and runs one frame, as the frame loop would.
    void frame(double seconds) {
        clock.advance(seconds);
        OMRunAnimationFrame();
    }

    // The clock dies with the test: no animation may outlive it.
    void TearDown() override {
        OMRunAnimationFrame();
        EXPECT_FALSE(animator->isAnimating());
    }

    FakeClock clock;
    std::shared_ptr<OMAnimator> animator = OMAnimator::create(clock.clock());
    QObject target;
};

TEST_F(AnimatorTest, InterpolatedValuesReachTheirTargetAndCompleteOnce) {
    struct Case {
        const char* name;
        QVariant start, end, halfway;
    };
    const Case cases[] = {
        {"double", 0.0, 10.0, 5.0},
        {"float", QVariant(2.0f), QVariant(4.0f), QVariant(3.0f)},
        // Every edge lands on a whole point, at every frame.
        {"rect", QRectF(0, 0, 10, 10), QRectF(5, 3, 20, 11), QRectF(3, 2, 15, 11)},
        {"integer rect", QRect(0, 0, 10, 10), QRect(10, 20, 30, 40), QRect(5, 10, 20, 25)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        target.setProperty("value", c.start);
        int completions = 0;
        animator->setValue(c.end, "value", &target, 1.0, [&] { ++completions; });
        EXPECT_EQ(target.property("value"), c.start);  // the first pass runs at once
        frame(0.5);
        EXPECT_EQ(target.property("value"), c.halfway);
        EXPECT_TRUE(animator->isAnimating());
        frame(0.6);
        EXPECT_EQ(target.property("value"), c.end);
        EXPECT_EQ(completions, 1);
        frame(0.5);
        EXPECT_EQ(completions, 1);
        EXPECT_FALSE(animator->isAnimating());
    }
}

TEST_F(AnimatorTest, ValuesWithoutInterpolationAndZeroDurationsAreSetAtOnce) {
    struct Case {
        const char* name;
        QVariant value;
        double duration;
    };
    const Case cases[] = {{"integer", 7, 1.0},
                          {"boolean", true, 1.0},
                          {"zero duration", 3.5, 0.0},
                          {"negative duration", 2.5, -1.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        target.setProperty("value", 0.0);
        bool completed = false;
        animator->setValue(c.value, "value", &target, c.duration, [&] { completed = true; });
        EXPECT_EQ(target.property("value"), c.value);
        frame(2.0);
        EXPECT_FALSE(completed);
    }
}

TEST_F(AnimatorTest, ASecondRequestForTheSameTargetValueChangesNothing) {
    target.setProperty("value", 0.0);
    int first = 0, second = 0;
    animator->setValue(10.0, "value", &target, 1.0, [&] { ++first; });
    frame(0.5);
    animator->setValue(10.0, "value", &target, 4.0, [&] { ++second; });
    frame(0.6);
    EXPECT_EQ(target.property("value"), QVariant(10.0));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
}

TEST_F(AnimatorTest, AReplacedAnimationNeverCompletes) {
    target.setProperty("value", 0.0);
    int first = 0, second = 0;
    animator->setValue(10.0, "value", &target, 1.0, [&] { ++first; });
    frame(0.5);
    animator->setValue(0.0, "value", &target, 1.0, [&] { ++second; });
    frame(0.5);
    EXPECT_EQ(target.property("value"), QVariant(2.5));  // from 5 halfway to 0
    frame(0.6);
    EXPECT_EQ(target.property("value"), QVariant(0.0));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

TEST_F(AnimatorTest, StopsWhereOtherCodeChangedThePropertyOrTheTargetWent) {
    target.setProperty("value", 0.0);
    bool completed = false;
    animator->setValue(10.0, "value", &target, 1.0, [&] { completed = true; });
    target.setProperty("value", 42.0);
    frame(1.5);
    EXPECT_EQ(target.property("value"), QVariant(42.0));
    EXPECT_FALSE(completed);

    auto doomed = std::make_unique<QObject>();
    doomed->setProperty("value", 0.0);
    animator->setValue(1.0, "value", doomed.get(), 1.0, [&] { completed = true; });
    doomed.reset();
    frame(1.5);
    EXPECT_FALSE(completed);
    EXPECT_FALSE(animator->isAnimating());
}

TEST_F(AnimatorTest, RemovedAnimationsKeepTheirValueAndDoNotComplete) {
    QObject other;
    target.setProperty("a", 0.0);
    target.setProperty("b", 0.0);
    other.setProperty("a", 0.0);
    int completions = 0;
    for (const char* key : {"a", "b"})
        animator->setValue(10.0, key, &target, 1.0, [&] { ++completions; });
    animator->setValue(10.0, "a", &other, 1.0, [&] { ++completions; });
    frame(0.5);
    animator->removeAnimationsForTarget(&target);
    frame(1.0);
    EXPECT_EQ(target.property("a"), QVariant(5.0));
    EXPECT_EQ(target.property("b"), QVariant(5.0));
    EXPECT_EQ(other.property("a"), QVariant(10.0));
    EXPECT_EQ(completions, 1);
}

TEST_F(AnimatorTest, ACompletionHandlerMayStartTheNextAnimationOfItsProperty) {
    // A pulse: up, then down again from the handler of the way up.
    target.setProperty("value", 0.0);
    bool cameDown = false;
    animator->setValue(1.0, "value", &target, 1.0, [&] {
        animator->setValue(0.0, "value", &target, 1.0, [&] { cameDown = true; });
    });
    frame(1.0);
    EXPECT_EQ(target.property("value"), QVariant(1.0));
    EXPECT_TRUE(animator->hasAnimationForTarget(&target, "value"));
    frame(0.5);
    EXPECT_EQ(target.property("value"), QVariant(0.5));
    frame(0.5);
    EXPECT_TRUE(cameDown);
}

TEST_F(AnimatorTest, AGroupCompletesOnceAfterItsLastChange) {
    QObject other;
    target.setProperty("value", 0.0);
    other.setProperty("value", 0.0);
    int completions = 0;
    animator->runAnimationGroup(
        [&](OMAnimatorContext& group) {
            group.setDuration(1.0);
            group.setValue(4.0, "value", &target);
            group.setValue(8.0, "value", &target);  // replaces the first
            group.setValue(1.0, "value", &other, 2.0,
                           OMAnimationTimingFunction::defaultTimingFunction());
        },
        [&] { ++completions; });
    frame(1.0);
    EXPECT_EQ(target.property("value"), QVariant(8.0));
    EXPECT_EQ(completions, 0);
    frame(0.5);
    // Eased: the default curve is well past the middle at three quarters.
    EXPECT_GT(other.property("value").toDouble(), 0.75);
    frame(0.5);
    EXPECT_EQ(completions, 1);
    frame(1.0);
    EXPECT_EQ(completions, 1);
}

TEST_F(AnimatorTest, AGroupWithoutChangesCompletesAtOnceAndOneWithAnInstantChangeNever) {
    int completions = 0;
    animator->runAnimationGroup([](OMAnimatorContext&) {}, [&] { ++completions; });
    EXPECT_EQ(completions, 1);

    target.setProperty("value", 0.0);
    animator->runAnimationGroup(
        [&](OMAnimatorContext& group) {
            group.setValue(1.0, "value", &target);
            group.setValue(true, "flag", &target);  // set at once: never counts down
        },
        [&] { ++completions; });
    frame(2.0);
    EXPECT_EQ(target.property("value"), QVariant(1.0));
    EXPECT_EQ(completions, 1);
}

TEST_F(AnimatorTest, CallbacksFrameEveryPass) {
    target.setProperty("value", 0.0);
    std::vector<std::string> calls;
    animator->setWillAnimateCallback([&] { calls.push_back("will"); });
    animator->setDidAnimateCallback([&] { calls.push_back("did"); });
    animator->setValue(1.0, "value", &target, 1.0);
    frame(1.0);
    EXPECT_EQ(calls, (std::vector<std::string>{"will", "did", "will", "did"}));
}

TEST(OMFrameLoop, RunsBlocksUntilTheyDeclineAndAddsBlocksOfAPassToTheNext) {
    int first = 0, late = 0;
    OMAddAnimationBlock([&] {
        if (++first == 2) OMAddAnimationBlock([&] { return ++late < 2; });
        return first < 3;
    });
    EXPECT_EQ(first, 1);
    OMRunAnimationFrame();  // adds the late block, which waits for the next pass
    EXPECT_EQ(late, 0);
    OMRunAnimationFrame();
    EXPECT_EQ(first, 3);
    EXPECT_EQ(late, 1);
    OMRunAnimationFrame();
    OMRunAnimationFrame();
    EXPECT_EQ(first, 3);
    EXPECT_EQ(late, 2);
}

TEST(OMFrameLoop, RepaintsTheQueuedViewsOncePerPass) {
    struct Counting : QWidget {
        int paints = 0;
        void paintEvent(QPaintEvent*) override { ++paints; }
    };
    Counting view;
    view.resize(10, 10);
    view.show();
    for (int i = 0; i < 20 && view.paints == 0; ++i)
        QCoreApplication::processEvents();
    const int before = view.paints;
    auto gone = std::make_unique<Counting>();
    OMDisplayViewInAnimationFrame(&view);
    OMDisplayViewInAnimationFrame(&view);
    OMDisplayViewInAnimationFrame(gone.get());
    gone.reset();
    OMRunAnimationFrame();
    EXPECT_EQ(view.paints, before + 1);
    OMRunAnimationFrame();
    EXPECT_EQ(view.paints, before + 1);
}

}  // namespace
