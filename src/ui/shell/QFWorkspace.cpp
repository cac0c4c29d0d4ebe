#include "ui/shell/QFWorkspace.h"

#include "ui/shell/QFFileManagerService.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>

#include <set>

namespace {

std::shared_ptr<QFWorkspace>& replacement() {
    static std::shared_ptr<QFWorkspace> workspace;
    return workspace;
}

}  // namespace

QFWorkspace& QFWorkspace::shared() {
    static QFWorkspace desktop;
    return replacement() ? *replacement() : desktop;
}

void QFWorkspace::setShared(std::shared_ptr<QFWorkspace> workspace) {
    replacement() = std::move(workspace);
}

void QFWorkspace::openURL(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

void QFWorkspace::beep() {
    QApplication::beep();
}

void QFWorkspace::showItemsInFileManager(const std::vector<QUrl>& items) {
    if (items.empty() || selectItemsInFileManager(items)) return;
    openFoldersOfItems(items);
}

bool QFWorkspace::selectItemsInFileManager(const std::vector<QUrl>& items) {
    // The answer may come after the workspace in use was replaced.
    return QFFileManagerService::showItems(
        fileManagerBus(), items, [items] { QFWorkspace::shared().openFoldersOfItems(items); });
}

QDBusConnection QFWorkspace::fileManagerBus() const {
    return QDBusConnection::sessionBus();
}

void QFWorkspace::openFoldersOfItems(const std::vector<QUrl>& items) {
    std::set<QString> opened;
    for (const QUrl& item : items) {
        const QString folder = QFileInfo(item.toLocalFile()).absolutePath();
        if (opened.insert(folder).second) openURL(QUrl::fromLocalFile(folder));
    }
}
