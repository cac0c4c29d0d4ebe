#include "ui/shell/QFStatusItem.h"

#include "ui/shell/QFStatusItemView.h"

#include <QApplication>
#include <QPointer>

namespace {

// The item belongs to the application object and goes with it at the
// latest; its view is its child.
QPointer<QSystemTrayIcon>& shownItem() {
    static QPointer<QSystemTrayIcon> item;
    return item;
}

}  // namespace

bool QFStatusItem::showsStatusItem() {
    return !shownItem().isNull();
}

void QFStatusItem::setShowsStatusItem(bool shows) {
    if (shows == showsStatusItem()) return;
    if (!shows) {
        shownItem()->hide();
        delete shownItem().data();
        return;
    }
    auto* item = new QSystemTrayIcon(qApp);
    auto* view = new QFStatusItemView(item);
    view->setStatusItem(item);
    shownItem() = item;
    item->show();
}

QSystemTrayIcon* QFStatusItem::statusItem() {
    return shownItem();
}

QFStatusItemView* QFStatusItem::statusItemView() {
    return shownItem() ? shownItem()->findChild<QFStatusItemView*>() : nullptr;
}
