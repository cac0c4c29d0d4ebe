#include "compositing/QFEffectRendering.h"

std::vector<std::shared_ptr<const OMPSDEffect>> QFInteriorEffectsForLayer(const OMPSDLayer& layer) {
    std::vector<std::shared_ptr<const OMPSDEffect>> interior;
    auto effects = layer.effects();
    if (!effects || !effects->isEnabled()) return interior;
    for (std::shared_ptr<const OMPSDEffect> effect :
         {std::shared_ptr<const OMPSDEffect>(effects->patternOverlay()),
          std::shared_ptr<const OMPSDEffect>(effects->gradientOverlay()),
          std::shared_ptr<const OMPSDEffect>(effects->colorOverlay()),
          std::shared_ptr<const OMPSDEffect>(effects->satin()),
          std::shared_ptr<const OMPSDEffect>(effects->innerGlow())})
        if (effect && effect->isEnabled()) interior.push_back(std::move(effect));
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
