#include "ui/QFWindowMoveTracker.h"

#include <QApplication>
#include <QWindow>

void QFWindowMoveTracker::mousePressed(const QMouseEvent& event) {
    if (event.button() == Qt::LeftButton) pressPosition_ = event.globalPosition();
}

bool QFWindowMoveTracker::mouseMoved(QWidget& view, const QMouseEvent& event) {
    if (!pressPosition_ || !(event.buttons() & Qt::LeftButton)) return false;
    if ((event.globalPosition() - *pressPosition_).manhattanLength() <
        QApplication::startDragDistance())
        return false;
    pressPosition_.reset();
    QWindow* window = view.window()->windowHandle();
    return window && window->startSystemMove();
}
