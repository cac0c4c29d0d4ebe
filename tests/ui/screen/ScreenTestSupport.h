#pragma once
// What the tests of real windows share: the display of their Xvfb, and a
// screenshot of its whole screen.

#include "XvfbServer.h"
#include "support/TestSupport.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <string>

// Stops a test of real windows when there is no screen, saying why: a skip,
// or in CI a failure (LF_REQUIRE_INSTALLED).
#define LF_REQUIRE_SCREEN()                                    \
    LF_REQUIRE_INSTALLED(!::lf::test::screenDisplay().empty(), \
                         "Xvfb (" << ::lf::test::screenUnavailableReason() << ")")

namespace lf::test {

// ":N" while the tests run on Xvfb; empty when it could not start, and
// screenUnavailableReason() says why.
std::string& screenDisplay();
std::string& screenUnavailableReason();

// Has the application that is to come run on `server` through Qt's X11
// platform, else on Qt's offscreen platform, noting why there is no
// screen; either way apart from the user's desktop session.
void useScreenOf(const XvfbServer& server);

// Shows `window` and waits until the X server has drawn it.
bool showAndWaitForExposure(QWidget& window);

// Lets the application and the X server handle what is pending: `passes`
// turns of the event loop, 10 ms apart.
void settle(int passes = 30);

// Settles `passes` turns at a time until `done` holds; false only once the
// tests' patience (kPatience) ran out.
bool settleUntil(const std::function<bool()>& done, int passes = 2);

// The whole screen as the X server holds it; a null image without a screen.
QImage takeScreenshot();

}  // namespace lf::test
