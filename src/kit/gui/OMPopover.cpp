#include "kit/gui/OMPopover.h"

#include <QGuiApplication>
#include <QHideEvent>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

OMPopover::OMPopover(QWidget* parent) : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint) {
    setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QVBoxLayout(this);  // owned by the popover
    layout->setContentsMargins(0, 0, 0, 0);
}

void OMPopover::setContentWidget(QWidget* content) {
    if (content == contentWidget_) return;
    if (contentWidget_) contentWidget_->deleteLater();
    contentWidget_ = content;
    if (content) layout()->addWidget(content);
}

Qt::Edge OMPopover::oppositeEdge(Qt::Edge edge) {
    switch (edge) {
        case Qt::TopEdge:
            return Qt::BottomEdge;
        case Qt::BottomEdge:
            return Qt::TopEdge;
        case Qt::LeftEdge:
            return Qt::RightEdge;
        case Qt::RightEdge:
            return Qt::LeftEdge;
    }
    return edge;
}

QPoint OMPopover::placement(const QRect& anchor, QSize size, Qt::Edge preferredEdge,
                            const QRect& screen) {
    auto at = [&](Qt::Edge edge) {
        switch (edge) {
            case Qt::TopEdge:
                return QPoint(anchor.x() + (anchor.width() - size.width()) / 2,
                              anchor.top() - size.height());
            case Qt::BottomEdge:
                return QPoint(anchor.x() + (anchor.width() - size.width()) / 2,
                              anchor.bottom() + 1);
            case Qt::LeftEdge:
                return QPoint(anchor.left() - size.width(),
                              anchor.y() + (anchor.height() - size.height()) / 2);
            case Qt::RightEdge:
                return QPoint(anchor.right() + 1,
                              anchor.y() + (anchor.height() - size.height()) / 2);
        }
        return anchor.topLeft();
    };
    QPoint origin = at(preferredEdge);
    if (!screen.isEmpty() && !screen.contains(QRect(origin, size))) {
        const QPoint flipped = at(oppositeEdge(preferredEdge));
        if (screen.contains(QRect(flipped, size))) origin = flipped;
        // Slide along the edge to stay on the screen.
        origin.setX(std::clamp(origin.x(), screen.left(),
                               std::max(screen.left(), screen.right() + 1 - size.width())));
        origin.setY(std::clamp(origin.y(), screen.top(),
                               std::max(screen.top(), screen.bottom() + 1 - size.height())));
    }
    return origin;
}

void OMPopover::showRelativeToRect(const QRectF& rect, QWidget* view, Qt::Edge preferredEdge) {
    if (!view) return;
    const QRect anchor(view->mapToGlobal(rect.topLeft().toPoint()), rect.size().toSize());
    const QScreen* screen = view->screen();
    if (!testAttribute(Qt::WA_Resized)) adjustSize();
    move(placement(anchor, size(), preferredEdge, screen ? screen->availableGeometry() : QRect()));
    show();
    // Painted now, so the first frame on screen shows the final content.
    if (contentWidget_) contentWidget_->repaint();
    repaint();
}

void OMPopover::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous() && didCloseHandler_) didCloseHandler_();
}
