#include "compositing/QFEffectRendering.h"

#include "compositing/QFEffectKinds.h"

using Kind = OMPSDEffect::Kind;

namespace {

constexpr int kStrokeEmbossStyle = 4;

}  // namespace

QFEffectClipping clippingBehavior(const OMPSDEffect& effect) {
    switch (effect.kind()) {
        case Kind::dropShadow:
            return static_cast<const OMPSDDropShadowEffect&>(effect).layerKnocksOutDropShadow()
                       ? QFEffectClippingExterior
                       : QFEffectClippingBoth;
        case Kind::outerGlow:
            return QFEffectClippingExterior;
        case Kind::stroke:
            switch (static_cast<const OMPSDStrokeEffect&>(effect).position()) {
                case 0:
                    return QFEffectClippingExterior;
                case 2:
                    return QFEffectClippingBoth;
                default:
                    return QFEffectClippingInterior;
            }
        case Kind::bevelEmboss: {
            // Outer bevel, inner bevel, emboss, pillow emboss; a stroke
            // emboss lies within the stroke, which places it.
            static constexpr QFEffectClipping kByStyle[] = {
                QFEffectClippingExterior, QFEffectClippingInterior, QFEffectClippingBoth,
                QFEffectClippingBoth};
            int style = static_cast<const OMPSDBevelEmbossEffect&>(effect).style();
            return style >= 0 && style < kStrokeEmbossStyle ? kByStyle[style]
                                                            : QFEffectClippingInterior;
        }
        default:
            return QFEffectClippingInterior;
    }
}

bool QFIsStrokeEmboss(const OMPSDEffect& effect) {
    return effect.kind() == Kind::bevelEmboss &&
           static_cast<const OMPSDBevelEmbossEffect&>(effect).style() == kStrokeEmbossStyle;
}

BNRenderNodePtr blendWithLayerShape(const OMPSDEffect& effect, const BNRenderNodePtr& shape,
                                    const BNRenderNodePtr& background, const OMPSDLayer& layer,
                                    const BNRenderNodePtr& factorMask) {
    if (!shape || !background) return background;
    switch (effect.kind()) {
        case Kind::dropShadow:
            return QFBlendDropShadow(static_cast<const OMPSDDropShadowEffect&>(effect), shape,
                                     background, layer, factorMask);
        case Kind::innerShadow:
            return QFBlendInnerShadow(static_cast<const OMPSDInnerShadowEffect&>(effect), shape,
                                      background, layer, factorMask);
        case Kind::outerGlow:
            return QFBlendOuterGlow(static_cast<const OMPSDOuterGlowEffect&>(effect), shape,
                                    background, factorMask);
        case Kind::innerGlow:
            return QFBlendInnerGlow(static_cast<const OMPSDInnerGlowEffect&>(effect), shape,
                                    background, factorMask);
        case Kind::satin:
            return QFBlendSatin(static_cast<const OMPSDSatinEffect&>(effect), shape, background,
                                layer, factorMask);
        case Kind::patternOverlay:
            return QFBlendPatternOverlay(static_cast<const OMPSDPatternOverlayEffect&>(effect),
                                         background, layer);
        case Kind::gradientOverlay:
            return QFBlendGradientOverlay(static_cast<const OMPSDGradientOverlayEffect&>(effect),
                                          background, layer);
        case Kind::colorOverlay:
            return QFBlendColorOverlay(static_cast<const OMPSDColorOverlayEffect&>(effect),
                                       background);
        default:
            return background;
    }
}

BNRenderNodePtr blendWithContent(const OMPSDEffect& effect, const BNRenderNodePtr& content,
                                 const BNRenderNodePtr& shape, const BNRenderNodePtr& background,
                                 const OMPSDLayer& layer, const BNRenderNodePtr& factorMask,
                                 const QFEffectBlendingCallback& callback) {
    if (effect.kind() != Kind::stroke || !content || !shape || !background) return content;
    return QFBlendStroke(static_cast<const OMPSDStrokeEffect&>(effect), content, shape, background,
                         layer, factorMask, callback);
}

BNRenderNodePtr blendWithContent(const OMPSDEffect& effect, const BNRenderNodePtr& content,
                                 const BNRenderNodePtr& shape, const BNRenderNodePtr&,
                                 const OMPSDLayer& layer, QFEffectClipping clipping,
                                 const BNRenderNodePtr&) {
    if (effect.kind() != Kind::bevelEmboss || !content || !shape) return content;
    return QFBlendBevelEmboss(static_cast<const OMPSDBevelEmbossEffect&>(effect), content, shape,
                              layer, clipping);
}

std::vector<std::shared_ptr<const OMPSDEffect>> QFEffectsInDrawingOrder(const OMPSDLayer& layer) {
    std::vector<std::shared_ptr<const OMPSDEffect>> ordered;
    auto effects = layer.effects();
    if (!effects || !effects->isEnabled()) return {nullptr};
    auto add = [&](const std::shared_ptr<const OMPSDEffect>& effect) {
        if (effect && effect->isEnabled()) ordered.push_back(effect);
    };
    add(effects->dropShadow());
    add(effects->outerGlow());
    ordered.push_back(nullptr);
    if (!layer.blendingOptions()->shouldBlendInteriorEffectsAsGroup())
        for (const auto& effect : QFInteriorEffectsForLayer(layer))
            ordered.push_back(effect);
    add(effects->innerShadow());
    add(effects->stroke());
    add(effects->bevelEmboss());
    return ordered;
}

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
