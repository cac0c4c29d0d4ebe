// The mode changes of the icon view on the kit's real frame loop and the
// main queue, waited for without assuming how long they take.

#include "IconViewTestSupport.h"
#include "platform/dispatch/MainQueue.h"
#include "support/TestSupport.h"
#include "ui/iconview/QFIconViewHopAnimation.h"
#include "ui/iconview/QFIconViewPulseAnimation.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

bool waitFor(const std::function<bool()>& done) {
    return lf::MainQueue::shared()->runUntil(done, lf::test::kPatience);
}

double shownOpacity(const QFLayer& layer) {
    return layer.presentationValue("opacity");
}

}  // namespace

// Idle, a request for the current mode completes at once; one from 0
// straight to 2 is dropped and never completes.
TEST(QFIconViewAnimation, IdleRequests) {
    lf::test::IconViewInScrollView s(QSize(500, 400));
    bool same = false, jump = false;
    s.view->setMode(QFIconView::ModeInput, true, [&] { same = true; });
    EXPECT_TRUE(same);
    s.view->setMode(QFIconView::ModeOutput, true, [&] { jump = true; });
    EXPECT_FALSE(s.view->isAnimating());
    lf::MainQueue::shared()->drain();
    EXPECT_FALSE(jump);
    EXPECT_EQ(s.view->mode(), QFIconView::ModeInput);
}

// 0 to 1 pulses; 2 asked meanwhile waits while the pulse is stopped and
// settles, then the outputs hop out over the window and end fully shown.
TEST(QFIconViewAnimation, PulseStopsThenHop) {
    lf::test::IconViewInScrollView s(QSize(500, 400));
    s.view->setItems(lf::test::solidItems(4));
    for (const auto& tile : s.view->outputItemLayers())
        EXPECT_EQ(tile->opacity(), 0);

    bool extracting = false, output = false;
    s.view->setMode(QFIconView::ModeExtracting, true, [&] { extracting = true; });
    const auto pulse =
        std::dynamic_pointer_cast<QFIconViewPulseAnimation>(s.view->currentAnimation());
    ASSERT_TRUE(pulse);
    EXPECT_EQ(shownOpacity(*s.view->inputItemLayer()), 1);
    ASSERT_TRUE(waitFor([&] { return extracting; }));
    EXPECT_EQ(s.view->mode(), QFIconView::ModeExtracting);
    EXPECT_EQ(s.view->currentAnimation(), pulse);  // the pulse goes on

    s.view->setMode(QFIconView::ModeOutput, true, [&] { output = true; });
    EXPECT_NE(pulse->interpolator()->teardownStartTime(), DBL_MAX);
    ASSERT_TRUE(std::dynamic_pointer_cast<QFIconViewHopAnimation>(s.view->pendingAnimation()));
    ASSERT_TRUE(waitFor([&] { return s.view->pendingAnimation() == nullptr; }));
    EXPECT_TRUE(std::dynamic_pointer_cast<QFIconViewHopAnimation>(s.view->currentAnimation()));
    EXPECT_TRUE(s.view->isUsingAnimationOverlay());
    EXPECT_EQ(s.view->hostLayer()->superlayer(), s.view->animationOverlay()->layer().get());
    // The pulse settled at full size before the hop began.
    EXPECT_NEAR(pulse->interpolator()->valueForTime(pulse->interpolator()->teardownEndTime()), 1.0,
                1e-9);

    ASSERT_TRUE(waitFor([&] { return output; }));
    EXPECT_EQ(s.view->mode(), QFIconView::ModeOutput);
    EXPECT_FALSE(s.view->isAnimating());
    EXPECT_EQ(s.view->hostLayer()->superlayer(), s.view->layer().get());
    EXPECT_EQ(s.view->hostLayer()->frame(), QRectF(s.view->rect()));
    for (const auto& tile : s.view->outputItemLayers()) {
        EXPECT_EQ(shownOpacity(*tile), 1);
        EXPECT_EQ(tile->presentation().position, tile->position());
    }
    ASSERT_TRUE(waitFor([&] { return s.view->inputItemLayer()->opacity() == 0; }));
}

// A request that replaces a waiting one: the replaced one never completes;
// the fade that replaced it leaves everything transparent.
TEST(QFIconViewAnimation, ReplacedRequestNeverCompletes) {
    lf::test::IconViewInScrollView s(QSize(500, 400));
    s.view->setItems(lf::test::solidItems(2));
    bool hopped = false, faded = false;
    s.view->setMode(QFIconView::ModeExtracting, true, {});
    s.view->setMode(QFIconView::ModeOutput, true, [&] { hopped = true; });
    s.view->setMode(QFIconView::ModeInput, true, [&] { faded = true; });
    auto transparent = [&] {
        if (shownOpacity(*s.view->inputItemLayer()) != 0 ||
            shownOpacity(*s.view->statusLayer()) != 0)
            return false;
        for (const auto& tile : s.view->outputItemLayers()) {
            if (shownOpacity(*tile) != 0) return false;
        }
        return true;
    };
    ASSERT_TRUE(waitFor([&] { return faded && transparent(); }));
    EXPECT_FALSE(hopped);
    EXPECT_EQ(s.view->mode(), QFIconView::ModeInput);
    EXPECT_FALSE(s.view->isAnimating());
}
