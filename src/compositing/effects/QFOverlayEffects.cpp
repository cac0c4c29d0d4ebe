// Pattern, gradient and colour overlays: a fill painted over the whole
// plane; the caller confines it to the layer's interior.
#include "compositing/content/QFLayerShapeBounds.h"
#include "compositing/effects/QFEffectFunctions.h"
#include "compositing/effects/QFEffectKinds.h"
#include "compositing/fills/QFFillRendering.h"
#include "rendergraph/images/BNConstantColorNode.h"

namespace {

// `background` with `fill` laid out in `layerBounds` painted over it; the
// background itself when the fill paints nothing (a pattern the document
// lacks).
BNRenderNodePtr blendFill(const OMPSDFill* fill, VKRect layerBounds,
                          const OMPSDBlendedEffect& effect, const BNRenderNodePtr& background,
                          const OMPSDLayer& layer) {
    if (!fill) return background;
    BNRenderNodePtr paint = QFOpacityAsFillNode(
        QFRenderNodeForFill(*fill, layerBounds, QFDocumentRectForLayer(layer), layer));
    if (!paint) return background;
    return QFBlendEffectPaint(background, paint, effect.blendMode(), effect.opacity());
}

}  // namespace

BNRenderNodePtr QFBlendPatternOverlay(const OMPSDPatternOverlayEffect& effect,
                                      const BNRenderNodePtr& background, const OMPSDLayer& layer) {
    return blendFill(effect.fill().get(), QFLayerShapeBounds(layer), effect, background, layer);
}

BNRenderNodePtr QFBlendGradientOverlay(const OMPSDGradientOverlayEffect& effect,
                                       const BNRenderNodePtr& background, const OMPSDLayer& layer) {
    // Laid out in the shape's own bounds: a feathered mask does not widen
    // the gradient.
    return blendFill(effect.fill().get(), QFLayerGradientBoundsUnfeathered(layer), effect,
                     background, layer);
}

BNRenderNodePtr QFBlendColorOverlay(const OMPSDColorOverlayEffect& effect,
                                    const BNRenderNodePtr& background) {
    const OMPSDColor& c = effect.color();
    BNRenderNodePtr paint = QFOpacityAsFillNode(
        BNConstantColorNode::create({c.red(), c.green(), c.blue(), 1, 0}, BNChannelMaskRGBA));
    return QFBlendEffectPaint(background, paint, effect.blendMode(), effect.opacity());
}
