// Stroke: a band along the layer's shape (outside, inside or centred on
// its edge) filled with a colour, a gradient (a shape burst following the
// band) or a pattern, drawn onto the backdrop and put into the band.
#include "compositing/content/QFLayerShapeBounds.h"
#include "compositing/effects/QFEffectFunctions.h"
#include "compositing/effects/QFEffectKinds.h"
#include "compositing/fills/QFFillRendering.h"
#include "compositing/providers/QFGradientProvider.h"
#include "rendergraph/gradients/BNBitmapStrokeNode.h"
#include "rendergraph/gradients/BNShapeBurstGradientNode.h"
#include "rendergraph/masks/BNCrossfadeWithMaskNode.h"
#include "rendergraph/masks/BNDivideMaskNode.h"

namespace {

// The band of each position of the effect as the stroke node takes it,
// with its width.
struct Band {
    VKStrokePosition position;
    double width;
};
Band bandForStroke(const OMPSDStrokeEffect& effect) {
    switch (effect.position()) {
        case OMPSDStrokeEffectPositionOutside:
            return {VKStrokePositionOutside, effect.size()};
        case OMPSDStrokeEffectPositionCentered:
            return {VKStrokePositionCentered, effect.size() * 0.5};
        default:
            return {VKStrokePositionInside, effect.size()};
    }
}

// The stroke's paint over the whole plane, its coverage in the fill
// channel; null when the fill paints nothing.
BNRenderNodePtr strokePaint(const OMPSDStrokeEffect& effect, Band band,
                            const BNRenderNodePtr& shape, const OMPSDLayer& layer) {
    const OMPSDFill* fill = effect.fill().get();
    if (!fill) return nullptr;
    VKRect bounds = VKRectNull;  // colours and patterns are not laid out
    if (fill->kind() == OMPSDFill::Kind::gradient) {
        const auto& gradient = static_cast<const OMPSDGradientFill&>(*fill);
        if (gradient.style() == OMPSDGradientStyleShapeBurst)
            return QFOpacityAsFillNode(BNShapeBurstGradientNode::create(
                shape, band.position, band.width,
                std::make_shared<QFGradientProvider>(gradient.gradient(), gradient.isReversed())));
        // A gradient spans the band: an inside band lies within the layer's
        // bounds, the others reach the band's whole width beyond them.
        bounds = QFLayerGradientBounds(layer);
        if (band.position != VKStrokePositionInside && band.width > 0)
            bounds = VKRectInset(bounds, -band.width, -band.width);
    }
    return QFOpacityAsFillNode(
        QFRenderNodeForFill(*fill, bounds, QFDocumentRectForLayer(layer), layer));
}

}  // namespace

BNRenderNodePtr QFBlendStroke(const OMPSDStrokeEffect& effect, const BNRenderNodePtr& content,
                              const BNRenderNodePtr& shape, const BNRenderNodePtr& background,
                              const OMPSDLayer& layer, const BNRenderNodePtr& factorMask,
                              const QFEffectBlendingCallback& callback) {
    Band band = bandForStroke(effect);
    BNRenderNodePtr mask = BNBitmapStrokeNode::create(shape, band.position, band.width);
    BNRenderNodePtr paint = strokePaint(effect, band, shape, layer);
    if (!paint || !mask) return content;
    if (factorMask) mask = BNDivideMaskNode::create(mask, factorMask);
    double opacity = effect.opacity();
    paint = QFCoverageWithinFactorMask(paint, factorMask, opacity);
    // At opacity 0 the band shows the backdrop, as a blend at fill 0 would.
    BNRenderNodePtr stroked =
        opacity == 0 ? background
                     : QFBlendEffectPaint(background, paint, effect.blendMode(), opacity);
    if (callback) stroked = callback(stroked);
    BNRenderNodePtr result = BNCrossfadeWithMaskNode::create(content, stroked, mask);
    return result ? result : content;
}
