#include "updater/engine/OMAUApplication.h"

#include "platform/processes/ChildProcess.h"
#include "updater/engine/OMAUUpdater.h"
#include "updater/shared/OMAUHost.h"
#include "updater/shared/OMAULog.h"

#include <QCoreApplication>

void OMAUProcessPendingEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

void OMAUStartRelaunchWaiter(const OMAURelaunchRequest& request) {
    lf::ChildProcess::Options options;
    options.arguments = {
        (OMAUHost::main()->executablePath().parent_path() / "layerflow-relaunch").string(),
        std::to_string(request.processID), request.executable.string(),
        request.downloadFolder.string()};
    lf::Result<lf::ChildProcess> waiter = lf::ChildProcess::spawn(options);
    if (!waiter) {
        OMAULog("Could not start the relaunch: {}", lf::describe(waiter.error()));
        return;
    }
    // The waiter goes on in a process of its own and this one ends at once.
    waiter->waitUntil(std::chrono::steady_clock::now() + std::chrono::seconds(10));
}

void OMAUTerminateApplication() {
    if (QCoreApplication::instance()) QCoreApplication::quit();
}
