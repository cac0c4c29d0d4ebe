#include "WindowedApplication.h"

#include "app/LaunchPaths.h"
#include "flows/QFPendingOutputRecords.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/writing/AtomicFileSet.h"
#include "ui/shell/QFApplication.h"
#include "ui/shell/QFApplicationDelegate.h"
#include "ui/shell/QFApplicationFlowHooks.h"
#include "ui/shell/QFOpenRequest.h"
#include "ui/shell/QFOpenRequestServer.h"
#include "ui/window/QFResources.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QThread>

#include <chrono>
#include <cstdlib>
#include <iostream>

namespace {

// How long a launch tries to reach the running application, and how long
// it pauses between tries (the running one may be between taking its lock
// and listening).
constexpr std::chrono::seconds kHandOverTimeout(5);
constexpr std::chrono::milliseconds kHandOverRetryPause(50);

std::vector<std::string> absolutePaths(const std::vector<std::string>& files) {
    std::vector<std::string> paths;
    for (const std::string& file : files)
        paths.push_back(QFileInfo(QString::fromStdString(file)).absoluteFilePath().toStdString());
    return paths;
}

// What a launch does with its files.
enum class Launch {
    // It is the one application: it listens and opens the files.
    Listen,
    // Nobody can listen here: it opens the files all the same.
    OpenWithoutListening,
    // The running application took the files.
    HandedOver,
    // The running application holds the files, or its place, without
    // taking them: this launch opens nothing, so that the files open once
    // and no second application runs flows beside it.
    LeaveToRunningApplication,
};

// Listens for later launches unless an application already runs for this
// user and display; then hands it the paths.
Launch handOverToRunningApplication(QFOpenRequestServer& server,
                                    const std::vector<std::string>& paths) {
    const QDeadlineTimer deadline(kHandOverTimeout);
    const std::string socket = server.socketPath().toStdString();
    for (;;) {
        switch (server.listen()) {
            case QFOpenRequestServer::ListenResult::Listening:
                return Launch::Listen;
            case QFOpenRequestServer::ListenResult::Failed:
                std::cerr << "layerflow: cannot listen at " << socket
                          << "; later launches open their own windows\n";
                return Launch::OpenWithoutListening;
            case QFOpenRequestServer::ListenResult::AnotherApplicationListens:
                break;
        }
        switch (QFOpenRequest::send(server.socketPath(), paths, deadline)) {
            case QFOpenRequest::Result::Taken:
                return Launch::HandedOver;
            case QFOpenRequest::Result::Refused:
                std::cerr << "layerflow: the running application refused the files\n";
                return Launch::LeaveToRunningApplication;
            case QFOpenRequest::Result::Unanswered:
                std::cerr << "layerflow: the running application does not answer at " << socket
                          << "; it has the request and opens the files when it runs on\n";
                return Launch::LeaveToRunningApplication;
            case QFOpenRequest::Result::NotDelivered:
                break;
        }
        // The application that holds the lock may be about to listen, or
        // may end and leave its place to this launch; until the deadline.
        if (deadline.hasExpired()) {
            std::cerr << "layerflow: the running application does not answer at " << socket
                      << "; not opening the files beside it\n";
            return Launch::LeaveToRunningApplication;
        }
        QThread::msleep(static_cast<unsigned long>(kHandOverRetryPause.count()));
    }
}

}  // namespace

int runWindowedApplication(int& argc, char** argv, const std::vector<std::string>& files) {
    // Checked here, where the error can still be told: once handed over, a
    // path that cannot be opened would be dropped without a word.
    const std::vector<std::string> readable = readablePaths(files, std::cerr);
    const bool refusedAny = readable.size() != files.size();
    // Nothing of what was asked can be opened: no window either.
    if (refusedAny && readable.empty()) return EXIT_FAILURE;
    const int refusedStatus = refusedAny ? EXIT_FAILURE : EXIT_SUCCESS;

    QApplication application(argc, argv);
    const std::vector<std::string> paths = absolutePaths(readable);
    QFApplicationDelegate delegate;
    QFOpenRequestServer server(QFOpenRequestServer::defaultSocketPath(),
                               [&delegate](const std::vector<std::string>& handed) {
                                   delegate.openFilesOrUntitledDocument(handed);
                               });
    switch (handOverToRunningApplication(server, paths)) {
        case Launch::HandedOver:
            return refusedStatus;
        case Launch::LeaveToRunningApplication:
            return EXIT_FAILURE;
        case Launch::Listen:
        case Launch::OpenWithoutListening:
            break;
    }

    const auto resources = QFResources::shared();
    QApplication::setApplicationName(QString::fromStdString(resources->productName()));
    QApplication::setDesktopFileName(
        QString::fromStdString(resources->infoString("CFBundleIdentifier").value_or("")));
    if (const QImage icon = resources->bitmapFileNamed("ApplicationIcon"); !icon.isNull())
        QApplication::setWindowIcon(QIcon(QPixmap::fromImage(icon)));
    lf::MainQueue::shared()->bindToCurrentThread();
    QFFlowInterfaceHooks::install(QFApplicationFlowHooks());

    QFApplication::shared().setDelegate(&delegate);
    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    delegate.openFilesOrUntitledDocument(paths);
    const int status = QApplication::exec();
    // Quit: the outputs being moved in get there, and the records of the
    // writes whose files are in reach the user defaults, before the windows
    // and their flows go.
    lf::AtomicFileSet::finishCommitsBeforeExit();
    QFPendingOutputRecords::shared().noteAll();
    QFApplication::shared().setDelegate(nullptr);
    return status != EXIT_SUCCESS ? status : refusedStatus;
}
