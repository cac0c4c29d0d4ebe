#include "WindowedApplication.h"

#include "platform/MainQueue.h"
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
#include <iostream>

namespace {

// How long a launch tries to reach the running application before it
// opens the files itself, and how long it pauses between tries (the
// running one may be between taking its lock and listening).
constexpr std::chrono::seconds kHandOverTimeout(5);
constexpr std::chrono::milliseconds kHandOverRetryPause(50);

std::vector<std::string> absolutePaths(const std::vector<std::string>& files) {
    std::vector<std::string> paths;
    for (const std::string& file : files)
        paths.push_back(QFileInfo(QString::fromStdString(file)).absoluteFilePath().toStdString());
    return paths;
}

// Listens for later launches, unless an application already runs for this
// user and display: then it gets the paths, and the answer is true.
bool handedOverToRunningApplication(QFOpenRequestServer& server,
                                    const std::vector<std::string>& paths) {
    const QDeadlineTimer deadline(kHandOverTimeout);
    for (;;) {
        switch (server.listen()) {
            case QFOpenRequestServer::ListenResult::Listening:
                return false;
            case QFOpenRequestServer::ListenResult::Failed:
                std::cerr << "layerflow: cannot listen at " << server.socketPath().toStdString()
                          << "; later launches open their own windows\n";
                return false;
            case QFOpenRequestServer::ListenResult::AnotherApplicationListens:
                break;
        }
        switch (QFOpenRequest::send(server.socketPath(), paths, deadline)) {
            case QFOpenRequest::Result::Taken:
                return true;
            case QFOpenRequest::Result::Refused:
                std::cerr << "layerflow: the running application refused the files; "
                             "opening them here\n";
                return false;
            case QFOpenRequest::Result::NoAnswer:
                break;
        }
        if (deadline.hasExpired()) {
            std::cerr << "layerflow: the running application does not answer at "
                      << server.socketPath().toStdString() << "; opening the files here\n";
            return false;
        }
        QThread::msleep(static_cast<unsigned long>(kHandOverRetryPause.count()));
    }
}

}  // namespace

int runWindowedApplication(int& argc, char** argv, const std::vector<std::string>& files) {
    QApplication application(argc, argv);
    const std::vector<std::string> paths = absolutePaths(files);
    QFApplicationDelegate delegate;
    QFOpenRequestServer server(QFOpenRequestServer::defaultSocketPath(),
                               [&delegate](const std::vector<std::string>& handed) {
                                   delegate.openFilesOrUntitledDocument(handed);
                               });
    if (handedOverToRunningApplication(server, paths)) return 0;

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
    QFApplication::shared().setDelegate(nullptr);
    return status;
}
