#include "compositing/QFLayerContent.h"

#include "compositing/QFRenderNodeForLayers.h"
#include "compositing/content/QFContentBuilders.h"
#include "compositing/content/QFVectorMaskPaths.h"
#include "compositing/content/QFVectorStroke.h"
#include "compositing/providers/QFImageProvider.h"
#include "compositing/shared/QFInfiniteRect.h"
#include "psd/OMPSDDocument.h"
#include "rendergraph/blend/BNConvertToOpaqueNode.h"
#include "rendergraph/blend/BNIsolateOpacityNode.h"
#include "rendergraph/blurs/BNGaussianBlurNode.h"
#include "rendergraph/geometry/BNCompoundPathStrokeNode.h"
#include "rendergraph/images/BNConstantColorNode.h"
#include "rendergraph/images/BNImageNode.h"
#include "rendergraph/images/BNTransparentNode.h"
#include "rendergraph/masks/BNApplyMaskNode.h"
#include "rendergraph/masks/BNCrossfadeNode.h"
#include "rendergraph/masks/BNCrossfadeWithMaskNode.h"

namespace {

BNRenderNodePtr constantOpaqueMask() {
    return BNConstantColorNode::create({0, 0, 0, 1, 0}, BNChannelMaskOpacity);
}

// `input` masked by `mask` when both are there, else whichever is.
BNRenderNodePtr appliedMask(BNRenderNodePtr input, BNRenderNodePtr mask) {
    if (input && mask) return BNApplyMaskNode::create(std::move(input), std::move(mask));
    return input ? input : mask;
}

}  // namespace

BNRenderNodePtr QFImageNodeForChannels(const QFChannelReferenceList& references,
                                       QFTransparencyMode mode) {
    QFChannelReferenceList kept;
    std::vector<BNChannel> channels;
    bool keptTransparency = false;
    for (const auto& reference : references) {
        if (!reference) continue;
        int id = reference->identifier();
        if (id >= 0 && id <= 2) {
            kept.push_back(reference);
            channels.push_back(BNChannel(id));
        } else if (id == -1 && mode != QFTransparencyModeDropped) {
            kept.push_back(reference);
            channels.push_back(mode == QFTransparencyModeOpacity ? BNChannelOpacity
                                                                 : BNChannelFill);
            keptTransparency = true;
        }
    }
    // A grayscale document's layers have one colour plane, which stands for
    // red, green and blue alike.
    auto first = std::find(channels.begin(), channels.end(), BNChannelRed);
    auto isColour = [](BNChannel c) { return c >= BNChannelRed && c <= BNChannelBlue; };
    if (first != channels.end() && std::count_if(channels.begin(), channels.end(), isColour) == 1) {
        std::shared_ptr<const OMPSDChannelReference> gray = kept[first - channels.begin()];
        for (BNChannel channel : {BNChannelGreen, BNChannelBlue}) {
            kept.push_back(gray);
            channels.push_back(channel);
        }
    }
    BNRenderNodePtr node = BNImageNode::create(QFImageProvider::create(kept, channels));
    if (node && !keptTransparency) node = BNConvertToOpaqueNode::create(node);
    return node;
}

BNRenderNodePtr QFImageNodeForChannel(
    const std::shared_ptr<const OMPSDChannelReference>& reference) {
    if (!reference) return nullptr;
    return BNImageNode::create(QFImageProvider::create({reference}));
}

BNRenderNodePtr QFTransparencyNodeForChannels(const QFChannelReferenceList& references) {
    for (const auto& reference : references)
        if (reference && reference->identifier() == -1) return QFImageNodeForChannel(reference);
    return nullptr;
}

std::shared_ptr<const OMPSDSmartObjectSnapshot> QFSmartObjectSnapshotForLayer(
    const OMPSDLayer& layer) {
    auto instance = layer.smartObjectInstance();
    auto document = layer.document();
    if (!instance || !document) return nullptr;
    for (const auto& snapshot : document->smartObjectSnapshots())
        if (snapshot && snapshot->uniqueIdentifier() == instance->snapshotIdentifier())
            return snapshot;
    return nullptr;
}

BNRenderNodePtr QFContentNodeForLayer(const OMPSDLayer& layer, const BNRenderNodePtr& input) {
    if (QFContentBuilder builder = QFContentBuilderForLayer(layer)) return builder(layer, input);
    if (QFShapeVectorStroke(layer)) return input;

    bool transparencyShapes = layer.blendingOptions()->transparencyShapesLayer();
    BNRenderNodePtr node = QFImageNodeForChannels(
        layer.channelReferences(),
        transparencyShapes ? QFTransparencyModeDropped : QFTransparencyModeFill);

    // A smart object with a smart filter mask: the filtered pixels where the
    // mask is on, the unfiltered snapshot elsewhere.
    auto snapshot = QFSmartObjectSnapshotForLayer(layer);
    if (snapshot && snapshot->smartFilterMask()) {
        BNRenderNodePtr filterMask = QFImageNodeForChannel(snapshot->smartFilterMask());
        if (transparencyShapes) {
            node = BNConvertToOpaqueNode::create(BNCrossfadeWithMaskNode::create(
                QFImageNodeForChannels(snapshot->channelReferences(), QFTransparencyModeOpacity),
                QFImageNodeForChannels(layer.channelReferences(), QFTransparencyModeOpacity),
                filterMask));
        } else {
            node = BNCrossfadeWithMaskNode::create(
                QFImageNodeForChannels(snapshot->channelReferences(), QFTransparencyModeFill), node,
                filterMask);
        }
    }
    return node;
}

BNRenderNodePtr QFShapeNodeForLayer(const OMPSDLayer& layer) {
    const OMPSDBlendingOptions& options = *layer.blendingOptions();
    BNRenderNodePtr transparency;
    if (options.transparencyShapesLayer() && !QFContentBuilderForLayer(layer) &&
        !QFShapeVectorStroke(layer) && !layer.isGroup()) {
        transparency = QFTransparencyNodeForChannels(layer.channelReferences());
        auto snapshot = QFSmartObjectSnapshotForLayer(layer);
        if (transparency && snapshot && snapshot->smartFilterMask())
            transparency = BNCrossfadeWithMaskNode::create(
                QFTransparencyNodeForChannels(snapshot->channelReferences()), transparency,
                QFImageNodeForChannel(snapshot->smartFilterMask()));
    }
    BNRenderNodePtr user =
        options.layerMaskHidesEffects() ? constantOpaqueMask() : QFLayerMaskNode(layer);
    BNRenderNodePtr vector =
        options.vectorMaskHidesEffects() ? constantOpaqueMask() : QFVectorMaskNode(layer);
    BNRenderNodePtr shape = appliedMask(transparency, appliedMask(user, vector));
    return shape ? shape : constantOpaqueMask();
}

BNRenderNodePtr QFMaskNodeForLayer(const OMPSDLayer& layer, bool groupAsLayer) {
    const OMPSDBlendingOptions& options = *layer.blendingOptions();
    bool bothMasks = layer.isGroup() && !groupAsLayer;
    BNRenderNodePtr user =
        bothMasks || options.layerMaskHidesEffects() ? QFLayerMaskNode(layer) : nullptr;
    BNRenderNodePtr vector =
        bothMasks || options.vectorMaskHidesEffects() ? QFVectorMaskNode(layer) : nullptr;
    return appliedMask(user, vector);
}

bool QFIsConstantShape(const BNRenderNodePtr& shape) {
    return dynamic_cast<const BNConstantColorNode*>(shape.get()) != nullptr;
}

BNRenderNodePtr QFLayerMaskNode(const OMPSDLayer& layer) {
    std::shared_ptr<const OMPSDChannelReference> reference;
    double background = 0;
    if (auto real = layer.channelReferenceForIdentifier(-3)) {
        if (!layer.realMaskIsEnabled()) return nullptr;
        reference = real;
        background = layer.realMaskBackgroundColor();
    } else if (!layer.maskIsPrerenderedVectorMask()) {
        reference = layer.channelReferenceForIdentifier(-2);
        if (!reference || !layer.maskIsEnabled()) return nullptr;
        background = layer.maskBackgroundColor();
    } else {
        return nullptr;
    }
    BNRenderNodePtr node = BNImageNode::create(
        QFImageProvider::create({reference}, std::vector<BNChannel>{BNChannelOpacity},
                                std::vector<float>{static_cast<float>(background)}));
    return QFApplyMaskFeatherAndDensity(node, layer.maskDensity(), layer.maskFeatherAmount());
}

BNRenderNodePtr QFVectorMaskNode(const OMPSDLayer& layer) {
    auto mask = layer.vectorMask();
    if (!mask || !layer.vectorMaskIsEnabled()) return nullptr;
    auto stroke = QFShapeVectorStroke(layer);
    bool strokeOn = stroke && stroke->strokeEnabled();
    bool fillOn = stroke ? stroke->fillEnabled() : true;

    BNRenderNodePtr node;
    if (!strokeOn) {
        node = QFFilledVectorMaskNode(layer, *mask, layer.vectorMaskIsAlignedToPixels());
    } else {
        VKStrokeStyle style = QFStrokeStyleForVectorStroke(*stroke);
        if (style.position() == VKStrokePositionInside && fillOn) {
            node = QFFilledVectorMaskNode(layer, *mask, layer.vectorMaskIsAlignedToPixels());
        } else if (auto path = QFSimplifiedCompoundPathForLayer(layer)) {
            node = BNCompoundPathStrokeNode::create(QFStrokeReadyCompoundPath(*path, *stroke),
                                                    style, fillOn, false);
        }
    }
    if (!node) return BNTransparentNode::create(QFInfiniteRect, BNChannelMaskOpacity);
    return QFApplyMaskFeatherAndDensity(node, layer.vectorMaskDensity(),
                                        layer.vectorMaskFeatherAmount());
}

BNRenderNodePtr QFApplyMaskFeatherAndDensity(BNRenderNodePtr mask, double density, double feather) {
    if (mask && feather != 0) mask = BNGaussianBlurNode::create(mask, feather);
    if (mask && density < 1.0) mask = BNCrossfadeNode::create(constantOpaqueMask(), mask, density);
    return mask;
}

BNRenderNodePtr QFIsolatedNodeForSublayers(const QFLayerList& layers) {
    return BNIsolateOpacityNode::create(QFRenderNodeForLayers(layers));
}

BNRenderNodePtr QFGroupShapeNode(const OMPSDLayer& group, const BNRenderNodePtr& coverage) {
    BNRenderNodePtr masks = QFShapeNodeForLayer(group);
    if (!coverage || QFIsConstantShape(masks)) return coverage;
    return BNApplyMaskNode::create(coverage, masks);
}
