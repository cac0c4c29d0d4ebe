// Bevel and emboss: the layer's shape as a relief. A height field made
// from the shape (softened, or ramped by the distance from its edge),
// reshaped by the shape contour and roughened by a texture, is lit from the
// light's direction and altitude, passed through the gloss contour and
// softened; where it faces the light more than a flat surface does it is
// painted in the highlight, where less in the shadow.
#include "compositing/effects/QFEffectFunctions.h"
#include "compositing/effects/QFEffectKinds.h"
#include "compositing/fills/QFFillRendering.h"
#include "rendergraph/adjustments/BNShadeNode.h"
#include "rendergraph/blend/BNInvertAlphaNode.h"
#include "rendergraph/blend/BNScaleBiasNode.h"
#include "rendergraph/blurs/BNTentBlurNode.h"
#include "rendergraph/gradients/BNDistanceTransformNode.h"
#include "rendergraph/images/BNApplyTextureNode.h"
#include "rendergraph/images/BNPatternNode.h"
#include "rendergraph/masks/BNLimitToMaskNode.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int kPillowEmboss = 3;
// A flat surface lit at altitude a shades to sin(a) on a scale that ends
// at 255.9 / 255, just above 1.
constexpr double kFlatShadeScale = 1.003529411764706;

// The relief's size in pixels: an emboss (and a stroke emboss on a
// centred stroke) rises over half its size on either side of the edge.
double reliefSize(const OMPSDBevelEmbossEffect& effect, const OMPSDLayer& layer) {
    double size = effect.size();
    if (effect.style() == 2 || effect.style() == 3) return std::ceil(size * 0.5);
    if (QFIsStrokeEmboss(effect)) {
        auto effects = layer.effects();
        auto stroke = effects ? effects->stroke() : nullptr;
        if (stroke && stroke->position() == OMPSDStrokeEffectPositionCentered)
            return std::ceil(size * 0.5);
    }
    return size;
}

// The input range of the shape contour, by where the relief lies.
std::pair<double, double> shapeContourRange(const OMPSDBevelEmbossEffect& effect,
                                            const OMPSDLayer& layer) {
    double range = std::max(effect.shapeInputRange(), 1.0 / 4096);
    switch (effect.style()) {
        case 0:
            return {0, range};
        case 1:
            return {1 - range, 1};
        case 2:
        case 3:
            return {0, 1};
        default: {
            auto effects = layer.effects();
            auto stroke = effects ? effects->stroke() : nullptr;
            if (stroke && stroke->position() == OMPSDStrokeEffectPositionCentered)
                return {1 - range, 1};
            return {0, range};
        }
    }
}

// The texture's pattern repeated over the plane, or null when the
// document lacks it.
BNRenderNodePtr textureNode(const OMPSDBevelEmbossEffect& effect, const OMPSDLayer& layer) {
    auto reference = effect.texturePattern();
    auto pattern = QFPatternForIdentifier(layer, reference ? reference->identifier() : "");
    auto provider = pattern ? QFImageProviderForPattern(*pattern) : nullptr;
    if (!provider) return nullptr;
    return BNPatternNode::create(std::move(provider), effect.textureScale(),
                                 QFPatternPhase(effect.horizontalPhase(), effect.verticalPhase(),
                                                effect.isLinkedWithLayer(), layer));
}

// `content` with `color` blended where `coverage` is (limited to the
// shape's own relief when `limit` is set).
BNRenderNodePtr blendLight(const BNRenderNodePtr& content, BNRenderNodePtr coverage,
                           const BNRenderNodePtr& relief, bool limit, const OMPSDColor& color,
                           uint32_t blendKey, double opacity) {
    if (limit) coverage = BNLimitToMaskNode::create(coverage, relief, QFEffectLimitThreshold);
    return QFBlendEffectPaint(content, QFColorNodeWithMask(color, coverage), blendKey, opacity);
}

}  // namespace

BNRenderNodePtr QFBlendBevelEmboss(const OMPSDBevelEmbossEffect& effect,
                                   const BNRenderNodePtr& content, const BNRenderNodePtr& shape,
                                   const OMPSDLayer& layer, QFEffectClipping clipping) {
    // The height field.
    double size = reliefSize(effect, layer);
    float shadingSize = static_cast<float>(size);
    BNRenderNodePtr relief = shape;
    switch (effect.technique()) {
        case 0:
            if (size != 0) {
                double radius = shadingSize > 1 ? shadingSize - 1 : shadingSize;
                if (shadingSize <= 1) shadingSize += 1;
                relief = BNTentBlurNode::create(shape, radius, BNChannelMaskOpacity, true);
            }
            break;
        case 1:
        case 2:
            // Chisel soft starts the field symmetrically at the edge.
            relief = BNDistanceTransformNode::create(shape, VKStrokePositionCentered, size,
                                                     effect.technique() == 2
                                                         ? BNDistanceTechniqueSymmetric
                                                         : BNDistanceTechniqueEdgeAnchored);
            break;
    }
    BNRenderNodePtr height = relief;
    if (effect.isShapeContourEnabled()) {
        auto [minRange, maxRange] = shapeContourRange(effect, layer);
        height = QFContourMappingNodeForContour(height, effect.shapeContour(), minRange, maxRange);
    }

    // A pillow emboss lights its outside the other way round; direction
    // down turns every pass over. An inverted or textured relief is held
    // within the shape's own.
    bool invert = (clipping == QFEffectClippingExterior && effect.style() == kPillowEmboss) !=
                  (effect.direction() == 1);
    bool limit = invert;
    if (invert) height = BNInvertAlphaNode::create(height);
    if (effect.isTextureEnabled()) {
        limit = true;
        if (BNRenderNodePtr texture = textureNode(effect, layer)) {
            double amount = effect.textureAmount();
            if (effect.invertTexture()) amount = -amount;
            if (invert) amount = -amount;
            height = BNApplyTextureNode::create(height, texture, amount);
        }
    }

    // Shading, as the light falls on it (the angle is not corrected).
    double angle = effect.angle(), altitude = effect.altitude();
    if (effect.usesGlobalLight()) {
        QFGlobalLight light = QFGlobalLightForLayer(layer);
        angle = light.angle;
        altitude = light.altitude;
    }
    BNRenderNodePtr shade = QFContourMappingNodeForContour(
        BNShadeNode::create(height, angle, altitude, shadingSize, effect.depth()),
        effect.contour());
    if (effect.softness() != 0)
        shade = BNTentBlurNode::create(shade, QFShortenedBlurSize(effect.softness()),
                                       BNChannelMaskOpacity, true);

    // Above the shade of a flat surface the highlight, below it the shadow
    // over it.
    double flatShade = std::sin(altitude * std::numbers::pi / 180) * kFlatShadeScale;
    BNRenderNodePtr result = content;
    if (flatShade < 1 && effect.highlightOpacity() != 0)
        result = blendLight(
            result, BNScaleBiasNode::create(shade, 1 / (1 - flatShade), -flatShade, true, true),
            relief, limit, effect.highlightColor(), effect.highlightBlendMode(),
            effect.highlightOpacity());
    if (flatShade > 0 && effect.shadowOpacity() != 0)
        result = blendLight(result, BNScaleBiasNode::create(shade, -1 / flatShade, 1, true), relief,
                            limit, effect.shadowColor(), effect.shadowBlendMode(),
                            effect.shadowOpacity());
    return result;
}
