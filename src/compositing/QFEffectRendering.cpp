#include "compositing/QFEffectRendering.h"

std::vector<std::shared_ptr<const OMPSDEffect>> QFInteriorEffectsForLayer(const OMPSDLayer& layer) {
    std::vector<std::shared_ptr<const OMPSDEffect>> interior;
    auto effects = layer.effects();
    if (!effects || !effects->isEnabled()) return interior;
    const std::shared_ptr<const OMPSDEffect> inDrawingOrder[] = {
        effects->patternOverlay(), effects->gradientOverlay(), effects->colorOverlay(),
        effects->satin(), effects->innerGlow()};
    for (const auto& effect : inDrawingOrder)
        if (effect && effect->isEnabled()) interior.push_back(effect);
    return interior;
}

std::shared_ptr<const OMPSDDropShadowEffect> QFDropShadowUnderLayers(const OMPSDLayer& layer) {
    auto effects = layer.effects();
    if (!effects || !effects->isEnabled()) return nullptr;
    auto shadow = effects->dropShadow();
    if (!shadow || !shadow->isEnabled() || shadow->layerKnocksOutDropShadow()) return nullptr;
    return shadow;
}

BNRenderNodePtr QFBlendEffectWithLayerShape(const OMPSDEffect&, const BNRenderNodePtr&,
                                            const BNRenderNodePtr& background, const OMPSDLayer&,
                                            const BNRenderNodePtr&) {
    return background;
}

VKRect boundsWithLayerShapeBounds(const OMPSDEffect&, VKRect shapeBounds, const OMPSDLayer&) {
    return shapeBounds;
}
