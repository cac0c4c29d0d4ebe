#include "ui/window/QFWindowResizeGrip.h"

#include "kit/gui/OMCursor.h"

#include <QMouseEvent>
#include <QWindow>

namespace {

Qt::CursorShape cursorForEdges(Qt::Edges edges) {
    const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
    const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
    if (horizontal && vertical) {
        const bool falling =
            edges == (Qt::TopEdge | Qt::LeftEdge) || edges == (Qt::BottomEdge | Qt::RightEdge);
        return falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor;
    }
    return horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor;
}

}  // namespace

QFWindowResizeGrip::QFWindowResizeGrip(Qt::Edges edges, QWidget* window)
    : QWidget(window), edges_(edges) {}

QRect QFWindowResizeGrip::gripRect(Qt::Edges edges, QSize size) {
    const int t = kThickness, w = size.width(), h = size.height();
    const int x = (edges & Qt::LeftEdge) ? 0 : (edges & Qt::RightEdge) ? w - t : t;
    const int y = (edges & Qt::TopEdge) ? 0 : (edges & Qt::BottomEdge) ? h - t : t;
    const int width = (edges & (Qt::LeftEdge | Qt::RightEdge)) ? t : w - 2 * t;
    const int height = (edges & (Qt::TopEdge | Qt::BottomEdge)) ? t : h - 2 * t;
    return QRect(x, y, std::max(0, width), std::max(0, height));
}

void QFWindowResizeGrip::mousePressEvent(QMouseEvent* event) {
    QWindow* window = this->window()->windowHandle();
    if (event->button() == Qt::LeftButton && window && window->startSystemResize(edges_)) {
        event->accept();
        return;
    }
    event->ignore();
}

void QFWindowResizeGrip::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    OMSetCursor(*this, cursorForEdges(edges_));
}

void QFWindowResizeGrip::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    OMUnsetCursor(*this);
}
