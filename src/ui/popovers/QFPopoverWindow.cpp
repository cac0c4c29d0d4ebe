#include "ui/popovers/QFPopoverWindow.h"

#include "kit/gui/OMDrawing.h"
#include "ui/window/QFWindowCompositing.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace {

bool isVertical(Qt::Edge edge) {
    return edge == Qt::TopEdge || edge == Qt::BottomEdge;
}

}  // namespace

QFPopoverWindow::QFPopoverWindow(QWidget* parent) : OMPopover(parent) {
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    cutsShapeWithMask_ = !QFWindowSystemComposites();
    setAttribute(Qt::WA_TranslucentBackground, !cutsShapeWithMask_);
    layout()->setSizeConstraint(QLayout::SetNoConstraint);
    setArrowEdge(Qt::TopEdge);
}

QFPopoverWindow::~QFPopoverWindow() {
    if (isWatchingApplication_) qApp->removeEventFilter(this);
}

void QFPopoverWindow::setAppearance(int appearance) {
    appearance_ = appearance;
    update();
}

QMargins QFPopoverWindow::chromeMargins() const {
    QMargins margins(kBorderWidth, kBorderWidth, kBorderWidth, kBorderWidth);
    const int arrow = static_cast<int>(kArrowHeight);
    switch (arrowEdge_) {
        case Qt::TopEdge:
            margins.setTop(margins.top() + arrow);
            break;
        case Qt::BottomEdge:
            margins.setBottom(margins.bottom() + arrow);
            break;
        case Qt::LeftEdge:
            margins.setLeft(margins.left() + arrow);
            break;
        case Qt::RightEdge:
            margins.setRight(margins.right() + arrow);
            break;
    }
    return margins;
}

void QFPopoverWindow::setArrowEdge(Qt::Edge edge) {
    const QSize content = contentSize();
    arrowEdge_ = edge;
    layout()->setContentsMargins(chromeMargins());
    resizeToContentSize(content);
}

QSize QFPopoverWindow::contentSize() const {
    return size().shrunkBy(chromeMargins()).expandedTo(QSize(0, 0));
}

void QFPopoverWindow::setContentSize(const QSize& size) {
    resizeToContentSize(size);
    // A shown popover stays beside its anchor as its content changes size.
    if (isVisible() && positioningView_) placeBesideAnchor();
}

void QFPopoverWindow::resizeToContentSize(const QSize& size) {
    resize(size.grownBy(chromeMargins()));
    // At once, also while hidden, when the layout waits for the showing.
    if (QWidget* content = contentWidget())
        content->setGeometry(QRect(QPoint(), this->size()).marginsRemoved(chromeMargins()));
}

void QFPopoverWindow::showRelativeToRect(const QRectF& rect, QWidget* view,
                                         Qt::Edge preferredEdge) {
    if (!view) return;
    positioningView_ = view;
    positioningRect_ = rect;
    preferredEdge_ = preferredEdge;
    placeBesideAnchor();

    OMPopover::showRelativeToRect(rect, view, preferredEdge);
    if (QWindow* handle = windowHandle()) {
        QWidget* anchorWindow = view->window();
        handle->setTransientParent(anchorWindow ? anchorWindow->windowHandle() : nullptr);
    }
    raise();
    activateWindow();
}

void QFPopoverWindow::placeBesideAnchor() {
    const QWidget& view = *positioningView_;
    // The arrow sits on the popover's edge that faces the anchor; when the
    // preferred side has no room the popover, and its arrow, flip.
    setArrowEdge(oppositeEdge(preferredEdge_));
    const QRect anchor(view.mapToGlobal(positioningRect_.topLeft().toPoint()),
                       positioningRect_.size().toSize());
    const QScreen* screen = view.screen();
    const QPoint origin =
        placement(anchor, size(), preferredEdge_, screen ? screen->availableGeometry() : QRect());
    const bool flipped = isVertical(preferredEdge_)
                             ? (preferredEdge_ == Qt::BottomEdge) != (origin.y() > anchor.top())
                             : (preferredEdge_ == Qt::RightEdge) != (origin.x() > anchor.left());
    if (flipped) setArrowEdge(preferredEdge_);

    const QPointF centre = QRectF(anchor).center() - QPointF(origin);
    const double length = isVertical(arrowEdge_) ? width() : height();
    const double low = kCornerRadius + kArrowWidth / 2;
    arrowPosition_ = std::clamp(isVertical(arrowEdge_) ? centre.x() : centre.y(), low,
                                std::max(low, length - low));
    updateMask();
    move(origin);
    update();
}

void QFPopoverWindow::performClose() {
    if (isVisible()) close();
}

QPainterPath QFPopoverWindow::outlinePath() const {
    const QMargins margins = chromeMargins();
    const double arrow = kArrowHeight;
    // The body: the window less the arrow's room, on the border's centre.
    QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPolygonF tip;
    const double half = kArrowWidth / 2, at = arrowPosition_;
    switch (arrowEdge_) {
        case Qt::TopEdge:
            body.setTop(body.top() + margins.top() - kBorderWidth);
            tip << QPointF(at - half, body.top()) << QPointF(at, body.top() - arrow)
                << QPointF(at + half, body.top());
            break;
        case Qt::BottomEdge:
            body.setBottom(body.bottom() - margins.bottom() + kBorderWidth);
            tip << QPointF(at - half, body.bottom()) << QPointF(at, body.bottom() + arrow)
                << QPointF(at + half, body.bottom());
            break;
        case Qt::LeftEdge:
            body.setLeft(body.left() + margins.left() - kBorderWidth);
            tip << QPointF(body.left(), at - half) << QPointF(body.left() - arrow, at)
                << QPointF(body.left(), at + half);
            break;
        case Qt::RightEdge:
            body.setRight(body.right() - margins.right() + kBorderWidth);
            tip << QPointF(body.right(), at - half) << QPointF(body.right() + arrow, at)
                << QPointF(body.right(), at + half);
            break;
    }
    QPainterPath arrowPath;
    arrowPath.addPolygon(tip);
    arrowPath.closeSubpath();
    return OMBezierPathWithRoundedRect(body, kCornerRadius).united(arrowPath);
}

void QFPopoverWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool dark = appearance_ == QFPopoverAppearanceHUD;
    const QPainterPath outline = outlinePath();
    painter.fillPath(outline, dark ? QColor(40, 40, 40, 235) : QColor(248, 248, 248));
    painter.strokePath(outline, QPen(QColor::fromRgbF(0, 0, 0, 0.22), kBorderWidth));
}

void QFPopoverWindow::resizeEvent(QResizeEvent* event) {
    OMPopover::resizeEvent(event);
    updateMask();
}

void QFPopoverWindow::updateMask() {
    if (!cutsShapeWithMask_) return;
    const QPainterPath outline = outlinePath();
    QPainterPathStroker stroker;
    stroker.setWidth(kBorderWidth);
    setMask(QRegion(outline.united(stroker.createStroke(outline)).toFillPolygon().toPolygon()));
}

void QFPopoverWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        performClose();
        event->accept();
        return;
    }
    OMPopover::keyPressEvent(event);
}

void QFPopoverWindow::showEvent(QShowEvent* event) {
    OMPopover::showEvent(event);
    hasBeenActive_ = false;
    if (!isWatchingApplication_) {
        qApp->installEventFilter(this);
        isWatchingApplication_ = true;
    }
}

void QFPopoverWindow::hideEvent(QHideEvent* event) {
    if (isWatchingApplication_) {
        qApp->removeEventFilter(this);
        isWatchingApplication_ = false;
    }
    OMPopover::hideEvent(event);
}

bool QFPopoverWindow::belongsToPopover(const QWidget* widget) const {
    for (const QWidget* ancestor = widget; ancestor; ancestor = ancestor->parentWidget()) {
        if (ancestor == this) return true;
    }
    return false;
}

bool QFPopoverWindow::closesOnPressIn(const QWidget* widget) const {
    if (!widget || belongsToPopover(widget)) return false;
    if (positioningView_ && (widget == positioningView_ || positioningView_->isAncestorOf(widget)))
        return false;
    switch (behavior_) {
        case QFPopoverBehaviorTransient:
            return true;
        case QFPopoverBehaviorSemitransient:
            return positioningView_ && widget->window() == positioningView_->window();
        default:
            return false;
    }
}

bool QFPopoverWindow::closesWhenComingForward(const QWidget* window) const {
    if (behavior_ == QFPopoverBehaviorApplicationDefined || !hasBeenActive_ ||
        belongsToPopover(window))
        return false;
    return !positioningView_ || window != positioningView_->window() || !isPointerOnAnchor();
}

bool QFPopoverWindow::isPointerOnAnchor() const {
    return positioningView_ &&
           positioningView_->rect().contains(positioningView_->mapFromGlobal(QCursor::pos()));
}

bool QFPopoverWindow::eventFilter(QObject* watched, QEvent* event) {
    if (!isVisible() || !watched->isWidgetType()) return OMPopover::eventFilter(watched, event);
    auto* widget = static_cast<QWidget*>(watched);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            // A press that a child left travels on to its parents: only the
            // widget that took it first decides.
            const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
            if (!widget->childAt(at) && closesOnPressIn(widget)) performClose();
            break;
        }
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress: {
            // Escape typed in another window (the popover's own keys reach
            // keyPressEvent) closes the popover instead of acting in that
            // window beneath it: its shortcut is held back, and the press
            // itself closes the popover.
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier ||
                belongsToPopover(widget))
                break;
            if (event->type() == QEvent::KeyPress) performClose();
            event->accept();
            return true;
        }
        case QEvent::WindowActivate:
            // Sent to every window that shares the activation; the one
            // made active is the one that came forward.
            if (widget != QApplication::activeWindow()) break;
            if (widget == this)
                hasBeenActive_ = true;
            else if (closesWhenComingForward(widget))
                performClose();
            break;
        default:
            break;
    }
    return OMPopover::eventFilter(watched, event);
}
