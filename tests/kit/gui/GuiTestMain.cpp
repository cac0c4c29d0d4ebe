// The kit's toolkit tests run inside one QApplication, on the offscreen
// platform that CMake sets for them; the main queue's thread is this one.

#include "platform/dispatch/MainQueue.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no display.
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    lf::MainQueue::shared()->bindToCurrentThread();
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
