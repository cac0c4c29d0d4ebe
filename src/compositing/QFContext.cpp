#include "compositing/QFContext.h"

#include "platform/Log.h"
#include "rendergraph/BNConvertOpacityToFillNode.h"
#include "rendergraph/BNTransparentNode.h"

QFContext::QFContext() {
    BNRenderNodePtr backdrop = BNTransparentNode::create(QFInfiniteRect, BNChannelMaskRGBA);
    groups_.push_back(std::make_unique<QFContextGroup>(backdrop, backdrop, 0));
}

void QFContext::beginTransparencyGroup(const OMPSDLayer&, int options) {
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

void QFContext::endTransparencyGroup(const std::shared_ptr<OMPSDLayer>& layer, bool asLayer,
                                     const QFLayerList& clippedLayers,
                                     const BNRenderNodePtr& coverage) {
    if (pushed_.empty()) return;
    bool pushed = pushed_.back();
    pushed_.pop_back();
    if (!pushed) return;  // the group's layers went to the enclosing group
    BNRenderNodePtr node = currentGroup().resultNode();
    int options = currentGroup().options();
    groups_.pop_back();
    bool passThrough = options & QFContextGroupPassThroughOption;
    if (asLayer && passThrough) {
        currentGroup().blendPassThroughGroupNode(node, clippedLayers, coverage);
    } else if (asLayer) {
        QFLayerList layers{layer};
        layers.insert(layers.end(), clippedLayers.begin(), clippedLayers.end());
        currentGroup().blendGroupNodeAsLayer(layers, node);
    } else {
        // An isolated group's opacity is carried as fill from here on.
        if (!passThrough) node = BNConvertOpacityToFillNode::create(node);
        if (!node) {
            lf::log("Group {} could not be composited; it is left out", QFLayerLogName(*layer));
            return;
        }
        blendGroupNode(node, options);
    }
}
