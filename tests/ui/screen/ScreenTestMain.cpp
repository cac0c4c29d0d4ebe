// The tests of real windows: they start their own Xvfb (a screen of 800 by
// 600) and run one QApplication on it through Qt's X11 platform. Without
// Xvfb they skip, except in CI, where that is a failure
// (LF_REQUIRE_INSTALLED). A skipping test still builds its fixture and
// takes it down: so without a screen the tests run in a QApplication on
// Qt's offscreen platform, with the main queue bound and the user
// defaults in place as on the screen.

#include "ScreenTestSupport.h"
#include "XvfbServer.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/settings/UserDefaults.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    lf::test::XvfbServer server(800, 600);
    lf::test::useScreenOf(server);
    lf::MainQueue::shared()->bindToCurrentThread();
    lf::test::TemporaryDirectory defaults;
    lf::UserDefaults::setStandard(
        std::make_shared<lf::UserDefaults>((defaults / "defaults.json").string()));
    int result;
    {
        QApplication application(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
