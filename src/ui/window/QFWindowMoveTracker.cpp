#include "ui/window/QFWindowMoveTracker.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWindow>

QFWindowMoveTracker::QFWindowMoveTracker(QWidget* view, Events events)
    : QObject(view), view_(view), events_(events) {
    view->installEventFilter(this);
}

bool QFWindowMoveTracker::eventFilter(QObject* watched, QEvent* event) {
    if (watched != view_) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) pressPosition_ = mouse->globalPosition();
            break;
        }
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (!pressPosition_ || !(mouse->buttons() & Qt::LeftButton)) break;
            if ((mouse->globalPosition() - *pressPosition_).manhattanLength() <
                QApplication::startDragDistance())
                break;
            pressPosition_.reset();
            if (QWindow* window = view_->window()->windowHandle()) window->startSystemMove();
            break;
        }
        case QEvent::MouseButtonRelease:
            pressPosition_.reset();
            break;
        default:
            return false;
    }
    if (events_ == Events::PassOn) return false;
    event->accept();
    return true;
}
