// The tests of where windows open run inside one QApplication on an Xvfb
// screen of 1600 by 1000 that they start themselves, through Qt's X11
// platform, under a window manager (openbox) that frames no window, with a
// panel 40 rows high along the bottom edge: the screen's available area is
// the screen less those rows, as the manager says. Without Xvfb they run on
// Qt's offscreen platform, and the tests that need the screen skip, except
// in CI (LF_REQUIRE_SCREEN). The main queue's thread is this one; user
// defaults go to a temporary folder.

#include "PlacementTestSupport.h"
#include "ScreenTestSupport.h"
#include "WindowManager.h"
#include "XvfbServer.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/settings/UserDefaults.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// Openbox's settings: no frame, title bar or border around any window, so
// that a window's frame is its own area from its first showing on.
constexpr const char* kUnframedSettings = R"(<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme><keepBorder>no</keepBorder></theme>
  <applications><application class="*"><decor>no</decor></application></applications>
</openbox_config>
)";

// A panel along the bottom edge of the screen, as a desktop keeps one: a
// dock that reserves its rows (_NET_WM_STRUT_PARTIAL), which the window
// manager leaves out of the available area it gives (_NET_WORKAREA).
class BottomPanel : public QWidget {
public:
    BottomPanel() : QWidget(nullptr, Qt::FramelessWindowHint) {
        setAttribute(Qt::WA_X11NetWmWindowTypeDock);
        const QRect screen = lf::test::kPlacementScreen;
        setGeometry(screen.left(), screen.bottom() + 1 - lf::test::kPanelHeight, screen.width(),
                    lf::test::kPanelHeight);
        // The rows reserved at each edge (left, right, top, bottom), then
        // where along its edge each reservation starts and ends.
        uint32_t strut[12] = {};
        strut[3] = lf::test::kPanelHeight;
        strut[10] = static_cast<uint32_t>(screen.left());
        strut[11] = static_cast<uint32_t>(screen.right());
        xcb_change_property(
            lf::test::x11Connection(), XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(winId()),
            lf::test::internAtom("_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL, 32, 12, strut);
        show();
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    const QRect screen = lf::test::kPlacementScreen;
    lf::test::XvfbServer server(screen.width(), screen.height());
    lf::test::TemporaryDirectory scratch;
    lf::test::useScreenOf(server);
    lf::MainQueue::shared()->bindToCurrentThread();
    lf::UserDefaults::setStandard(
        std::make_shared<lf::UserDefaults>((scratch / "defaults.json").string()));
    int result;
    {
        QApplication application(argc, argv);
        std::unique_ptr<lf::test::WindowManager> manager;
        std::unique_ptr<BottomPanel> panel;
        if (server.running()) {
            manager = std::make_unique<lf::test::WindowManager>(kUnframedSettings);
            if (manager->running()) {
                panel = std::make_unique<BottomPanel>();
                // The manager has reserved the panel's rows, and the
                // application has heard of it.
                if (lf::test::WindowManager::sync()) lf::test::settle();
            } else {
                lf::test::screenDisplay().clear();
                lf::test::screenUnavailableReason() = "openbox did not take the screen";
            }
        }
        result = RUN_ALL_TESTS();
    }
    return result;
}
