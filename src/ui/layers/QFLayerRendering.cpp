// Drawing a layer tree into a painter: the bounds it covers, its content
// with its shadow, its sublayers by depth, and the cached raster of a layer
// that should rasterise.

#include "kit/gui/OMDeviceSpace.h"
#include "kit/gui/OMDrawing.h"
#include "kit/gui/OMShadow.h"
#include "ui/layers/QFLayer.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

QRectF QFLayer::contentBounds() const {
    QRectF drawn = bounds_;
    for (const auto& sublayer : sublayers_) {
        if (sublayer->hidden_) continue;
        drawn = drawn.united(sublayer->transformToSuperlayer().mapRect(sublayer->drawnBounds()));
    }
    return drawn;
}

QRectF QFLayer::drawnBounds() const {
    const QRectF content = contentBounds();
    if (!(shadowOpacity_ > 0)) return content;
    // The blur reaches about one and a half radii beyond the shape.
    const double reach = 1.5 * shadowRadius_ + 1;
    return content.united(content.translated(shadowOffset_).adjusted(-reach, -reach, reach, reach));
}

void QFLayer::render(QPainter& painter, double time) const {
    renderAt(painter, time);
}

void QFLayer::renderInContext(QPainter& painter) const {
    renderContent(painter, std::nullopt);
}

void QFLayer::renderAt(QPainter& painter, Moment time) const {
    const QFLayerPresentation values = valuesAt(time);
    if (hidden_ || !(values.opacity > 0)) return;
    painter.save();
    painter.setTransform(transformToSuperlayer(values), true);
    painter.setOpacity(painter.opacity() * std::min(values.opacity, 1.0));
    if (shouldRasterize_ && time)
        renderRasterized(painter, *time);
    else
        renderContent(painter, time);
    painter.restore();
}

void QFLayer::renderContent(QPainter& painter, Moment time) const {
    if (shadowOpacity_ > 0 && shadowColor_.alpha() > 0) {
        QColor color = shadowColor_;
        color.setAlphaF(static_cast<float>(color.alphaF() * std::min(shadowOpacity_, 1.0)));
        // The shadow's offset is y-up; the tree's is y-down.
        const OMShadow shadow{QPointF(shadowOffset_.x(), -shadowOffset_.y()), shadowRadius_, color};
        shadow.drawShadowOfShape(
            painter,
            [&](QPainter& shape) {
                drawOwnContent(shape);
                renderSublayers(shape, time);
            },
            contentBounds(), OMDeviceScale(painter), QRectF(), false);
    }
    drawOwnContent(painter);
    renderSublayers(painter, time);
}

void QFLayer::renderSublayers(QPainter& painter, Moment time) const {
    std::vector<std::pair<double, const QFLayer*>> order;
    order.reserve(sublayers_.size());
    for (const auto& sublayer : sublayers_)
        order.emplace_back(sublayer->valuesAt(time).zPosition, sublayer.get());
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [z, sublayer] : order)
        sublayer->renderAt(painter, time);
}

void QFLayer::renderRasterized(QPainter& painter, double time) const {
    const bool animating = sublayersHaveRunningAnimations(time);
    if (animating || !rasterIsCurrent_ || rasterGeneration_ != contentGeneration_) {
        rasterRect_ = drawnBounds();
        const QSize pixels(static_cast<int>(std::ceil(rasterRect_.width() * rasterizationScale_)),
                           static_cast<int>(std::ceil(rasterRect_.height() * rasterizationScale_)));
        raster_ = QImage();
        if (!pixels.isEmpty()) {
            raster_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
            raster_.fill(Qt::transparent);
            raster_.setDevicePixelRatio(rasterizationScale_);
            QPainter rasterPainter(&raster_);
            rasterPainter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                                         QPainter::SmoothPixmapTransform);
            rasterPainter.translate(-rasterRect_.topLeft());
            renderContent(rasterPainter, time);
        }
        rasterGeneration_ = contentGeneration_;
        rasterIsCurrent_ = !animating;
    }
    if (raster_.isNull()) return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rasterRect_, raster_);
}

void QFLayer::drawOwnContent(QPainter& painter) const {
    const QRectF& b = bounds_;
    if (backgroundColor_.isValid() && backgroundColor_.alpha() > 0) {
        if (cornerRadius_ > 0)
            painter.fillPath(OMBezierPathWithRoundedRect(b, cornerRadius_), backgroundColor_);
        else
            painter.fillRect(b, backgroundColor_);
    }
    if (contents_) {
        const QRectF target = contentsGravity_ == ContentsGravity::Resize
                                  ? b
                                  : QRectF(b.topLeft(), contents_->size());
        contents_->draw(painter, target);
    }
    if (borderWidth_ > 0 && borderColor_.isValid() && borderColor_.alpha() > 0) {
        const double inset = borderWidth_ / 2;
        const QRectF edge = b.adjusted(inset, inset, -inset, -inset);
        painter.save();
        painter.setPen(QPen(borderColor_, borderWidth_));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(OMBezierPathWithRoundedRect(edge, std::max(cornerRadius_ - inset, 0.0)));
        painter.restore();
    }
}
