#include "rendergraph/BNNodeKindRegistry.h"

#include "platform/Log.h"
#include "rendergraph/BNAngularGradientNode.h"
#include "rendergraph/BNApplyMaskNode.h"
#include "rendergraph/BNApplyNoiseNode.h"
#include "rendergraph/BNApplyTextureNode.h"
#include "rendergraph/BNBitmapStrokeNode.h"
#include "rendergraph/BNBlendNode.h"
#include "rendergraph/BNBlendingRangesMaskNode.h"
#include "rendergraph/BNColorWithMaskNode.h"
#include "rendergraph/BNColorizeNode.h"
#include "rendergraph/BNCompoundPathNode.h"
#include "rendergraph/BNCompoundPathStrokeNode.h"
#include "rendergraph/BNConstantColorNode.h"
#include "rendergraph/BNContourMappingNode.h"
#include "rendergraph/BNConvertOpacityToFillNode.h"
#include "rendergraph/BNConvertToOpaqueNode.h"
#include "rendergraph/BNCrossfadeNode.h"
#include "rendergraph/BNCrossfadeWithMaskNode.h"
#include "rendergraph/BNDiamondGradientNode.h"
#include "rendergraph/BNDifferenceMaskNode.h"
#include "rendergraph/BNDistanceTransformNode.h"
#include "rendergraph/BNDivideMaskNode.h"
#include "rendergraph/BNEffectMaskHackNode.h"
#include "rendergraph/BNGaussianBlurNode.h"
#include "rendergraph/BNGradientMappingNode.h"
#include "rendergraph/BNHueSaturationAdjustmentNode.h"
#include "rendergraph/BNImageNode.h"
#include "rendergraph/BNInvertAlphaNode.h"
#include "rendergraph/BNIsolateOpacityNode.h"
#include "rendergraph/BNLimitToMaskNode.h"
#include "rendergraph/BNLinearGradientNode.h"
#include "rendergraph/BNOverrideAlphaNode.h"
#include "rendergraph/BNPatternNode.h"
#include "rendergraph/BNRadialGradientNode.h"
#include "rendergraph/BNReflectedGradientNode.h"
#include "rendergraph/BNRestrictedBlendingNode.h"
#include "rendergraph/BNScaleBiasNode.h"
#include "rendergraph/BNSelectiveColorNode.h"
#include "rendergraph/BNShadeNode.h"
#include "rendergraph/BNShapeBurstGradientNode.h"
#include "rendergraph/BNSimpleScaleNode.h"
#include "rendergraph/BNTentBlurNode.h"
#include "rendergraph/BNTranslateNode.h"
#include "rendergraph/BNTransparentNode.h"
#include "rendergraph/BNUnmixWithMaskNode.h"
#include "rendergraph/BNVibranceAdjustmentNode.h"

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
