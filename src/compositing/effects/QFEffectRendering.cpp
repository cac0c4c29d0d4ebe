#include "compositing/effects/QFEffectRendering.h"

#include "compositing/effects/QFEffectKinds.h"

#include <initializer_list>

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
                case OMPSDStrokeEffectPositionOutside:
                    return QFEffectClippingExterior;
                case OMPSDStrokeEffectPositionCentered:
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

namespace {

// Appends the enabled effects of `kinds`, kind by kind, each kind's in the
// order they are drawn.
void appendEnabled(std::vector<std::shared_ptr<const OMPSDEffect>>& ordered,
                   const OMPSDEffectList& effects, std::initializer_list<Kind> kinds) {
    for (Kind kind : kinds)
        for (const auto& effect : effects.effectsOfKind(kind))
            if (effect->isEnabled()) ordered.push_back(effect);
}

}  // namespace

std::vector<std::shared_ptr<const OMPSDEffect>> QFEffectsInDrawingOrder(const OMPSDLayer& layer) {
    std::vector<std::shared_ptr<const OMPSDEffect>> ordered;
    auto effects = layer.effects();
    if (!effects || !effects->isEnabled()) return {nullptr};
    appendEnabled(ordered, *effects, {Kind::dropShadow, Kind::outerGlow});
    ordered.push_back(nullptr);
    if (!layer.blendingOptions()->shouldBlendInteriorEffectsAsGroup())
        for (const auto& effect : QFInteriorEffectsForLayer(layer))
            ordered.push_back(effect);
    appendEnabled(ordered, *effects, {Kind::innerShadow});
    // The first stroke lies on top: each is put into its band over the
    // ones stored after it, so a lower stroke shows only where those above
    // it do not reach.
    const auto& strokes = effects->effectsOfKind(Kind::stroke);
    for (auto stroke = strokes.rbegin(); stroke != strokes.rend(); ++stroke)
        if ((*stroke)->isEnabled()) ordered.push_back(*stroke);
    appendEnabled(ordered, *effects, {Kind::bevelEmboss});
    return ordered;
}

std::vector<std::shared_ptr<const OMPSDEffect>> QFInteriorEffectsForLayer(const OMPSDLayer& layer) {
    std::vector<std::shared_ptr<const OMPSDEffect>> interior;
    auto effects = layer.effects();
    if (!effects || !effects->isEnabled()) return interior;
    appendEnabled(interior, *effects,
                  {Kind::patternOverlay, Kind::gradientOverlay, Kind::colorOverlay, Kind::satin,
                   Kind::innerGlow});
    return interior;
}

std::vector<std::shared_ptr<const OMPSDDropShadowEffect>> QFDropShadowsUnderLayers(
    const OMPSDLayer& layer) {
    std::vector<std::shared_ptr<const OMPSDDropShadowEffect>> shadows;
    auto effects = layer.effects();
    if (!effects || !effects->isEnabled()) return shadows;
    for (const auto& effect : effects->effectsOfKind(Kind::dropShadow)) {
        auto shadow = std::static_pointer_cast<const OMPSDDropShadowEffect>(effect);
        if (shadow->isEnabled() && !shadow->layerKnocksOutDropShadow()) shadows.push_back(shadow);
    }
    return shadows;
}
