#include "ui/layers/QFPreviewLayer.h"

#include "kit/gui/OMDeviceSpace.h"
#include "kit/gui/OMDrawing.h"
#include "kit/gui/OMImageContext.h"

#include <algorithm>
#include <cmath>

namespace {

QColor srgb(int red, int green, int blue) {
    return QColor(red, green, blue);
}

QColor grey(int value) {
    return QColor(value, value, value);
}

OMTemplateEffect gradientEffect(const QColor& from, const QColor& to) {
    OMTemplateEffect effect;
    effect.setFillGradient(OMGradient(from, to));
    effect.setFillGradientAngle(90);
    return effect;
}

OMTemplateEffect innerEffect(const QColor& from, const QColor& to, const QColor& edge) {
    OMTemplateEffect effect = gradientEffect(from, to);
    effect.setInnerShadows({OMShadow{QPointF(0, 1), 0, edge}});
    return effect;
}

}  // namespace

QFPreviewLayer::QFPreviewLayer()
    : backgroundLayer_(std::make_shared<QFLayer>()),
      contentLayer_(std::make_shared<QFLayer>()),
      selectionLayer_(std::make_shared<QFLayer>()) {
    selectionLayer_->setShadow(Qt::black, QPointF(0, 1), 1, 0.5);
    selectionLayer_->setNeedsDisplayOnBoundsChange(true);
    selectionLayer_->setHidden(true);
    selectionLayer_->setDrawer([this](QPainter& painter, const QFLayer& layer) {
        drawSelectionBackgroundInRect(painter, layer.bounds());
    });
    backgroundLayer_->setCornerRadius(5);
    backgroundLayer_->setBackgroundColor(Qt::white);
    backgroundLayer_->setShadow(Qt::black, QPointF(0, 2), 2, 0.33);
    addSublayer(selectionLayer_);
    addSublayer(backgroundLayer_);
    addSublayer(contentLayer_);
}

void QFPreviewLayer::setImage(std::shared_ptr<const OMImage> image) {
    image_ = std::move(image);
    updateImageLayer();
}

void QFPreviewLayer::layoutSublayers() {
    updateImageLayer();
}

void QFPreviewLayer::updateImageLayer() {
    if (!image_) return;
    const QRectF available =
        bounds().adjusted(kImageInset, kImageInset, -kImageInset, -kImageInset);
    if (!(available.width() > 0) || !(available.height() > 0) ||
        !std::isfinite(available.width()) || !std::isfinite(available.height()))
        return;
    const QSizeF size = image_->size();
    if (!(size.width() > 0) || !(size.height() > 0)) return;
    const double scale =
        std::min({available.width() / size.width(), available.height() / size.height(), 1.0});
    const QSizeF drawn(std::max(std::round(size.width() * scale), 1.0),
                       std::max(std::round(size.height() * scale), 1.0));

    std::shared_ptr<const OMImage> shown = image_;
    if (drawn != size) {
        if (QPainter* painter = OMBeginImageContextWithOptions(false, true, drawn.width(),
                                                               drawn.height(), contentsScale())) {
            painter->setRenderHint(QPainter::SmoothPixmapTransform);
            image_->draw(*painter, QRectF(QPointF(0, 0), drawn));
            shown = OMImageFromImageContext();
            OMEndImageContext();
        }
    }
    contentLayer_->setContents(shown);

    const QRectF b = bounds();
    const QRectF content(QPointF(std::floor((b.width() - drawn.width()) / 2),
                                 std::floor((b.height() - drawn.height()) / 2)),
                         drawn);
    contentLayer_->setFrame(content);
    const QRectF card = content.adjusted(-kImageInset, -kImageInset, kImageInset, kImageInset);
    backgroundLayer_->setFrame(card);
    selectionLayer_->setFrame(
        card.adjusted(-kSelectionOutset, -kSelectionOutset, kSelectionOutset, kSelectionOutset));
}

void QFPreviewLayer::setSelected(bool selected) {
    if (selected == isSelected_) return;
    isSelected_ = selected;
    selectionLayer_->setHidden(!selected);
}

void QFPreviewLayer::setHasActiveAppearance(bool active) {
    if (active == hasActiveAppearance_) return;
    hasActiveAppearance_ = active;
    selectionLayer_->setNeedsDisplay();
}

void QFPreviewLayer::setContentsScale(double scale) {
    const bool changed = scale != contentsScale();
    QFLayer::setContentsScale(scale);
    for (const auto& layer : {backgroundLayer_, contentLayer_, selectionLayer_})
        layer->setContentsScale(scale);
    // The shown bitmap is drawn at the contents scale.
    if (changed) updateImageLayer();
}

void QFPreviewLayer::setRasterizationScale(double scale) {
    QFLayer::setRasterizationScale(scale);
    for (const auto& layer : {backgroundLayer_, contentLayer_, selectionLayer_})
        layer->setRasterizationScale(scale);
}

const OMTemplateEffect& QFPreviewLayer::outerTemplateEffect() const {
    static const OMTemplateEffect active = gradientEffect(srgb(124, 141, 156), srgb(53, 68, 84));
    static const OMTemplateEffect inactive = gradientEffect(grey(167), grey(90));
    return hasActiveAppearance_ ? active : inactive;
}

const OMTemplateEffect& QFPreviewLayer::innerTemplateEffect() const {
    static const OMTemplateEffect active =
        innerEffect(srgb(134, 154, 173), srgb(75, 95, 113), srgb(171, 185, 198));
    static const OMTemplateEffect inactive = innerEffect(grey(194), grey(124), grey(215));
    return hasActiveAppearance_ ? active : inactive;
}

void QFPreviewLayer::drawSelectionBackgroundInRect(QPainter& painter, const QRectF& rect) const {
    // The recipes are written for drawing with y up; the plate is drawn so
    // and turned over into this y-down tree, which puts the first colours
    // and the light edge at the top.
    const double scale = OMDeviceScale(painter);
    QPainter* plate =
        OMBeginImageContextWithOptions(false, true, rect.width(), rect.height(), scale);
    if (!plate) return;
    const QRectF local(QPointF(0, 0), rect.size());
    outerTemplateEffect().drawBezierPath(*plate, OMBezierPathWithRoundedRect(local, 11));
    innerTemplateEffect().drawBezierPath(
        *plate, OMBezierPathWithRoundedRect(local.adjusted(1, 1, -1, -1), 10));
    const std::shared_ptr<OMImage> image = OMImageFromImageContext();
    OMEndImageContext();
    if (!image) return;
    painter.save();
    painter.translate(rect.left(), rect.bottom());
    painter.scale(1, -1);
    image->draw(painter, local);
    painter.restore();
}
