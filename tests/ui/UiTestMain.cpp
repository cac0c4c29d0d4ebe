// The interface tests run inside one QApplication on Qt's offscreen
// platform (a screen of 800 by 600), which CMake sets for them; the main
// queue's thread is this one. User defaults go to a temporary folder.

#include "platform/dispatch/MainQueue.h"
#include "platform/settings/UserDefaults.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no display.
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    lf::MainQueue::shared()->bindToCurrentThread();
    lf::test::TemporaryDirectory defaults;
    lf::UserDefaults::setStandard(
        std::make_shared<lf::UserDefaults>((defaults / "defaults.json").string()));
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
