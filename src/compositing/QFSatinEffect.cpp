// Satin: the layer's blurred and contoured shape, moved both ways along
// its angle; where the two copies differ the satin shows (inverted, where
// they agree).
#include "compositing/QFCorrectedLightAngle.h"
#include "compositing/QFEffectFunctions.h"
#include "compositing/QFEffectKinds.h"
#include "rendergraph/BNDifferenceMaskNode.h"
#include "rendergraph/BNInvertAlphaNode.h"
#include "rendergraph/BNTentBlurNode.h"

#include <cmath>
#include <numbers>

BNRenderNodePtr QFBlendSatin(const OMPSDSatinEffect& effect, const BNRenderNodePtr& shape,
                             const BNRenderNodePtr& background, const BNRenderNodePtr& factorMask) {
    double blur = QFShortenedBlurSize(effect.size());
    bool contoured = !QFIsIdentityContour(effect.contour(), 0, 1);
    BNRenderNodePtr blurred = shape;
    if (blur > 0) blurred = BNTentBlurNode::create(shape, blur, BNChannelMaskOpacity, contoured);
    BNRenderNodePtr contour = QFContourMappingNodeForContour(blurred, effect.contour());
    // The satin's own angle; it never follows the global light.
    double radians = QFCorrectedLightAngle(effect.angle()) * std::numbers::pi / 180;
    VKPoint offset = VKPointMake(std::round(std::cos(radians) * effect.distance()),
                                 -std::round(std::sin(radians) * effect.distance()));
    BNRenderNodePtr coverage = BNDifferenceMaskNode::create(
        QFNodeMovedBy(contour, offset), QFNodeMovedBy(contour, VKPointMake(-offset.x, -offset.y)));
    if (effect.isInverted()) coverage = BNInvertAlphaNode::create(coverage);
    return QFBlendEffectCoverage(background, coverage, effect.color(), effect.blendMode(),
                                 effect.opacity(), factorMask);
}
