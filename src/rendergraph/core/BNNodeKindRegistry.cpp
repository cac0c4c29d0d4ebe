#include "rendergraph/core/BNNodeKindRegistry.h"

#include "platform/core/Log.h"
#include "rendergraph/adjustments/BNColorizeNode.h"
#include "rendergraph/adjustments/BNContourMappingNode.h"
#include "rendergraph/adjustments/BNHueSaturationAdjustmentNode.h"
#include "rendergraph/adjustments/BNSelectiveColorNode.h"
#include "rendergraph/adjustments/BNShadeNode.h"
#include "rendergraph/adjustments/BNVibranceAdjustmentNode.h"
#include "rendergraph/blend/BNBlendNode.h"
#include "rendergraph/blend/BNConvertOpacityToFillNode.h"
#include "rendergraph/blend/BNConvertToOpaqueNode.h"
#include "rendergraph/blend/BNInvertAlphaNode.h"
#include "rendergraph/blend/BNIsolateOpacityNode.h"
#include "rendergraph/blend/BNOverrideAlphaNode.h"
#include "rendergraph/blend/BNRestrictedBlendingNode.h"
#include "rendergraph/blend/BNScaleBiasNode.h"
#include "rendergraph/blurs/BNGaussianBlurNode.h"
#include "rendergraph/blurs/BNTentBlurNode.h"
#include "rendergraph/core/BNSimpleScaleNode.h"
#include "rendergraph/geometry/BNCompoundPathNode.h"
#include "rendergraph/geometry/BNCompoundPathStrokeNode.h"
#include "rendergraph/geometry/BNTranslateNode.h"
#include "rendergraph/gradients/BNAngularGradientNode.h"
#include "rendergraph/gradients/BNBitmapStrokeNode.h"
#include "rendergraph/gradients/BNDiamondGradientNode.h"
#include "rendergraph/gradients/BNDistanceTransformNode.h"
#include "rendergraph/gradients/BNGradientMappingNode.h"
#include "rendergraph/gradients/BNLinearGradientNode.h"
#include "rendergraph/gradients/BNRadialGradientNode.h"
#include "rendergraph/gradients/BNReflectedGradientNode.h"
#include "rendergraph/gradients/BNShapeBurstGradientNode.h"
#include "rendergraph/images/BNApplyNoiseNode.h"
#include "rendergraph/images/BNApplyTextureNode.h"
#include "rendergraph/images/BNConstantColorNode.h"
#include "rendergraph/images/BNImageNode.h"
#include "rendergraph/images/BNPatternNode.h"
#include "rendergraph/images/BNTransparentNode.h"
#include "rendergraph/masks/BNApplyMaskNode.h"
#include "rendergraph/masks/BNBlendingRangesMaskNode.h"
#include "rendergraph/masks/BNColorWithMaskNode.h"
#include "rendergraph/masks/BNCrossfadeNode.h"
#include "rendergraph/masks/BNCrossfadeWithMaskNode.h"
#include "rendergraph/masks/BNDifferenceMaskNode.h"
#include "rendergraph/masks/BNDivideMaskNode.h"
#include "rendergraph/masks/BNEffectMaskHackNode.h"
#include "rendergraph/masks/BNLimitToMaskNode.h"
#include "rendergraph/masks/BNUnmixWithMaskNode.h"

const BNNodeKindRegistry& BNNodeKindRegistry::renderGraph() {
    // A new node class is entered here; a test compares this list with the
    // node classes of the sources.
    static const BNNodeKindRegistry registry({
        BN_NODE_KIND(BNAngularGradientNode),
        BN_NODE_KIND(BNApplyMaskNode),
        BN_NODE_KIND(BNApplyNoiseNode),
        BN_NODE_KIND(BNApplyTextureNode),
        BN_NODE_KIND(BNBitmapStrokeNode),
        BN_NODE_KIND(BNBlendNode),
        BN_NODE_KIND(BNBlendingRangesMaskNode),
        BN_NODE_KIND(BNColorWithMaskNode),
        BN_NODE_KIND(BNColorizeNode),
        BN_NODE_KIND(BNCompoundPathNode),
        BN_NODE_KIND(BNCompoundPathStrokeNode),
        BN_NODE_KIND(BNConstantColorNode),
        BN_NODE_KIND(BNContourMappingNode),
        BN_NODE_KIND(BNConvertOpacityToFillNode),
        BN_NODE_KIND(BNConvertToOpaqueNode),
        BN_NODE_KIND(BNCrossfadeNode),
        BN_NODE_KIND(BNCrossfadeWithMaskNode),
        BN_NODE_KIND(BNDiamondGradientNode),
        BN_NODE_KIND(BNDifferenceMaskNode),
        BN_NODE_KIND(BNDistanceTransformNode),
        BN_NODE_KIND(BNDivideMaskNode),
        BN_NODE_KIND(BNEffectMaskHackNode),
        BN_NODE_KIND(BNGaussianBlurNode),
        BN_NODE_KIND(BNGradientMappingNode),
        BN_NODE_KIND(BNHueSaturationAdjustmentNode),
        BN_NODE_KIND(BNImageNode),
        BN_NODE_KIND(BNInvertAlphaNode),
        BN_NODE_KIND(BNIsolateOpacityNode),
        BN_NODE_KIND(BNLimitToMaskNode),
        BN_NODE_KIND(BNLinearGradientNode),
        BN_NODE_KIND(BNOverrideAlphaNode),
        BN_NODE_KIND(BNPatternNode),
        BN_NODE_KIND(BNRadialGradientNode),
        BN_NODE_KIND(BNReflectedGradientNode),
        BN_NODE_KIND(BNRestrictedBlendingNode),
        BN_NODE_KIND(BNScaleBiasNode),
        BN_NODE_KIND(BNSelectiveColorNode),
        BN_NODE_KIND(BNShadeNode),
        BN_NODE_KIND(BNShapeBurstGradientNode),
        BN_NODE_KIND(BNSimpleScaleNode),
        BN_NODE_KIND(BNTentBlurNode),
        BN_NODE_KIND(BNTranslateNode),
        BN_NODE_KIND(BNTransparentNode),
        BN_NODE_KIND(BNUnmixWithMaskNode),
        BN_NODE_KIND(BNVibranceAdjustmentNode),
    });
    return registry;
}

std::vector<BNNodeKind> BNNodeKindRegistry::subclasses() const {
    std::vector<BNNodeKind> found;
    for (const BNNodeKind& kind : kinds_)
        if (kind.name.starts_with("BN")) found.push_back(kind);
    return found;
}

void BNNodeKindRegistry::searchForUnimplementedHashMethods() const {
    for (const BNNodeKind& kind : subclasses())
        if (!kind.hasOwnIdentity)
            lf::log("*** -[{} updateHashContext:] not implemented!", kind.name);
}

std::vector<BNNodeKind> BNRenderNode::subclasses() {
    return BNNodeKindRegistry::renderGraph().subclasses();
}

void BNRenderNode::searchForUnimplementedHashMethods() {
    BNNodeKindRegistry::renderGraph().searchForUnimplementedHashMethods();
}
