#pragma once
// What the tests of real windows share: the display of their Xvfb, and a
// screenshot of its whole screen.

#include <QImage>
#include <QWidget>

#include <string>

namespace lf::test {

// ":N" while the tests run on Xvfb; empty when it could not start, and
// screenUnavailableReason() says why.
std::string& screenDisplay();
std::string& screenUnavailableReason();

// Shows `window` and waits until the X server has drawn it (at most 10 s).
bool showAndWaitForExposure(QWidget& window);

// The whole screen through xwd and xwdtopnm; a null image when either is
// missing or fails.
QImage takeScreenshot();

}  // namespace lf::test

#define LF_REQUIRE_SCREEN()                                                           \
    do {                                                                              \
        if (::lf::test::screenDisplay().empty())                                      \
            GTEST_SKIP() << "no X server: " << ::lf::test::screenUnavailableReason(); \
    } while (0)
