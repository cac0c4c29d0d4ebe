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

#include <cstdlib>

namespace lf::test {

std::string& screenDisplay() {
    static std::string display;
    return display;
}

std::string& screenUnavailableReason() {
    static std::string reason;
    return reason;
}

}  // namespace lf::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    lf::test::XvfbServer server(800, 600);
    if (server.running()) {
        lf::test::screenDisplay() = server.display();
        setenv("DISPLAY", server.display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    } else {
        lf::test::screenUnavailableReason() = server.failure();
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    unsetenv("WAYLAND_DISPLAY");
    // No desktop session: the window needs no session bus, and the test
    // stays apart from the user's desktop (and from the bus library's
    // allocations that outlive it).
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
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
