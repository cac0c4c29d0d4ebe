#include "compositing/QFRenderNodeForLayers.h"

#include "compositing/QFBlendMode.h"
#include "compositing/QFLayerContent.h"
#include "platform/Log.h"
#include "psd/OMPSDProperty.h"
#include "rendergraph/BNConstantColorNode.h"
#include "rendergraph/BNIsolateOpacityNode.h"

#include <memory>
#include <set>
#include <unordered_map>

namespace {

// Photoshop nests groups ten deep; far deeper nesting only comes from
// damaged or hostile documents, whose walk would exhaust the stack.
constexpr int kMaximumGroupDepth = 100;

// What one build keeps across its walks: a group shaped by its own layers
// walks them once more on their own, and so do the groups inside it.
struct Walk {
    int groupDepth = 0;
    // The shapes made of groups' own layers, so that each is made once per
    // build however deep it lies (and the passes share its nodes).
    std::unordered_map<const OMPSDLayer*, BNRenderNodePtr> groupShapes;
    std::set<const OMPSDLayer*> notedEffects;
};

void walkLayers(const QFLayerList& layers, QFContext& context, Walk& walk);

BNRenderNodePtr nodeForLayers(const QFLayerList& layers, Walk& walk) {
    QFContext context;
    walkLayers(layers, context, walk);
    return context.resultNode();
}

bool hasVisibleEffects(const OMPSDLayer& layer) {
    auto effects = layer.effects();
    return effects && effects->isVisible();
}

// Layer effects are not drawn; say so once per layer that has some.
void noteSkippedEffects(const OMPSDLayer& layer, Walk& walk) {
    if (hasVisibleEffects(layer) && walk.notedEffects.insert(&layer).second)
        lf::log("Layer {}: its layer effects are not drawn", QFLayerLogName(layer));
}

// The group's shape: its masks, or, where they do not shape it, the
// opacity of its own layers rendered alone.
BNRenderNodePtr groupShape(const OMPSDLayer& group, Walk& walk) {
    BNRenderNodePtr shape = QFShapeNodeForLayer(group);
    if (shape && !dynamic_cast<const BNConstantColorNode*>(shape.get())) return shape;
    auto cached = walk.groupShapes.find(&group);
    if (cached != walk.groupShapes.end()) return cached->second;
    shape = BNIsolateOpacityNode::create(nodeForLayers(group.sublayers(), walk));
    walk.groupShapes.emplace(&group, shape);
    return shape;
}

void blendGroup(const std::shared_ptr<OMPSDLayer>& group, const QFLayerList& run,
                QFContext& context, Walk& walk) {
    if (walk.groupDepth >= kMaximumGroupDepth) {
        lf::log("Group {} is nested more than {} deep; it is left out", QFLayerLogName(*group),
                kMaximumGroupDepth);
        return;
    }
    ++walk.groupDepth;
    const OMPSDBlendingOptions& options = *group->blendingOptions();
    context.saveState();
    context.setBlendMode(QFBlendModeForPSDKey(options.blendMode()));
    context.setOpacity(options.opacity());
    context.setMask(QFMaskNodeForLayer(*group));
    QFLayerList clipped(run.begin() + 1, run.end());
    int groupOptions =
        options.blendMode() == OMPSDFourCC("pass") ? QFContextGroupPassThroughOption : 0;

    // A group with visible effects or clipped layers is blended like a
    // layer, within its shape, which the layers inside it divide out.
    BNRenderNodePtr shape;
    if (hasVisibleEffects(*group) || !clipped.empty()) shape = groupShape(*group, walk);
    context.beginTransparencyGroup(*group, shape, groupOptions);
    if (shape) context.setFactorMask(shape);
    walkLayers(group->sublayers(), context, walk);
    context.endTransparencyGroup(group, shape, clipped);
    context.restoreState();
    --walk.groupDepth;
}

void walkLayers(const QFLayerList& layers, QFContext& context, Walk& walk) {
    QFLayerList run;
    for (size_t i = 0; i < layers.size(); ++i) {
        const std::shared_ptr<OMPSDLayer>& layer = layers[i];
        if (!layer || !layer->isVisible() || layer->clipping() == 1) continue;
        run.assign(1, layer);
        // Layers clipped to this one; hidden ones are consumed and dropped.
        while (i + 1 < layers.size()) {
            const std::shared_ptr<OMPSDLayer>& next = layers[i + 1];
            if (!next || next->clipping() == 0 || next->isGroup()) break;
            if (next->isVisible()) run.push_back(next);
            ++i;
        }
        for (const auto& member : run) noteSkippedEffects(*member, walk);
        if (layer->isGroup())
            blendGroup(layer, run, context, walk);
        else
            context.blendLayers(run);
    }
}

}  // namespace

BNRenderNodePtr QFRenderNodeForLayers(const QFLayerList& layers) {
    Walk walk;
    return nodeForLayers(layers, walk);
}

void QFBlendLayerListIntoContext(const QFLayerList& layers, QFContext& context) {
    Walk walk;
    walkLayers(layers, context, walk);
}
