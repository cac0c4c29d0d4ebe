// The kit's application hooks install themselves when the application is
// made, also in a program that names nothing of them (this test's, which
// is linked on its own for that reason): the application's thread becomes
// the main thread and its event loop drains the main queue, so that the
// frame loop and the animators work in any program that links the kit.

#include "platform/dispatch/MainQueue.h"

#include <QApplication>
#include <gtest/gtest.h>

TEST(OMApplicationHooks, InstallThemselvesInAnyProgramThatLinksTheKit) {
    static int argc = 1;
    static char name[] = "kit_gui_hooks_tests";
    static char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    EXPECT_TRUE(lf::isMainThread());

    bool ran = false;
    lf::MainQueue::shared()->async([&] { ran = true; });
    for (int i = 0; i < 10 && !ran; ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(ran);
}
