#include "ui/layers/QFLayer.h"

#include "kit/gui/OMImageContext.h"

#include <algorithm>
#include <array>

namespace {

double numberOf(const QFLayerValue& value) {
    if (const auto* number = std::get_if<double>(&value)) return *number;
    return std::get<QPointF>(value).x();
}

QPointF pointOf(const QFLayerValue& value) {
    if (const auto* point = std::get_if<QPointF>(&value)) return *point;
    const double number = std::get<double>(value);
    return {number, number};
}

}  // namespace

QFLayer::~QFLayer() {
    for (const auto& sublayer : sublayers_)
        sublayer->superlayer_ = nullptr;
}

// Changes ---------------------------------------------------------------

void QFLayer::didChange(bool ownContent) {
    if (ownContent) ++contentGeneration_;
    for (QFLayer* layer = superlayer_; layer; layer = layer->superlayer_)
        ++layer->contentGeneration_;
    notifyHost(false);
}

void QFLayer::notifyHost(bool addedAnimations) {
    QFLayerTreeHost* host = root().host_;
    if (!host) return;
    if (addedAnimations)
        host->layerTreeDidAddAnimation();
    else
        host->layerTreeDidChange();
}

QFLayer& QFLayer::root() {
    QFLayer* layer = this;
    while (layer->superlayer_)
        layer = layer->superlayer_;
    return *layer;
}

// Geometry ----------------------------------------------------------------

void QFLayer::setBounds(const QRectF& bounds) {
    if (bounds == bounds_) return;
    const QSizeF oldSize = bounds_.size();
    bounds_ = bounds;
    needsLayout_ = true;
    if (needsDisplayOnBoundsChange_) needsDisplay_ = true;
    didChange(true);
    if (oldSize == bounds.size()) return;
    for (const auto& sublayer : sublayers_) {
        if (sublayer->autoresizingMask_) sublayer->resizeWithOldSuperlayerSize(oldSize);
    }
}

void QFLayer::resizeWithOldSuperlayerSize(QSizeF oldSize) {
    // The change shared among the flexible parts of one axis.
    auto share = [](double change, std::array<double, 3> parts, std::array<bool, 3> flexible) {
        double total = 0;
        int count = 0;
        for (int i = 0; i < 3; ++i) {
            if (!flexible[i]) continue;
            total += parts[i];
            ++count;
        }
        for (int i = 0; i < 3 && count > 0; ++i) {
            if (flexible[i]) parts[i] += change * (total > 0 ? parts[i] / total : 1.0 / count);
        }
        return parts;
    };
    const QRectF old = frame();
    const QSizeF size = superlayer_->bounds_.size();
    const unsigned m = autoresizingMask_;
    const auto x = share(size.width() - oldSize.width(),
                         {old.left(), old.width(), oldSize.width() - old.right()},
                         {bool(m & MinXMargin), bool(m & WidthSizable), bool(m & MaxXMargin)});
    const auto y = share(size.height() - oldSize.height(),
                         {old.top(), old.height(), oldSize.height() - old.bottom()},
                         {bool(m & MinYMargin), bool(m & HeightSizable), bool(m & MaxYMargin)});
    setFrame(QRectF(x[0], y[0], x[1], y[1]));
}

void QFLayer::setPosition(QPointF position) {
    if (position == position_) return;
    position_ = position;
    didChange(false);
}

void QFLayer::setAnchorPoint(QPointF anchorPoint) {
    if (anchorPoint == anchorPoint_) return;
    anchorPoint_ = anchorPoint;
    didChange(false);
}

void QFLayer::setTransform(const QTransform& transform) {
    if (transform == transform_) return;
    transform_ = transform;
    didChange(false);
}

QRectF QFLayer::frame() const {
    return transformToSuperlayer().mapRect(bounds_);
}

void QFLayer::setFrame(const QRectF& frame) {
    setBounds(QRectF(bounds_.topLeft(), frame.size()));
    setPosition(frame.topLeft() +
                QPointF(anchorPoint_.x() * frame.width(), anchorPoint_.y() * frame.height()));
}

void QFLayer::setZPosition(double z) {
    if (z == zPosition_) return;
    zPosition_ = z;
    didChange(false);
}

void QFLayer::setOpacity(double opacity) {
    if (opacity == opacity_) return;
    opacity_ = opacity;
    didChange(false);
}

void QFLayer::setHidden(bool hidden) {
    if (hidden == hidden_) return;
    hidden_ = hidden;
    didChange(false);
}

QTransform QFLayer::transformToSuperlayer(const QFLayerPresentation& values) const {
    const QRectF& b = values.bounds;
    const QPointF anchor(b.x() + anchorPoint_.x() * b.width(),
                         b.y() + anchorPoint_.y() * b.height());
    return QTransform::fromTranslate(-anchor.x(), -anchor.y()) * values.transform *
           QTransform::fromTranslate(values.position.x(), values.position.y());
}

QTransform QFLayer::transformToSuperlayer() const {
    return transformToSuperlayer(modelValues());
}

QTransform QFLayer::transformToRoot() const {
    QTransform transform;
    for (const QFLayer* layer = this; layer->superlayer_; layer = layer->superlayer_)
        transform = transform * layer->transformToSuperlayer();
    return transform;
}

QPointF QFLayer::convertPoint(QPointF point, const QFLayer* fromLayer) const {
    const QTransform from = fromLayer ? fromLayer->transformToRoot() : QTransform();
    return transformToRoot().inverted().map(from.map(point));
}

QRectF QFLayer::convertRect(const QRectF& rect, const QFLayer* fromLayer) const {
    const QTransform from = fromLayer ? fromLayer->transformToRoot() : QTransform();
    return (from * transformToRoot().inverted()).mapRect(rect);
}

// Look --------------------------------------------------------------------

void QFLayer::setContents(std::shared_ptr<const OMImage> contents) {
    contents_ = std::move(contents);
    didChange(true);
}

void QFLayer::setContentsGravity(ContentsGravity gravity) {
    contentsGravity_ = gravity;
    didChange(true);
}

void QFLayer::setBackgroundColor(const QColor& color) {
    backgroundColor_ = color;
    didChange(true);
}

void QFLayer::setBorderColor(const QColor& color) {
    borderColor_ = color;
    didChange(true);
}

void QFLayer::setBorderWidth(double width) {
    borderWidth_ = width;
    didChange(true);
}

void QFLayer::setCornerRadius(double radius) {
    cornerRadius_ = radius;
    didChange(true);
}

void QFLayer::setShadow(const QColor& color, QPointF offset, double radius, double opacity) {
    shadowColor_ = color;
    shadowOffset_ = offset;
    shadowRadius_ = radius;
    shadowOpacity_ = opacity;
    didChange(true);
}

void QFLayer::setContentsScale(double scale) {
    if (scale == contentsScale_ || !(scale > 0)) return;
    contentsScale_ = scale;
    if (drawsContent()) needsDisplay_ = true;
    didChange(true);
}

void QFLayer::setRasterizationScale(double scale) {
    if (scale == rasterizationScale_ || !(scale > 0)) return;
    rasterizationScale_ = scale;
    didChange(true);
}

void QFLayer::setShouldRasterize(bool rasterize) {
    if (rasterize == shouldRasterize_) return;
    shouldRasterize_ = rasterize;
    raster_ = QImage();
    didChange(true);
}

double QFLayer::valueForKey(std::string_view key) const {
    const auto found = values_.find(key);
    return found == values_.end() ? 0.0 : found->second;
}

void QFLayer::setValue(double value, std::string_view key) {
    const auto found = values_.find(key);
    if (found != values_.end() && found->second == value) return;
    values_.insert_or_assign(std::string(key), value);
    if (needsDisplayForKey(key)) needsDisplay_ = true;
    didChange(false);
}

bool QFLayer::needsDisplayForKey(std::string_view) const {
    return false;
}

// Tree --------------------------------------------------------------------

void QFLayer::addSublayer(const std::shared_ptr<QFLayer>& layer) {
    insertSublayerBelow(layer, nullptr);
}

void QFLayer::insertSublayerBelow(const std::shared_ptr<QFLayer>& layer, const QFLayer* sibling) {
    if (!layer || layer.get() == this) return;
    const std::shared_ptr<QFLayer> keep = layer;  // the old superlayer may hold the last reference
    layer->removeFromSuperlayer();
    const auto at = std::find_if(sublayers_.begin(), sublayers_.end(),
                                 [&](const auto& sublayer) { return sublayer.get() == sibling; });
    sublayers_.insert(at, keep);
    keep->superlayer_ = this;
    didChange(true);
    if (keep->hasAnimations()) notifyHost(true);
}

void QFLayer::removeFromSuperlayer() {
    QFLayer* superlayer = superlayer_;
    if (!superlayer) return;
    const std::shared_ptr<QFLayer> keep = shared_from_this();
    std::erase_if(superlayer->sublayers_,
                  [this](const auto& sublayer) { return sublayer.get() == this; });
    superlayer_ = nullptr;
    superlayer->didChange(true);
}

void QFLayer::removeAllSublayers() {
    while (!sublayers_.empty())
        sublayers_.back()->removeFromSuperlayer();
}

// Animations --------------------------------------------------------------

void QFLayer::addAnimation(const QFLayerAnimation& animation, const std::string& key) {
    std::shared_ptr<QFLayerAnimation> added = animation.copy();
    if (added->beginTime() == 0) added->setBeginTime(QFCurrentMediaTime());
    std::erase_if(animations_, [&](const KeyedAnimation& entry) { return entry.key == key; });
    animations_.push_back({key, std::move(added)});
    didChange(false);
    notifyHost(true);
}

std::shared_ptr<const QFLayerAnimation> QFLayer::animationForKey(std::string_view key) const {
    for (const KeyedAnimation& entry : animations_) {
        if (entry.key == key) return entry.animation;
    }
    return nullptr;
}

std::vector<std::string> QFLayer::animationKeys() const {
    std::vector<std::string> keys;
    for (const KeyedAnimation& entry : animations_)
        keys.push_back(entry.key);
    return keys;
}

void QFLayer::removeAnimationForKey(std::string_view key) {
    const auto found = std::find_if(animations_.begin(), animations_.end(),
                                    [&](const KeyedAnimation& entry) { return entry.key == key; });
    if (found == animations_.end()) return;
    if (needsDisplayForKey(found->animation->keyPath())) needsDisplay_ = true;
    animations_.erase(found);
    didChange(false);
}

void QFLayer::removeAllAnimations() {
    if (animations_.empty()) return;
    for (const KeyedAnimation& entry : animations_) {
        if (needsDisplayForKey(entry.animation->keyPath())) needsDisplay_ = true;
    }
    animations_.clear();
    didChange(false);
}

bool QFLayer::hasAnimations() const {
    return !animations_.empty() ||
           std::any_of(sublayers_.begin(), sublayers_.end(),
                       [](const auto& sublayer) { return sublayer->hasAnimations(); });
}

bool QFLayer::hasRunningAnimations(double time) const {
    for (const KeyedAnimation& entry : animations_) {
        if (entry.animation->endTime() > time) return true;
    }
    return sublayersHaveRunningAnimations(time);
}

bool QFLayer::sublayersHaveRunningAnimations(double time) const {
    return std::any_of(sublayers_.begin(), sublayers_.end(), [time](const auto& sublayer) {
        return sublayer->hasRunningAnimations(time);
    });
}

void QFLayer::stepAnimations(double time) {
    bool redisplay = false;
    std::erase_if(animations_, [&](const KeyedAnimation& entry) {
        const bool animatesDisplay = needsDisplayForKey(entry.animation->keyPath());
        const bool finished =
            entry.animation->isRemovedOnCompletion() && time >= entry.animation->endTime();
        redisplay = redisplay || animatesDisplay;
        return finished;
    });
    if (redisplay) display();
    // A sublayer's display may change the tree below it, not this list.
    const std::vector<std::shared_ptr<QFLayer>> sublayers = sublayers_;
    for (const auto& sublayer : sublayers)
        sublayer->stepAnimations(time);
}

// Presentation ------------------------------------------------------------

QFLayerPresentation QFLayer::modelValues() const {
    QFLayerPresentation values;
    values.bounds = bounds_;
    values.position = position_;
    values.transform = transform_;
    values.opacity = opacity_;
    values.zPosition = zPosition_;
    return values;
}

QFLayerPresentation QFLayer::presentation(double time) const {
    QFLayerPresentation values = modelValues();
    for (const KeyedAnimation& entry : animations_)
        applyAnimation(*entry.animation, time, values);
    return values;
}

QFLayerPresentation QFLayer::valuesAt(Moment time) const {
    return time ? presentation(*time) : modelValues();
}

void QFLayer::applyAnimation(const QFLayerAnimation& animation, double time,
                             QFLayerPresentation& values) const {
    const std::string& keyPath = animation.keyPath();
    if (keyPath != "opacity" && keyPath != "zPosition" && keyPath != "position" &&
        keyPath != "transform")
        return;
    const std::optional<QFLayerValue> value = animation.valueAtTime(time);
    if (!value) return;
    const bool additive = animation.isAdditive();
    if (keyPath == "opacity") {
        values.opacity = (additive ? values.opacity : 0) + numberOf(*value);
    } else if (keyPath == "zPosition") {
        values.zPosition = (additive ? values.zPosition : 0) + numberOf(*value);
    } else if (keyPath == "position") {
        values.position = (additive ? values.position : QPointF()) + pointOf(*value);
    } else {
        const QPointF scale = pointOf(*value);
        QTransform animated;
        switch (animation.valueFunction()) {
            case QFValueFunction::ScaleX:
                animated = QTransform::fromScale(scale.x(), 1);
                break;
            case QFValueFunction::ScaleY:
                animated = QTransform::fromScale(1, scale.y());
                break;
            case QFValueFunction::None:
                return;  // transforms are animated through their scales only
        }
        values.transform = additive ? animated * values.transform : animated;
    }
}

double QFLayer::presentationValue(std::string_view key, double time) const {
    if (key == "opacity") return presentation(time).opacity;
    if (key == "zPosition") return presentation(time).zPosition;
    double value = valueForKey(key);
    for (const KeyedAnimation& entry : animations_) {
        if (entry.animation->keyPath() != key) continue;
        if (const auto animated = entry.animation->valueAtTime(time))
            value = (entry.animation->isAdditive() ? value : 0) + numberOf(*animated);
    }
    return value;
}

// Display and layout ------------------------------------------------------

void QFLayer::setNeedsDisplay() {
    needsDisplay_ = true;
    notifyHost(false);
}

void QFLayer::displayIfNeeded() {
    if (!needsDisplay_) return;
    needsDisplay_ = false;
    display();
}

void QFLayer::display() {
    needsDisplay_ = false;
    if (!drawsContent()) return;
    QPainter* painter = OMBeginImageContextWithOptions(false, true, bounds_.width(),
                                                       bounds_.height(), contentsScale_);
    if (!painter) {
        setContents(nullptr);
        return;
    }
    painter->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                            QPainter::SmoothPixmapTransform);
    painter->translate(-bounds_.topLeft());
    drawInContext(*painter);
    std::shared_ptr<OMImage> drawn = OMImageFromImageContext();
    OMEndImageContext();
    setContents(std::move(drawn));
}

void QFLayer::setDrawer(Drawer drawer) {
    drawer_ = std::move(drawer);
    setNeedsDisplay();
}

void QFLayer::drawInContext(QPainter& painter) const {
    if (drawer_) drawer_(painter, *this);
}

void QFLayer::setNeedsLayout() {
    needsLayout_ = true;
    notifyHost(false);
}

void QFLayer::layoutIfNeeded() {
    if (!needsLayout_) return;
    needsLayout_ = false;
    layoutSublayers();
}

void QFLayer::commit() {
    layoutIfNeeded();
    displayIfNeeded();
    const std::vector<std::shared_ptr<QFLayer>> sublayers = sublayers_;
    for (const auto& sublayer : sublayers)
        sublayer->commit();
}
