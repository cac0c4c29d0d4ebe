// Outer and inner glow: the layer's shape (for the inner glow, its
// outside) spread and softened, squeezed by the range and mapped through
// the contour; painted in one colour, or looked up in a gradient.
#include "compositing/effects/QFEffectFunctions.h"
#include "compositing/effects/QFEffectKinds.h"
#include "compositing/providers/QFGradientProvider.h"
#include "rendergraph/blend/BNInvertAlphaNode.h"
#include "rendergraph/blend/BNScaleBiasNode.h"
#include "rendergraph/blurs/BNTentBlurNode.h"
#include "rendergraph/gradients/BNDistanceTransformNode.h"
#include "rendergraph/gradients/BNGradientMappingNode.h"
#include "rendergraph/images/BNApplyNoiseNode.h"
#include "rendergraph/masks/BNApplyMaskNode.h"
#include "rendergraph/masks/BNDivideMaskNode.h"
#include "rendergraph/masks/BNLimitToMaskNode.h"

namespace {

// A gradient glow is fully covered from a contoured value of 1/80 up: its
// alpha is the gradient's own opacity, and only its faintest edge fades.
constexpr double kGradientCoverageScale = 80;

// `source` grown by the spread's choke, then softened over the rest of the
// size: blurred (softer) or ramped by its distance from the edge (precise).
BNRenderNodePtr spreadGlow(const BNRenderNodePtr& source, const OMPSDGlowEffect& effect) {
    QFSpreadShape spread = QFSpreadShapeForEffect(source, effect.size(), effect.spread());
    if (spread.size <= 0) return spread.node;
    if (effect.technique() == 0)
        return BNTentBlurNode::create(spread.node, QFShortenedBlurSize(spread.size),
                                      BNChannelMaskOpacity, true);
    return BNInvertAlphaNode::create(BNDistanceTransformNode::create(
        BNInvertAlphaNode::create(spread.node), VKStrokePositionCentered, spread.size,
        BNDistanceTechniqueEdgeAnchored));
}

// `node` squeezed onto the glow's input range: values from the range up
// are full.
BNRenderNodePtr rangeScaled(const BNRenderNodePtr& node, double range) {
    if (range == 1) return node;
    return BNScaleBiasNode::create(node, range > 0.01 ? 1 / range : 100, 0, true);
}

// Where a glow of `glow`'s strength lies along the glow's colours: the
// strength squeezed onto the input range, then mapped through the contour.
BNRenderNodePtr glowPosition(const BNRenderNodePtr& glow, const OMPSDGlowEffect& effect) {
    return QFContourMappingNodeForContour(rangeScaled(glow, effect.range()), effect.contour());
}

// The gradient looked up at `position`, 0 picking its far end (the table is
// reversed); divided by the factor mask when there is one.
BNRenderNodePtr gradientLookup(BNRenderNodePtr position, const OMPSDGlowEffect& effect,
                               const BNRenderNodePtr& factorMask) {
    if (effect.jitter() != 0) position = BNApplyNoiseNode::create(position, effect.jitter());
    if (factorMask) position = BNDivideMaskNode::create(position, factorMask);
    return BNGradientMappingNode::create(
        position, std::make_shared<QFGradientProvider>(effect.gradient(), true), false);
}

}  // namespace

BNRenderNodePtr QFBlendOuterGlow(const OMPSDOuterGlowEffect& effect, const BNRenderNodePtr& shape,
                                 const BNRenderNodePtr& background,
                                 const BNRenderNodePtr& factorMask) {
    BNRenderNodePtr glow = spreadGlow(shape, effect);
    if (!effect.gradient()) {
        BNRenderNodePtr coverage = glowPosition(glow, effect);
        if (effect.noise() != 0)
            coverage = BNLimitToMaskNode::create(BNApplyNoiseNode::create(coverage, effect.noise()),
                                                 glow, QFEffectLimitThreshold);
        return QFBlendEffectCoverage(background, coverage, effect.color(), effect.blendMode(),
                                     effect.opacity(), factorMask);
    }
    // The coverage follows the contoured strength over the whole size; the
    // colours follow it within the range.
    BNRenderNodePtr coverage = BNScaleBiasNode::create(
        QFContourMappingNodeForContour(glow, effect.contour()), kGradientCoverageScale, 0, true);
    if (effect.jitter() != 0)
        coverage = BNLimitToMaskNode::create(coverage, glow, QFEffectLimitThreshold);
    double opacity = effect.opacity();
    coverage = QFCoverageWithinFactorMask(coverage, factorMask, opacity);
    BNRenderNodePtr painted = QFOpacityAsFillNode(BNApplyMaskNode::create(
        gradientLookup(glowPosition(glow, effect), effect, factorMask), coverage));
    return QFBlendEffectPaint(background, painted, effect.blendMode(), opacity);
}

BNRenderNodePtr QFBlendInnerGlow(const OMPSDInnerGlowEffect& effect, const BNRenderNodePtr& shape,
                                 const BNRenderNodePtr& background,
                                 const BNRenderNodePtr& factorMask) {
    BNRenderNodePtr value =
        glowPosition(spreadGlow(BNInvertAlphaNode::create(shape), effect), effect);
    // From the centre the glow grows where the edge glow fades.
    if (effect.source() == 0) value = BNInvertAlphaNode::create(value);
    if (!effect.gradient()) {
        if (effect.noise() != 0) value = BNApplyNoiseNode::create(value, effect.noise());
        return QFBlendEffectCoverage(background, value, effect.color(), effect.blendMode(),
                                     effect.opacity(), factorMask);
    }
    // The gradient carries its own coverage. With a factor mask that
    // coverage is divided by it and takes the effect's opacity, as the
    // outer glow's does, so the glow keeps its strength inside a group.
    BNRenderNodePtr painted = gradientLookup(value, effect, factorMask);
    if (effect.noise() != 0)
        painted = BNApplyNoiseNode::create(painted, effect.noise(), BNChannelMaskOpacity);
    double opacity = effect.opacity();
    painted = QFCoverageWithinFactorMask(painted, factorMask, opacity);
    return QFBlendEffectPaint(background, painted, effect.blendMode(), opacity);
}
