#include "compositing/QFContext.h"

#include "compositing/shared/QFInfiniteRect.h"
#include "platform/core/Log.h"
#include "rendergraph/blend/BNConvertOpacityToFillNode.h"
#include "rendergraph/images/BNTransparentNode.h"

QFContext::QFContext() {
    BNRenderNodePtr backdrop = BNTransparentNode::create(QFInfiniteRect, BNChannelMaskRGBA);
    groups_.push_back(
        std::make_unique<QFContextGroup>(backdrop, backdrop, QFContextGroupNoOptions));
}

void QFContext::beginTransparencyGroup(const OMPSDLayer& layer, const BNRenderNodePtr& shape,
                                       QFContextGroupOptions options) {
    std::unique_ptr<QFContextGroup> group = currentGroup().beginSubgroup(options);
    pushed_.push_back(group != nullptr);
    if (!group) {
        lf::log("Failed to create new transparency group!");
        return;
    }
    if (group->isPassThrough()) group->blendBackgroundForGroup(layer, shape);
    groups_.push_back(std::move(group));
}

void QFContext::endTransparencyGroup(const std::shared_ptr<OMPSDLayer>& layer, bool asLayer,
                                     const QFLayerList& clippedLayers,
                                     const QFGroupResults& clippedGroups) {
    if (pushed_.empty()) return;
    bool pushed = pushed_.back();
    pushed_.pop_back();
    if (!pushed) return;  // the group's layers went to the enclosing group
    BNRenderNodePtr node = currentGroup().resultNode();
    BNRenderNodePtr factorMask = currentGroup().currentState().factorMask();
    // What a pass-through group's layers were drawn onto.
    BNRenderNodePtr backdrop =
        currentGroup().isPassThrough() ? currentGroup().layersBackdrop() : nullptr;
    QFContextGroupOptions options = currentGroup().options();
    groups_.pop_back();
    bool passThrough = options & QFContextGroupPassThroughOption;
    if (asLayer) {
        QFLayerList layers{layer};
        layers.insert(layers.end(), clippedLayers.begin(), clippedLayers.end());
        currentGroup().blendGroupNodeAsLayer(layers, node, factorMask, backdrop, clippedGroups);
        return;
    }
    // An isolated group's opacity is carried as fill from here on.
    if (!passThrough) node = BNConvertOpacityToFillNode::create(node);
    if (!node) {
        lf::log("Group {} could not be composited; it is left out", QFLayerLogName(*layer));
        return;
    }
    blendGroupNode(node, options);
}
