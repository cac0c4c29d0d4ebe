#include "compositing/QFRenderNodeForLayers.h"

#include "compositing/QFBlendMode.h"
#include "compositing/QFLayerContent.h"
#include "platform/Log.h"
#include "psd/OMPSDProperty.h"
#include "rendergraph/BNIsolateOpacityNode.h"

#include <memory>
#include <set>
#include <unordered_map>

namespace {

// Photoshop nests groups ten deep; far deeper nesting only comes from
// damaged or hostile documents, whose walk would exhaust the stack.
constexpr int kMaximumGroupDepth = 100;

// What one build keeps across its walks: a pass-through group with clipped
// layers walks its own layers once more on their own, and so do the groups
// inside it.
struct Walk {
    int groupDepth = 0;
    // The coverage of pass-through groups' own layers, made once per build
    // however deep the group lies.
    std::unordered_map<const OMPSDLayer*, BNRenderNodePtr> ownCoverage;
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

// The coverage of the group's own layers rendered alone.
BNRenderNodePtr ownCoverage(const OMPSDLayer& group, Walk& walk) {
    auto cached = walk.ownCoverage.find(&group);
    if (cached != walk.ownCoverage.end()) return cached->second;
    BNRenderNodePtr coverage = BNIsolateOpacityNode::create(nodeForLayers(group.sublayers(), walk));
    walk.ownCoverage.emplace(&group, coverage);
    return coverage;
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
    // layer; a pass-through one clips its clipped layers to its own layers.
    bool asLayer = hasVisibleEffects(*group) || !clipped.empty();
    BNRenderNodePtr coverage;
    if (!clipped.empty() && groupOptions == QFContextGroupPassThroughOption)
        coverage = ownCoverage(*group, walk);
    context.beginTransparencyGroup(*group, groupOptions);
    walkLayers(group->sublayers(), context, walk);
    context.endTransparencyGroup(group, asLayer, clipped, coverage);
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
        for (const auto& member : run)
            noteSkippedEffects(*member, walk);
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
