#include "compositing/effects/QFEffectFunctions.h"

#include "compositing/content/QFVectorMaskPaths.h"
#include "compositing/providers/QFPSDContourProvider.h"
#include "compositing/shared/QFBlendMode.h"
#include "psd/OMPSDDocument.h"
#include "rendergraph/adjustments/BNContourMappingNode.h"
#include "rendergraph/blend/BNBlendNode.h"
#include "rendergraph/blend/BNConvertOpacityToFillNode.h"
#include "rendergraph/blend/BNConvertToOpaqueNode.h"
#include "rendergraph/geometry/BNTranslateNode.h"
#include "rendergraph/gradients/BNBitmapStrokeNode.h"
#include "rendergraph/masks/BNColorWithMaskNode.h"
#include "rendergraph/masks/BNDivideMaskNode.h"

#include <cmath>
#include <numbers>

double QFEffectChoke(double size, double spread) {
    return std::round(size * spread / 100);
}

QFSpreadShape QFSpreadShapeForEffect(const BNRenderNodePtr& shape, double size, double spread) {
    double choke = QFEffectChoke(size, spread);
    if (choke <= 0) return {shape, size};
    return {BNBitmapStrokeNode::create(shape, VKStrokePositionOutside, choke), size - choke};
}

double QFShortenedBlurSize(double size) {
    return size > 1 ? size - 1 : size;
}

QFGlobalLight QFGlobalLightForLayer(const OMPSDLayer& layer) {
    auto document = layer.document();
    if (!document) return {30, 30};
    return {double(document->globalAngle()), double(document->globalAltitude())};
}

VKRect QFDocumentRectForLayer(const OMPSDLayer& layer) {
    VKSize size = QFDocumentSizeForLayer(layer);
    return VKRectMake(0, 0, size.width, size.height);
}

VKPoint QFLightOffset(double angle, bool usesGlobalLight, double distance,
                      const OMPSDLayer& layer) {
    if (usesGlobalLight) angle = QFGlobalLightForLayer(layer).angle;
    // Along the stored angle, uncorrected, in single precision: at 120
    // degrees and 5 pixels the cosine's share is -2.5000002, which rounds
    // to -3 as Photoshop places it (in double it is just above -2.5).
    const float radians = static_cast<float>(angle * std::numbers::pi / 180);
    const float length = static_cast<float>(distance);
    // The light shines from the angle; what it casts falls the other way.
    // Document y grows downwards.
    return VKPointMake(-std::round(std::cos(radians) * length),
                       std::round(std::sin(radians) * length));
}

BNRenderNodePtr QFNodeMovedBy(const BNRenderNodePtr& node, VKPoint offset) {
    // A translate node shows its input moved by minus its offset.
    return BNTranslateNode::create(node, VKPointMake(-offset.x, -offset.y));
}

bool QFIsIdentityContour(const std::shared_ptr<const OMPSDContour>& contour, double minRange,
                         double maxRange) {
    if (!contour) return true;
    if (minRange != 0 || maxRange != 1) return false;
    const auto& points = contour->points();
    return points.size() == 2 && points[0].horizontal() == 0 && points[0].vertical() == 0 &&
           points[1].horizontal() == 1 && points[1].vertical() == 1;
}

BNRenderNodePtr QFContourMappingNodeForContour(const BNRenderNodePtr& node,
                                               const std::shared_ptr<const OMPSDContour>& contour,
                                               double minRange, double maxRange) {
    if (!node || QFIsIdentityContour(contour, minRange, maxRange)) return node;
    return BNContourMappingNode::create(node, std::make_shared<QFPSDContourProvider>(*contour),
                                        minRange, maxRange);
}

BNRenderNodePtr QFColorNodeWithMask(const OMPSDColor& color, const BNRenderNodePtr& mask) {
    BNRenderNodePtr node = BNColorWithMaskNode::create(
        mask, {color.red(), color.green(), color.blue(), 0, 0}, BNChannelMaskRGB);
    if (node && (node->channels() & BNChannelMaskOpacity)) return QFOpacityAsFillNode(node);
    return node;
}

BNRenderNodePtr QFOpacityAsFillNode(const BNRenderNodePtr& node) {
    if (!node) return nullptr;
    BNRenderNodePtr opaque = node;
    if (!(node->channels() & BNChannelMaskOpacity)) opaque = BNConvertToOpaqueNode::create(node);
    return BNConvertOpacityToFillNode::create(opaque);
}

BNRenderNodePtr QFBlendEffectCoverage(const BNRenderNodePtr& background,
                                      const BNRenderNodePtr& coverage, const OMPSDColor& color,
                                      uint32_t blendKey, double opacity,
                                      const BNRenderNodePtr& factorMask) {
    BNRenderNodePtr shaped = QFCoverageWithinFactorMask(coverage, factorMask, opacity);
    return QFBlendEffectPaint(background, QFColorNodeWithMask(color, shaped), blendKey, opacity);
}

BNRenderNodePtr QFCoverageWithinFactorMask(const BNRenderNodePtr& coverage,
                                           const BNRenderNodePtr& factorMask, double& opacity) {
    if (!coverage || !factorMask) return coverage;
    double fill = opacity;
    opacity = 1;
    return BNDivideMaskNode::create(coverage, factorMask, fill);
}

BNRenderNodePtr QFBlendEffectPaint(const BNRenderNodePtr& background, const BNRenderNodePtr& paint,
                                   uint32_t blendKey, double fill) {
    BNRenderNodePtr blended =
        BNBlendNode::create(background, paint, QFBlendModeForPSDKey(blendKey), 1, fill);
    return blended ? blended : background;
}
