#include "ui/layers/QFIconLayer.h"

#include "kit/gui/OMImageContext.h"
#include "ui/layers/QFBasicAnimation.h"
#include "ui/layers/QFPreviewLayer.h"

#include <cmath>

QFIconLayer::QFIconLayer()
    : iconLayer_(std::make_shared<QFLayer>()),
      labelLayer_(std::make_shared<QFLabelLayer>()),
      selectionLayer_(std::make_shared<QFLayer>()) {
    selectionLayer_->setBackgroundColor(QColor::fromRgbF(0, 0, 0, 0.15f));
    selectionLayer_->setBorderColor(QColor::fromRgbF(1, 1, 1, 0.75f));
    selectionLayer_->setBorderWidth(2);
    selectionLayer_->setCornerRadius(10);
    selectionLayer_->setHidden(true);
    addSublayer(selectionLayer_);
    addSublayer(labelLayer_);
    contentLayer_ = iconLayer_;
    addSublayer(contentLayer_);
    // Room for two lines of the name.
    labelHeight_ = std::ceil(2 * labelLayer_->lineHeight());
    setIconSize(QSizeF(96, 96));
    setShouldRasterize(true);
}

void QFIconLayer::setIconSize(QSizeF size) {
    iconSize_ = size;
    tileSize_ = QSizeF(size.width() + kTileMargin, size.height() + kTileMargin);
    updateIconImage();
    recalculateLayout();
}

void QFIconLayer::setIcons(std::vector<std::shared_ptr<const OMImage>> icons) {
    icons_ = std::move(icons);
    updateIconImage();
}

void QFIconLayer::setLabel(const QString& label) {
    label_ = label;
    labelLayer_->setString(label);
}

void QFIconLayer::setContentLayer(std::shared_ptr<QFLayer> layer) {
    if (!layer) return;
    contentLayer_->removeFromSuperlayer();
    contentLayer_ = std::move(layer);
    addSublayer(contentLayer_);
    recalculateLayout();
}

void QFIconLayer::setSelected(bool selected) {
    isSelected_ = selected;
    labelLayer_->setSelected(selected);
    if (auto* preview = dynamic_cast<QFPreviewLayer*>(contentLayer_.get()))
        preview->setSelected(selected);
}

void QFIconLayer::setHasActiveAppearance(bool active) {
    hasActiveAppearance_ = active;
    labelLayer_->setHasActiveAppearance(active);
    if (auto* preview = dynamic_cast<QFPreviewLayer*>(contentLayer_.get()))
        preview->setHasActiveAppearance(active);
}

void QFIconLayer::setContentsScale(double scale) {
    QFLayer::setContentsScale(scale);
    for (const auto& layer :
         {std::static_pointer_cast<QFLayer>(labelLayer_), contentLayer_, selectionLayer_})
        layer->setContentsScale(scale);
}

void QFIconLayer::setRasterizationScale(double scale) {
    QFLayer::setRasterizationScale(scale);
    for (const auto& layer :
         {std::static_pointer_cast<QFLayer>(labelLayer_), contentLayer_, selectionLayer_})
        layer->setRasterizationScale(scale);
}

// Picture and layout ------------------------------------------------------------

std::vector<QRectF> QFIconLayer::stackedIconRects(size_t count, QSizeF size) {
    const double w = size.width(), h = size.height();
    if (count < 2) return {QRectF(0, 0, w, h)};
    const double side = std::floor((1 - 0.1 * double(count - 1)) * w);
    const double step = (w - side) / double(count - 1);
    std::vector<QRectF> rects;
    for (size_t i = 0; i < count; ++i) {
        const double offset = double(count - 1 - i) * step;
        rects.emplace_back(offset, offset, side, side);
    }
    return rects;
}

void QFIconLayer::updateIconImage() {
    std::shared_ptr<const OMImage> picture;
    if (icons_.size() == 1) {
        picture = icons_.front();
    } else if (icons_.size() >= 2) {
        const double h = iconSize_.height();
        if (QPainter* painter = OMBeginImageContextWithOptions(false, true, iconSize_.width(), h,
                                                               contentsScale())) {
            const std::vector<QRectF> rects = stackedIconRects(icons_.size(), iconSize_);
            for (size_t i = 0; i < icons_.size(); ++i) {
                // The rectangles are y-up; this picture is y-down.
                const QRectF& r = rects[i];
                if (icons_[i])
                    icons_[i]->draw(*painter, QRectF(r.x(), h - r.bottom(), r.width(), r.height()));
            }
            picture = OMImageFromImageContext();
            OMEndImageContext();
        }
    }
    iconLayer_->setContents(picture);
}

void QFIconLayer::recalculateLayout() {
    const double w = iconSize_.width(), h = iconSize_.height();
    const double W = tileSize_.width(), H = tileSize_.height();
    const double L = labelHeight_;
    setFrame(QRectF(frame().topLeft(), tileSize_));

    const double top = std::floor((H - (h + kLabelGap + L)) / 2);
    const QRectF content(std::floor((W - w) / 2), top, w, h);
    const QRectF label(10, top + h + kLabelGap, W - 20, L);
    contentLayer_->setFrame(content);
    labelLayer_->setFrame(label);
    // The picture stands on its bottom line, where it squashes from.
    iconRestPosition_ = QPointF(std::floor(W / 2), top + h);
    labelRestPosition_ = label.center();
    selectionLayer_->setFrame(content.adjusted(-6, -6, 6, 6));
    contentLayer_->setAnchorPoint(QPointF(0.5, 1.0));
    display();
}

// Squash ----------------------------------------------------------------------

bool QFIconLayer::needsDisplayForKey(std::string_view key) const {
    return key == kSquashAmountKey || QFLayer::needsDisplayForKey(key);
}

void QFIconLayer::display() {
    const double s = static_cast<float>(presentationValue(kSquashAmountKey));
    contentLayer_->setTransform(QTransform::fromScale(1 + 0.1 * s, 1 - 0.1 * s));
    contentLayer_->setPosition(iconRestPosition_ + QPointF(0, 5 * s));
    labelLayer_->setPosition(labelRestPosition_ + QPointF(0, 3 * s));
}

void QFIconLayer::jiggle() {
    QFBasicAnimation squash(kSquashAmountKey, -1.0, 1.0);
    squash.setDuration(0.35);
    squash.setAutoreverses(true);
    squash.setRepeatDuration(100000);
    squash.setTimingFunction(QFMediaTimingFunctionName::EaseIn);
    addAnimation(squash, "squash");
}

// Hit tests and drag images ---------------------------------------------------------

bool QFIconLayer::contentContainsPoint(QPointF point) const {
    const QPointF local = transformToSuperlayer().inverted().map(point);
    if (!bounds().contains(local)) return false;
    return labelLayer_->contentContainsPoint(local) || contentLayer_->frame().contains(local);
}

bool QFIconLayer::contentIntersectsRect(const QRectF& rect) const {
    const QRectF local = transformToSuperlayer().inverted().mapRect(rect);
    return contentLayer_->frame().intersects(local) || labelLayer_->contentIntersectsRect(local);
}

std::shared_ptr<OMImage> QFIconLayer::snapshotOfLayer(const QFLayer& layer, QRectF* imageFrame) {
    const QRectF frame = layer.frame().adjusted(-10, -10, 10, 10);
    if (imageFrame) *imageFrame = frame;
    QPainter* painter = OMBeginImageContextWithOptions(false, true, frame.width(), frame.height(),
                                                       layer.contentsScale());
    if (!painter) return nullptr;
    painter->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                            QPainter::SmoothPixmapTransform);
    painter->setTransform(
        layer.transformToSuperlayer() * QTransform::fromTranslate(-frame.left(), -frame.top()),
        true);
    layer.renderInContext(*painter);
    std::shared_ptr<OMImage> image = OMImageFromImageContext();
    OMEndImageContext();
    return image;
}

std::vector<QFIconLayer::DraggingImageComponent> QFIconLayer::draggingImageComponents() {
    const QTransform toSuperlayer = transformToSuperlayer();
    QRectF labelFrame, iconFrame;
    std::shared_ptr<OMImage> label = snapshotOfLayer(*labelLayer_, &labelFrame);
    // The picture goes without its selection plate.
    const bool wasSelected = isSelected_;
    setSelected(false);
    std::shared_ptr<OMImage> icon = snapshotOfLayer(*contentLayer_, &iconFrame);
    setSelected(wasSelected);
    return {
        {DraggingImageComponent::Kind::Icon, std::move(icon), toSuperlayer.mapRect(iconFrame)},
        {DraggingImageComponent::Kind::Label, std::move(label), toSuperlayer.mapRect(labelFrame)}};
}
