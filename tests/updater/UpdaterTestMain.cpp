// The updater's tests run inside one QApplication, on the offscreen
// platform that CMake sets for them; the main queue's thread is this one.
// Their https servers are trusted through the tests' own authority, and
// the tools they run find their helper programs in the build.

#include "TestCertificate.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/processes/HelperPrograms.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no display.
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    ::setenv("SSL_CERT_FILE", lf::test::TestCertificate::authorityFile().c_str(), 1);
    ::setenv(lf::kGroupKeeper.variable, LF_GROUP_KEEPER_PATH, 1);
    ::setenv(lf::kDieWithParent.variable, LF_DIE_WITH_PARENT_PATH, 1);
    lf::MainQueue::shared()->bindToCurrentThread();
    QApplication application(argc, argv);
    const int result = RUN_ALL_TESTS();
    // Windows whose deletion was deferred go before the application.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
