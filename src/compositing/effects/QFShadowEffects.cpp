// Drop and inner shadow: the layer's shape (for the inner shadow, its
// outside) choked by the spread, blurred, moved away from the light and
// mapped through the contour, then painted in the shadow's colour.
#include "compositing/effects/QFEffectFunctions.h"
#include "compositing/effects/QFEffectKinds.h"
#include "rendergraph/blend/BNInvertAlphaNode.h"
#include "rendergraph/blurs/BNTentBlurNode.h"
#include "rendergraph/images/BNApplyNoiseNode.h"
#include "rendergraph/masks/BNLimitToMaskNode.h"

BNRenderNodePtr QFBlendDropShadow(const OMPSDDropShadowEffect& effect, const BNRenderNodePtr& shape,
                                  const BNRenderNodePtr& background, const OMPSDLayer& layer,
                                  const BNRenderNodePtr& factorMask) {
    QFSpreadShape spread = QFSpreadShapeForEffect(shape, effect.size(), effect.spread());
    BNRenderNodePtr blurred = BNTentBlurNode::create(spread.node, QFShortenedBlurSize(spread.size),
                                                     BNChannelMaskOpacity, true);
    if (effect.distance() != 0)
        blurred = QFNodeMovedBy(blurred, QFLightOffset(effect.angle(), effect.usesGlobalLight(),
                                                       effect.distance(), layer));
    bool contoured = !QFIsIdentityContour(effect.contour(), 0, 1);
    BNRenderNodePtr coverage = QFContourMappingNodeForContour(blurred, effect.contour());
    if (effect.noise() != 0) coverage = BNApplyNoiseNode::create(coverage, effect.noise());
    if (effect.noise() != 0 || contoured)
        coverage = BNLimitToMaskNode::create(coverage, blurred, QFEffectLimitThreshold);
    return QFBlendEffectCoverage(background, coverage, effect.color(), effect.blendMode(),
                                 effect.opacity(), factorMask);
}

BNRenderNodePtr QFBlendInnerShadow(const OMPSDInnerShadowEffect& effect,
                                   const BNRenderNodePtr& shape, const BNRenderNodePtr& background,
                                   const OMPSDLayer& layer, const BNRenderNodePtr& factorMask) {
    QFSpreadShape spread =
        QFSpreadShapeForEffect(BNInvertAlphaNode::create(shape), effect.size(), effect.spread());
    bool contoured = !QFIsIdentityContour(effect.contour(), 0, 1);
    BNRenderNodePtr coverage = QFContourMappingNodeForContour(
        BNTentBlurNode::create(spread.node, QFShortenedBlurSize(spread.size), BNChannelMaskOpacity,
                               contoured),
        effect.contour());
    if (effect.distance() != 0)
        coverage = QFNodeMovedBy(coverage, QFLightOffset(effect.angle(), effect.usesGlobalLight(),
                                                         effect.distance(), layer));
    if (effect.noise() != 0) coverage = BNApplyNoiseNode::create(coverage, effect.noise());
    return QFBlendEffectCoverage(background, coverage, effect.color(), effect.blendMode(),
                                 effect.opacity(), factorMask);
}
