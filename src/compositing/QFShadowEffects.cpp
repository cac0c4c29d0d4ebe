// Drop and inner shadow: the layer's shape (for the inner shadow, its
// outside) choked by the spread, blurred, moved away from the light and
// mapped through the contour, then painted in the shadow's colour.
#include "compositing/QFEffectFunctions.h"
#include "compositing/QFEffectKinds.h"
#include "rendergraph/BNApplyNoiseNode.h"
#include "rendergraph/BNBitmapStrokeNode.h"
#include "rendergraph/BNInvertAlphaNode.h"
#include "rendergraph/BNLimitToMaskNode.h"
#include "rendergraph/BNTentBlurNode.h"

namespace {

// Below this share of the blurred shape's coverage, noise and contours
// may not raise a shadow above it: they would otherwise light up the
// shadow's faint far edge.
constexpr double kLimitThreshold = 0.125;

// `shape` grown by the spread's choke, and the blur that is left of the
// size (shortened).
struct Choked {
    BNRenderNodePtr node;
    double blur;
};
Choked choked(const BNRenderNodePtr& shape, double size, double spread) {
    double choke = QFEffectChoke(size, spread);
    if (choke <= 0) return {shape, QFShortenedBlurSize(size)};
    return {BNBitmapStrokeNode::create(shape, 2, choke), QFShortenedBlurSize(size - choke)};
}

}  // namespace

BNRenderNodePtr QFBlendDropShadow(const OMPSDDropShadowEffect& effect, const BNRenderNodePtr& shape,
                                  const BNRenderNodePtr& background, const OMPSDLayer& layer,
                                  const BNRenderNodePtr& factorMask) {
    Choked spread = choked(shape, effect.size(), effect.spread());
    BNRenderNodePtr blurred =
        BNTentBlurNode::create(spread.node, spread.blur, BNChannelMaskOpacity, true);
    if (effect.distance() != 0)
        blurred = QFNodeMovedBy(blurred, QFLightOffset(effect.angle(), effect.usesGlobalLight(),
                                                       effect.distance(), layer));
    bool contoured = !QFIsIdentityContour(effect.contour(), 0, 1);
    BNRenderNodePtr coverage = QFContourMappingNodeForContour(blurred, effect.contour());
    if (effect.noise() != 0) coverage = BNApplyNoiseNode::create(coverage, effect.noise());
    if (effect.noise() != 0 || contoured)
        coverage = BNLimitToMaskNode::create(coverage, blurred, kLimitThreshold);
    return QFBlendEffectCoverage(background, coverage, effect.color(), effect.blendMode(),
                                 effect.opacity(), factorMask);
}

BNRenderNodePtr QFBlendInnerShadow(const OMPSDInnerShadowEffect& effect,
                                   const BNRenderNodePtr& shape, const BNRenderNodePtr& background,
                                   const OMPSDLayer& layer, const BNRenderNodePtr& factorMask) {
    Choked spread = choked(BNInvertAlphaNode::create(shape), effect.size(), effect.spread());
    bool contoured = !QFIsIdentityContour(effect.contour(), 0, 1);
    BNRenderNodePtr coverage = QFContourMappingNodeForContour(
        BNTentBlurNode::create(spread.node, spread.blur, BNChannelMaskOpacity, contoured),
        effect.contour());
    if (effect.distance() != 0)
        coverage = QFNodeMovedBy(coverage, QFLightOffset(effect.angle(), effect.usesGlobalLight(),
                                                         effect.distance(), layer));
    if (effect.noise() != 0) coverage = BNApplyNoiseNode::create(coverage, effect.noise());
    return QFBlendEffectCoverage(background, coverage, effect.color(), effect.blendMode(),
                                 effect.opacity(), factorMask);
}
