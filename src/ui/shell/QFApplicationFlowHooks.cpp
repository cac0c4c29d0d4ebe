#include "ui/shell/QFApplicationFlowHooks.h"

#include "flows/QFExportFlow.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/iconview/QFExportFlowController.h"
#include "ui/iconview/QFExportFlowHost.h"
#include "ui/shell/QFApplication.h"
#include "ui/shell/QFFlowWindowController.h"
#include "ui/shell/QFWorkspace.h"
#include "ui/window/QFViewController.h"
#include "ui/window/QFWindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// The window that shows the run controller, or null.
QWidget* windowOfController(QFFlowRunController& controller) {
    auto* viewController = dynamic_cast<QFViewController*>(&controller);
    return viewController && viewController->isViewLoaded() ? viewController->view()->window()
                                                            : nullptr;
}

// What the export flow view asks of the application.
class ExportFlowHost final : public QFExportFlowHost {
public:
    void showExampleFiles() override { QFApplication::shared().showExampleFiles(); }
    bool startFlowWithURLs(QFFlowRunController& controller,
                           const std::vector<std::string>& urls) override {
        auto* window = qobject_cast<QFWindow*>(windowOfController(controller));
        auto* windowController =
            window ? qobject_cast<QFFlowWindowController*>(window->windowController()) : nullptr;
        return windowController && windowController->startFlowWithURLs(urls);
    }
};

const std::shared_ptr<ExportFlowHost>& exportFlowHost() {
    static const auto host = std::make_shared<ExportFlowHost>();
    return host;
}

// Gives `completion` the folder chosen in `panel` once the panel is gone
// (it deletes itself as it closes). The save that follows writes on the
// main thread, which reads no event meanwhile. Started at once, from the
// handling of the key that chose the folder (Return) and before the panel
// was taken down, it left the keys typed during the write (Quit among
// them) to be dropped when read; started afterwards, they reach the flow
// window, which has the focus again, once the write ends.
void answerOnceGone(QFileDialog& panel, std::function<void(std::optional<std::string>)> completion,
                    std::optional<std::string> directory) {
    QObject::connect(
        &panel, &QObject::destroyed,
        [completion = std::move(completion), directory = std::move(directory)] {
            lf::MainQueue::shared()->async([completion, directory] { completion(directory); });
        });
}

void chooseOutputDirectory(QFFlowRunController& controller,
                           const std::optional<std::string>& initialDirectory,
                           std::function<void(std::optional<std::string>)> completion) {
    auto* panel = new QFileDialog(windowOfController(controller));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly);
    // A sheet of our own, never the desktop's dialog, whose frame the
    // window manager would put over the window's title bar.
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    if (initialDirectory) panel->setDirectory(QString::fromStdString(*initialDirectory));
    QFApplication::shared().beginSheet(
        *panel, panel->parentWidget(), [panel, completion = std::move(completion)](int result) {
            const QStringList chosen = panel->selectedFiles();
            std::optional<std::string> directory;
            if (result == QDialog::Accepted && !chosen.isEmpty())
                directory = chosen.front().toStdString();
            answerOnceGone(*panel, std::move(completion), std::move(directory));
        });
}

// The files handed to be revealed during one pass of the main loop, shown
// together once it ends: a flow's documents come one call each, and shown
// at once they take one call to the file manager, or open a folder that
// holds several of them once.
std::vector<QUrl>& itemsToReveal() {
    static std::vector<QUrl> items;
    return items;
}

// A folder opens, as ever; a file is shown in its folder, never opened:
// the program that the desktop chooses for a document may be this one.
void revealInFileViewer(const std::string& path) {
    const QString local = QString::fromStdString(path);
    if (QFileInfo(local).isDir()) {
        QFWorkspace::shared().openURL(QUrl::fromLocalFile(local));
        return;
    }
    std::vector<QUrl>& items = itemsToReveal();
    if (items.empty()) {
        lf::MainQueue::shared()->async([] {
            QFWorkspace::shared().showItemsInFileManager(std::exchange(itemsToReveal(), {}));
        });
    }
    items.push_back(QUrl::fromLocalFile(local));
}

}  // namespace

QFFlowInterfaceHooks QFApplicationFlowHooks() {
    QFFlowInterfaceHooks hooks;
    hooks.chooseOutputDirectory = chooseOutputDirectory;
    hooks.revealInFileViewer = revealInFileViewer;
    hooks.requestUserAttention = [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible()) QApplication::alert(window);
        }
    };
    hooks.isApplicationActive = [] {
        return QGuiApplication::applicationState() == Qt::ApplicationActive;
    };
    hooks.startFlow = QFFlowWindowController::startFlowInWindow;
    hooks.makeExportFlowController = [](const std::shared_ptr<QFExportFlow>& flow) {
        return std::make_shared<QFExportFlowController>(flow, exportFlowHost());
    };
    return hooks;
}
