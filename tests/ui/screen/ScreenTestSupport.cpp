#include "ScreenTestSupport.h"

#include <QApplication>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include <chrono>
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

void useScreenOf(const XvfbServer& server) {
    if (server.running()) {
        screenDisplay() = server.display();
        setenv("DISPLAY", server.display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    } else {
        screenUnavailableReason() = server.failure();
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    unsetenv("WAYLAND_DISPLAY");
    // No desktop session: the windows need no session bus, and the tests
    // stay apart from the user's desktop (and from the bus library's
    // allocations that outlive it).
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
}

bool showAndWaitForExposure(QWidget& window) {
    window.show();
    if (!settleUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }))
        return false;
    // Let the paint reach the server and settle.
    for (int pass = 0; pass < 20; ++pass) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    QApplication::sync();
    return true;
}

void settle(int passes) {
    for (int pass = 0; pass < passes; ++pass) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    QApplication::sync();
}

bool settleUntil(const std::function<bool()>& done, int passes) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        settle(passes);
    }
    return true;
}

QImage takeScreenshot() {
    // One copy of the root window with everything on it: the pixels the
    // screen shows. (xwd, by contrast, assembles a screen whose windows use
    // other colormaps than the root's, as Qt's do, from each window's
    // bounding rectangle: outside a shaped window's outline it shows black
    // where the window behind is seen.)
    QApplication::sync();
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->grabWindow(0).toImage() : QImage();
}

}  // namespace lf::test
