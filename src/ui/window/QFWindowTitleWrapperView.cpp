#include "ui/window/QFWindowTitleWrapperView.h"

#include <QGraphicsEffect>
#include <QPainter>

#include <algorithm>

// Paints the wrapper's picture moved and faded.
class QFWindowTitleWrapperEffect final : public QGraphicsEffect {
public:
    using QGraphicsEffect::QGraphicsEffect;

    void setPresentation(const QTransform& transform, double opacity) {
        transform_ = transform;
        opacity_ = opacity;
        update();
    }

protected:
    void draw(QPainter* painter) override {
        QPoint offset;
        const QPixmap picture = sourcePixmap(Qt::LogicalCoordinates, &offset, NoPad);
        painter->save();
        painter->setOpacity(painter->opacity() * opacity_);
        painter->setTransform(transform_, true);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawPixmap(offset, picture);
        painter->restore();
    }

private:
    QTransform transform_;
    double opacity_ = 1.0;
};

QFWindowTitleWrapperView::QFWindowTitleWrapperView(QWidget* wrappedView, QWidget* parent)
    : QWidget(parent), wrappedView_(wrappedView), effect_(new QFWindowTitleWrapperEffect(this)) {
    effect_->setEnabled(false);
    setGraphicsEffect(effect_);  // owned by the widget
    if (!wrappedView) return;
    setGeometry(wrappedView->geometry());
    wrappedView->setParent(this);
    wrappedView->setGeometry(rect());
    wrappedView->show();
}

void QFWindowTitleWrapperView::release() {
    if (!wrappedView_ || wrappedView_->parentWidget() != this) return;
    wrappedView_->hide();
    wrappedView_->setParent(nullptr);
}

void QFWindowTitleWrapperView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (wrappedView_ && wrappedView_->parentWidget() == this) wrappedView_->setGeometry(rect());
    updatePresentation();
}

void QFWindowTitleWrapperView::setAnimationPushedInProgress(double progress) {
    if (progress == pushedInProgress_) return;
    pushedInProgress_ = progress;
    updatePresentation();
}

void QFWindowTitleWrapperView::setAnimationPushedOutProgress(double progress) {
    if (progress == pushedOutProgress_) return;
    pushedOutProgress_ = progress;
    updatePresentation();
}

void QFWindowTitleWrapperView::setAlphaValue(double alpha) {
    if (alpha == alphaValue_) return;
    alphaValue_ = alpha;
    updatePresentation();
}

QTransform QFWindowTitleWrapperView::pushedInTransform(double progress, QSizeF size) {
    if (progress > 0.999) return {};
    return QTransform::fromTranslate(0, (1 - progress) * size.height());
}

QTransform QFWindowTitleWrapperView::pushedOutTransform(double progress, QSizeF size) {
    if (progress < 0.001) return {};
    const double s = std::max(0.025, 1 - progress);
    const double w = size.width(), h = size.height();
    QTransform transform;
    transform.translate((w - s * w) / 2, (h - s * h) / 2 - (1 - s) * 0.2 * h);
    transform.scale(s, s);
    return transform;
}

QTransform QFWindowTitleWrapperView::sublayerTransform() const {
    return pushedOutTransform(pushedOutProgress_, size()) *
           pushedInTransform(pushedInProgress_, size());
}

void QFWindowTitleWrapperView::updatePresentation() {
    const QTransform transform = sublayerTransform();
    const bool atRest = transform.isIdentity() && alphaValue_ >= 1.0;
    effect_->setPresentation(transform, std::clamp(alphaValue_, 0.0, 1.0));
    effect_->setEnabled(!atRest);
}
