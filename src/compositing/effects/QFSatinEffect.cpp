// Satin: the layer's blurred and contoured shape, moved both ways along
// its angle; where the two copies differ the satin shows (inverted, where
// they agree).
#include "compositing/effects/QFEffectFunctions.h"
#include "compositing/effects/QFEffectKinds.h"
#include "rendergraph/blend/BNInvertAlphaNode.h"
#include "rendergraph/blurs/BNTentBlurNode.h"
#include "rendergraph/masks/BNDifferenceMaskNode.h"

BNRenderNodePtr QFBlendSatin(const OMPSDSatinEffect& effect, const BNRenderNodePtr& shape,
                             const BNRenderNodePtr& background, const OMPSDLayer& layer,
                             const BNRenderNodePtr& factorMask) {
    double blur = QFShortenedBlurSize(effect.size());
    bool contoured = !QFIsIdentityContour(effect.contour(), 0, 1);
    BNRenderNodePtr blurred = shape;
    if (blur > 0) blurred = BNTentBlurNode::create(shape, blur, BNChannelMaskOpacity, contoured);
    BNRenderNodePtr contour = QFContourMappingNodeForContour(blurred, effect.contour());
    // Along the satin's own angle; it never follows the global light.
    VKPoint move = QFLightOffset(effect.angle(), false, effect.distance(), layer);
    BNRenderNodePtr coverage = BNDifferenceMaskNode::create(
        QFNodeMovedBy(contour, move), QFNodeMovedBy(contour, VKPointMake(-move.x, -move.y)));
    if (effect.isInverted()) coverage = BNInvertAlphaNode::create(coverage);
    return QFBlendEffectCoverage(background, coverage, effect.color(), effect.blendMode(),
                                 effect.opacity(), factorMask);
}
