// The tests of where windows open run inside one QApplication on Qt's
// offscreen platform, given one screen of 1600 by 1000 at the origin (a
// configuration file of the platform's, written here, so the program runs
// alike under ctest and alone); the main queue's thread is this one. User
// defaults go to a temporary folder.

#include "platform/dispatch/MainQueue.h"
#include "platform/settings/UserDefaults.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    lf::test::TemporaryDirectory scratch;
    const std::string screens = (scratch / "screens.json").string();
    lf::test::writeFile(screens, R"({"screens": [{"name": "screen", "x": 0, "y": 0,
        "width": 1600, "height": 1000, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens).c_str(), 1);
    lf::MainQueue::shared()->bindToCurrentThread();
    lf::UserDefaults::setStandard(
        std::make_shared<lf::UserDefaults>((scratch / "defaults.json").string()));
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
