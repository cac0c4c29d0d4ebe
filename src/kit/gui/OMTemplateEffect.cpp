#include "kit/gui/OMTemplateEffect.h"

#include "kit/gui/OMDeviceSpace.h"
#include "kit/gui/OMImageContext.h"

#include <algorithm>
#include <cmath>

namespace {

// How far a shadow reaches beyond its shape's rectangle, in points: the
// clip of an outer shadow, and the extent of the surroundings that cast an
// inner one.
double throwDistance(const OMShadow& shadow) {
    return std::ceil(shadow.blurRadius +
                     std::max(std::fabs(shadow.offset.x()), std::fabs(shadow.offset.y())));
}

QRectF grown(const QRectF& rect, double by) {
    return rect.adjusted(-by, -by, by, by);
}

}  // namespace

OMTemplateEffect::Pass OMTemplateEffect::makePass(const QPainter& painter, const QRectF& rect,
                                                  double shadowScale,
                                                  OMShapeDrawer drawMask) const {
    const QTransform toDevice = OMUserToDeviceTransform(painter);
    const double deviceScale = std::max(OMDeviceScale(painter), 1e-6);
    // Every layer spans the shape, each shadow's reach and the blur beyond
    // it (three standard deviations), so no blur sees a cut edge.
    double margin = 1;
    for (const auto* list : {&shadows_, &innerShadows_}) {
        for (const OMShadow& shadow : *list) {
            margin = std::max(margin, throwDistance(shadow) +
                                          1.5 * shadow.blurRadius * shadowScale / deviceScale + 1);
        }
    }
    const QRect canvas = toDevice.mapRect(grown(rect, margin)).toAlignedRect();
    return {toDevice, canvas, rect, shadowScale, std::move(drawMask)};
}

OMDeviceLayer OMTemplateEffect::outerStyling(const Pass& pass, bool skipLastShadow) const {
    OMDeviceLayer outer(pass.canvas);
    const size_t count =
        skipLastShadow && !shadows_.empty() ? shadows_.size() - 1 : shadows_.size();
    for (size_t i = 0; i < count; ++i) {
        const OMShadow& shadow = shadows_[i];
        const OMDeviceLayer cast = OMDeviceLayer::shadow(
            pass.canvas, pass.toDevice, pass.drawMask, shadow.deviceOffset(pass.shadowScale),
            shadow.blurRadius * pass.shadowScale, shadow.color);
        outer.composite(cast, QPainter::CompositionMode_SourceOver,
                        pass.toDevice.mapRect(grown(pass.rect, throwDistance(shadow))));
    }
    // The shape itself shows its fill, not the shadows under it.
    outer.paint(pass.toDevice, [&](QPainter& layer) {
        layer.setCompositionMode(QPainter::CompositionMode_DestinationOut);
        pass.drawMask(layer);
    });
    return outer;
}

OMDeviceLayer OMTemplateEffect::innerStyling(const Pass& pass, bool skipFillColor) const {
    OMDeviceLayer styling(pass.canvas);
    const QRectF deviceRect = pass.toDevice.mapRect(pass.rect);
    if (fillColor_ && !skipFillColor)
        styling.fill(*fillColor_, QPainter::CompositionMode_SourceOver, deviceRect);
    if (fillGradient_) {
        styling.paint(pass.toDevice, [&](QPainter& layer) {
            fillGradient_->drawInRect(layer, pass.rect, fillGradientAngle_);
        });
    }
    for (const OMShadow& shadow : innerShadows_) {
        // The shape's surroundings, out to the shadow's reach, cast the
        // shadow into the shape.
        const QRectF surroundings = grown(pass.rect, throwDistance(shadow));
        auto drawInverse = [&](QPainter& layer) {
            layer.fillRect(surroundings, Qt::black);
            layer.setCompositionMode(QPainter::CompositionMode_DestinationOut);
            pass.drawMask(layer);
        };
        styling.composite(OMDeviceLayer::shadow(pass.canvas, pass.toDevice, drawInverse,
                                                shadow.deviceOffset(pass.shadowScale),
                                                shadow.blurRadius * pass.shadowScale, shadow.color),
                          QPainter::CompositionMode_SourceOver);
    }
    // Only inside the shape.
    OMDeviceLayer inner(pass.canvas);
    inner.paint(pass.toDevice, pass.drawMask);
    inner.composite(styling, QPainter::CompositionMode_SourceIn);
    return inner;
}

void OMTemplateEffect::drawImage(QPainter& painter, const OMImage& image, const QRectF& rect,
                                 bool forQFWindowLabelSigh) const {
    if (!image.isValid() || rect.isEmpty()) return;
    // The effect's geometry snaps to whole device pixels; the image itself
    // stays where it was asked to go.
    const QRectF aligned = OMAlignRectToDevicePixels(painter, rect);
    const double shadowScale = forQFWindowLabelSigh ? 1.0 : OMDeviceScale(painter);
    // Drawn with the layer's own operation: the passes cut with the mask.
    const Pass pass = makePass(painter, aligned, shadowScale, [&](QPainter& layer) {
        image.draw(layer, rect, QRectF(), layer.compositionMode());
    });
    outerStyling(pass, false).drawOnto(painter);
    innerStyling(pass, false).drawOnto(painter);
}

void OMTemplateEffect::drawBezierPath(QPainter& painter, const QPainterPath& path) const {
    if (path.isEmpty()) return;
    const QRectF aligned = OMAlignRectToDevicePixels(painter, path.boundingRect());
    const Pass pass =
        makePass(painter, aligned, 1.0, [&](QPainter& layer) { layer.fillPath(path, Qt::black); });
    OMDeviceLayer styled = outerStyling(pass, false);
    // Added, not laid over: the outer layer is cut where the inner one
    // begins, and adding leaves no seam along antialiased edges.
    styled.composite(innerStyling(pass, false), QPainter::CompositionMode_Plus);
    styled.drawOnto(painter);
}

void OMTemplateEffect::drawAttributedString(
    QPainter& painter, const OMAttributedString& text, const QRectF& rect,
    const std::optional<QColor>& subpixelBackgroundColor) const {
    if (text.text.isEmpty() || !fillColor_ || rect.isEmpty()) return;
    auto drawGlyphs = [&](QPainter& layer) {
        layer.setFont(text.font);
        layer.setPen(Qt::black);
        layer.drawText(rect, text.flags, text.text);
    };
    const Pass pass = makePass(painter, rect, OMDeviceScale(painter), drawGlyphs);

    if (subpixelBackgroundColor) {
        // The glyphs grown by a point, filled with the background, so that
        // font smoothing blends the glyph edges with the right colour.
        OMDeviceLayer background(pass.canvas);
        for (QPointF shift :
             {QPointF(0, 0), QPointF(-1, 0), QPointF(1, 0), QPointF(0, -1), QPointF(0, 1)}) {
            background.paint(pass.toDevice, [&](QPainter& layer) {
                layer.translate(shift);
                drawGlyphs(layer);
            });
        }
        background.fill(*subpixelBackgroundColor, QPainter::CompositionMode_SourceIn,
                        pass.toDevice.mapRect(grown(rect, 1)));
        background.drawOnto(painter);
    }

    // The last shadow is the text's own, drawn by the text renderer in
    // device space; the others go through the outer pass.
    outerStyling(pass, true).drawOnto(painter);
    if (!shadows_.empty()) {
        const OMShadow& own = shadows_.back();
        OMDeviceLayer::shadow(pass.canvas, pass.toDevice, drawGlyphs, own.deviceOffset(1.0),
                              own.blurRadius, own.color)
            .drawOnto(painter);
    }
    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(text.font);
    painter.setPen(*fillColor_);
    painter.drawText(rect, text.flags, text.text);
    painter.restore();
    innerStyling(pass, true).drawOnto(painter);
}

std::shared_ptr<OMImage> OMTemplateEffect::imageForAttributedString(const OMAttributedString& text,
                                                                    QSizeF size) const {
    if (!(size.width() > 0 && size.height() > 0)) return nullptr;
    QPainter* painter = OMBeginImageContextWithOptions(false, true, size.width(), size.height(), 0);
    if (!painter) return nullptr;
    painter->setFont(text.font);
    painter->setPen(Qt::black);
    painter->drawText(QRectF(QPointF(), size), text.flags, text.text);
    auto image = OMImageFromImageContext();
    OMEndImageContext();
    return image;
}

QSizeF OMTemplateEffect::margins() const {
    double x = 0, y = 0;
    for (const OMShadow& shadow : shadows_) {
        x = std::max(x, std::ceil(std::fabs(shadow.offset.x()) + shadow.blurRadius));
        y = std::max(y, std::ceil(shadow.blurRadius + std::fabs(shadow.offset.y())));
    }
    return {x, y};
}

std::shared_ptr<OMImage> OMTemplateEffect::applyEffectToImage(const OMImage* image) const {
    if (!image) return nullptr;
    const QSizeF margin = margins();
    const QSizeF size(image->size().width() + 2 * margin.width(),
                      image->size().height() + 2 * margin.height());
    if (size.width() < 0.001 || size.height() < 0.001 || !image->isValid()) return nullptr;
    QPainter* painter = OMBeginImageContextWithOptions(false, true, size.width(), size.height(), 0);
    if (!painter) return nullptr;
    const QRectF place(QPointF(margin.width(), margin.height()), image->size());
    drawImage(*painter, *image, place, true);
    auto result = OMImageFromImageContext();
    OMEndImageContext();
    result->setAlignmentRect(place);
    return result;
}

QRectF OMTemplateEffect::applyEffectToAlignmentRect(const QRectF& rect) const {
    const QSizeF margin = margins();
    return rect.adjusted(-margin.width(), -margin.height(), margin.width(), margin.height());
}
