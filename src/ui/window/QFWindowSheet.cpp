#include "ui/window/QFWindowSheet.h"

#include <QDialog>

bool QFWindowHasAttachedSheet(const QWidget* window) {
    if (!window) return false;
    for (const QObject* child : window->children()) {
        const auto* dialog = qobject_cast<const QDialog*>(child);
        if (dialog && dialog->isVisible() && dialog->windowModality() == Qt::WindowModal)
            return true;
    }
    return false;
}
