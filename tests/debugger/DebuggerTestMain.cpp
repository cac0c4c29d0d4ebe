// The debugger's tests run inside one QApplication on the offscreen
// platform that CMake sets for them; this thread is the main thread, and
// the tests drain the main queue themselves while an operation runs on a
// worker.

#include "platform/dispatch/MainQueue.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    lf::MainQueue::shared()->bindToCurrentThread();
    QApplication application(argc, argv);
    // The tests drain the main queue themselves. Without the hook that
    // wakes Qt's event loop, work queued from a worker touches no Qt state
    // off the main thread: ThreadSanitizer cannot follow Qt's own locks
    // (Debian's Qt is not built with it) and would report them as races.
    lf::MainQueue::shared()->setWakeUpHook(nullptr);
    return RUN_ALL_TESTS();
}
