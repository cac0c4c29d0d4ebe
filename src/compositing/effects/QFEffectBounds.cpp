// How far each effect paints beyond its layer's shape: the same measures
// (choke, blur and its shortening, offsets, stroke widths) as the nodes
// that draw it, so that the rectangle holds what they draw.
#include "compositing/effects/QFEffectFunctions.h"
#include "compositing/effects/QFEffectRendering.h"

#include <algorithm>
#include <cmath>

namespace {

using Kind = OMPSDEffect::Kind;

// An effect of a damaged document whose measures are not finite may paint
// anywhere.
VKRect grown(VKRect rect, double amount) {
    if (!(amount > 0)) return rect;
    if (!std::isfinite(amount)) return VKRectInfinite;
    return VKRectInset(rect, -amount, -amount);
}

// The spread's choke, then what is left of the size as the blur (the
// softer blur shortened).
VKRect grownBySpreadAndBlur(VKRect rect, double size, double spread, bool shortened) {
    double choke = QFEffectChoke(size, spread);
    if (choke > 0) {
        rect = grown(rect, choke);
        size -= choke;
    }
    return grown(rect, shortened ? QFShortenedBlurSize(size) : size);
}

VKRect dropShadowBounds(const OMPSDDropShadowEffect& effect, VKRect rect, const OMPSDLayer& layer) {
    rect = grownBySpreadAndBlur(rect, effect.size(), effect.spread(), true);
    if (effect.distance() != 0) {
        VKPoint offset =
            QFLightOffset(effect.angle(), effect.usesGlobalLight(), effect.distance(), layer);
        if (!std::isfinite(offset.x) || !std::isfinite(offset.y)) return VKRectInfinite;
        rect.origin.x += offset.x;
        rect.origin.y += offset.y;
    }
    return rect;
}

VKRect strokeBounds(const OMPSDStrokeEffect& effect, VKRect rect) {
    switch (effect.position()) {
        case OMPSDStrokeEffectPositionInside:
            return rect;
        case OMPSDStrokeEffectPositionCentered:
            return grown(rect, effect.size() * 0.5);
        default:
            return grown(rect, effect.size());
    }
}

VKRect bevelBounds(const OMPSDBevelEmbossEffect& effect, VKRect rect) {
    int style = effect.style();
    // An inner bevel and a stroke emboss stay within the shape and its
    // stroke.
    if (style == 1 || QFIsStrokeEmboss(effect)) return rect;
    double size = effect.size();
    if (style == 2 || style == 3) size = std::ceil(size * 0.5);
    // How far the relief reaches beyond the edge: the smooth technique's
    // blur, or the chisels' distance ramp, which ends one pixel beyond the
    // size (two at the least). Shading reads one more pixel around each,
    // where the relief's slope begins.
    double relief = 0;
    if (size != 0 && effect.technique() == 0) relief = QFShortenedBlurSize(size);
    if (effect.technique() == 1 || effect.technique() == 2) relief = std::max(size, 1.0) + 1;
    rect = grown(rect, relief + 1);
    if (effect.softness() != 0) rect = grown(rect, QFShortenedBlurSize(effect.softness()));
    return rect;
}

}  // namespace

VKRect boundsWithLayerShapeBounds(const OMPSDEffect& effect, VKRect shapeBounds,
                                  const OMPSDLayer& layer) {
    if (VKRectIsNull(shapeBounds) || VKRectIsInfinite(shapeBounds)) return shapeBounds;
    switch (effect.kind()) {
        case Kind::dropShadow:
            return dropShadowBounds(static_cast<const OMPSDDropShadowEffect&>(effect), shapeBounds,
                                    layer);
        case Kind::outerGlow: {
            const auto& glow = static_cast<const OMPSDOuterGlowEffect&>(effect);
            // The precise glow's distance ramp takes the whole size.
            return grownBySpreadAndBlur(shapeBounds, glow.size(), glow.spread(),
                                        glow.technique() == 0);
        }
        case Kind::stroke:
            return strokeBounds(static_cast<const OMPSDStrokeEffect&>(effect), shapeBounds);
        case Kind::bevelEmboss:
            return bevelBounds(static_cast<const OMPSDBevelEmbossEffect&>(effect), shapeBounds);
        default:
            return shapeBounds;
    }
}
