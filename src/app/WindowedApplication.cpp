#include "WindowedApplication.h"

#include "platform/MainQueue.h"
#include "ui/QFApplication.h"
#include "ui/QFApplicationDelegate.h"
#include "ui/QFApplicationFlowHooks.h"
#include "ui/QFDocumentController.h"
#include "ui/QFResources.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>

int runWindowedApplication(int& argc, char** argv, const std::vector<std::string>& files) {
    QApplication application(argc, argv);
    const auto resources = QFResources::shared();
    QApplication::setApplicationName(QString::fromStdString(resources->productName()));
    QApplication::setDesktopFileName(
        QString::fromStdString(resources->infoString("CFBundleIdentifier").value_or("")));
    if (const QImage icon = resources->bitmapFileNamed("ApplicationIcon"); !icon.isNull())
        QApplication::setWindowIcon(QIcon(QPixmap::fromImage(icon)));
    lf::MainQueue::shared()->bindToCurrentThread();
    QFFlowInterfaceHooks::install(QFApplicationFlowHooks());

    QFApplicationDelegate delegate;
    QFApplication::shared().setDelegate(&delegate);
    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    if (files.empty()) {
        QFDocumentController::shared().openUntitledDocumentAndDisplay(true, nullptr);
    } else {
        std::vector<std::string> paths;
        for (const std::string& file : files)
            paths.push_back(
                QFileInfo(QString::fromStdString(file)).absoluteFilePath().toStdString());
        delegate.openFiles(paths);
    }
    const int status = QApplication::exec();
    QFApplication::shared().setDelegate(nullptr);
    return status;
}
