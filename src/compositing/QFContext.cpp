#include "compositing/QFContext.h"

#include "platform/Log.h"
#include "rendergraph/BNConvertOpacityToFillNode.h"
#include "rendergraph/BNTransparentNode.h"

QFContext::QFContext() {
    BNRenderNodePtr backdrop = BNTransparentNode::create(QFInfiniteRect, BNChannelMaskRGBA);
    groups_.push_back(std::make_unique<QFContextGroup>(backdrop, backdrop, 0));
}

void QFContext::beginTransparencyGroup(const OMPSDLayer&, const BNRenderNodePtr&, int options) {
    // (A pass-through group's drop shadow that the group does not knock out
    // would be drawn onto the new group's backdrop here; layer effects are
    // not drawn.)
    std::unique_ptr<QFContextGroup> group = currentGroup().beginSubgroup(options);
    pushed_.push_back(group != nullptr);
    if (!group) {
        lf::log("Failed to create new transparency group!");
        return;
    }
    groups_.push_back(std::move(group));
}

void QFContext::endTransparencyGroup(const std::shared_ptr<OMPSDLayer>& layer,
                                     const BNRenderNodePtr& shape,
                                     const QFLayerList& clippedLayers) {
    if (pushed_.empty()) return;
    bool pushed = pushed_.back();
    pushed_.pop_back();
    if (!pushed) return;  // the group's layers went to the enclosing group
    BNRenderNodePtr node = currentGroup().resultNode();
    int options = currentGroup().options();
    groups_.pop_back();
    if (!(options & QFContextGroupPassThroughOption))
        node = BNConvertOpacityToFillNode::create(node);
    if (!node) {
        lf::log("Group {} could not be composited; it is left out", QFLayerLogName(*layer));
        return;
    }
    if (shape) {
        QFLayerList layers{layer};
        layers.insert(layers.end(), clippedLayers.begin(), clippedLayers.end());
        blendLayers(layers, node, shape);
    } else {
        blendGroupNode(node, options);
    }
}
