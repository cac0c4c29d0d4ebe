#include "ui/layers/QFLayerView.h"

#include "kit/gui/OMFrameLoop.h"

#include <QPainter>
#include <QPointer>

QFLayerView::QFLayerView(QWidget* parent) : QWidget(parent), layer_(std::make_shared<QFLayer>()) {
    layer_->setAnchorPoint(QPointF(0, 0));
    layer_->setHost(this);
}

QFLayerView::~QFLayerView() {
    layer_->setHost(nullptr);
}

void QFLayerView::layerTreeDidChange() {
    update();
}

void QFLayerView::layerTreeDidAddAnimation() {
    update();
    if (isRunningFrames_) return;
    isRunningFrames_ = true;
    OMAddAnimationBlock([view = QPointer<QFLayerView>(this)] { return view && view->runFrame(); });
}

bool QFLayerView::runFrame() {
    const double now = QFCurrentMediaTime();
    layer_->stepAnimations(now);
    OMDisplayViewInAnimationFrame(this);
    isRunningFrames_ = layer_->hasRunningAnimations(now);
    return isRunningFrames_;
}

void QFLayerView::paintEvent(QPaintEvent*) {
    layer_->commit();
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    layer_->render(painter, QFCurrentMediaTime());
}

void QFLayerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layer_->setFrame(QRectF(QPointF(0, 0), QSizeF(size())));
}
