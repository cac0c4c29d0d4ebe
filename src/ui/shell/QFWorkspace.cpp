#include "ui/shell/QFWorkspace.h"

#include <QApplication>
#include <QDesktopServices>

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
