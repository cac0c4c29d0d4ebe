#include "compositing/QFRenderNodeForLayers.h"

#include "compositing/QFLayerContent.h"
#include "compositing/effects/QFEffectRendering.h"
#include "compositing/shared/QFBlendMode.h"
#include "platform/core/Log.h"
#include "psd/OMPSDProperty.h"
#include "rendergraph/blend/BNIsolateOpacityNode.h"

#include <memory>
#include <unordered_map>

namespace {

// What one build keeps across its walks: a pass-through group that draws a
// drop shadow under its layers walks its own layers once more on their
// own, and so do the groups inside it.
struct Walk {
    int groupDepth = 0;
    // The coverage of groups' own layers rendered alone, made once per
    // build however deep the group lies.
    std::unordered_map<const OMPSDLayer*, BNRenderNodePtr> ownCoverage;
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

// Enters one more level of groups, unless the walk is already as deep as
// it goes (with a log line); after a successful enter the caller lowers the
// depth again when it leaves the group.
bool enterGroup(const OMPSDLayer& group, Walk& walk) {
    if (walk.groupDepth >= QFMaximumGroupDepth) {
        lf::log("Group {} is nested more than {} deep; it is left out", QFLayerLogName(group),
                QFMaximumGroupDepth);
        return false;
    }
    ++walk.groupDepth;
    return true;
}

// The coverage of the group's own layers rendered alone.
BNRenderNodePtr ownCoverage(const OMPSDLayer& group, Walk& walk) {
    auto cached = walk.ownCoverage.find(&group);
    if (cached != walk.ownCoverage.end()) return cached->second;
    BNRenderNodePtr coverage = BNIsolateOpacityNode::create(nodeForLayers(group.sublayers(), walk));
    walk.ownCoverage.emplace(&group, coverage);
    return coverage;
}

// The finished, isolated results of the groups clipped to a base. A group
// nested too deep has none and is left out.
QFGroupResults clippedGroupResults(const QFLayerList& clipped, Walk& walk) {
    QFGroupResults results;
    for (const auto& layer : clipped) {
        if (!layer->isGroup() || !enterGroup(*layer, walk)) continue;
        results.emplace(layer.get(), nodeForLayers(layer->sublayers(), walk));
        --walk.groupDepth;
    }
    return results;
}

void blendGroup(const std::shared_ptr<OMPSDLayer>& group, const QFLayerList& run,
                QFContext& context, Walk& walk) {
    if (!enterGroup(*group, walk)) return;
    const OMPSDBlendingOptions& options = *group->blendingOptions();
    QFLayerList clipped(run.begin() + 1, run.end());
    // A group whose fill opacity is below full is composited in isolation,
    // as Photoshop composites it, even when it passes through. One that
    // layers are clipped to still passes through: its layers blend with
    // what lies below it, and the clipped layers are drawn onto that.
    bool passThrough = options.blendMode() == OMPSDFourCC("pass") && options.fillOpacity() >= 1.0;
    // A group with visible effects or clipped layers is blended like a
    // layer, pass-through or not: its effects are drawn around its shape,
    // and its clipped layers within it.
    bool asLayer = hasVisibleEffects(*group) || !clipped.empty();
    context.saveState();
    context.setBlendMode(QFBlendModeForPSDKey(options.blendMode()));
    context.setOpacity(options.opacity());
    context.setFillOpacity(options.fillOpacity());
    context.setMask(asLayer ? nullptr : QFMaskNodeForLayer(*group));
    QFGroupResults clippedGroups = clippedGroupResults(clipped, walk);
    // A group blended like a layer has its coverage taken out of its result
    // once when it ends. An isolated group's result holds that coverage
    // itself; a pass-through group's holds the backdrop too, so its factor
    // mask is its own layers' coverage, rendered alone. Within the group's
    // masks that coverage is its shape, which a pass-through group's drop
    // shadow follows under its layers.
    BNRenderNodePtr factorMask = asLayer && passThrough ? ownCoverage(*group, walk) : nullptr;
    BNRenderNodePtr shape = factorMask ? QFGroupShapeNode(*group, factorMask) : nullptr;
    context.beginTransparencyGroup(
        *group, shape, passThrough ? QFContextGroupPassThroughOption : QFContextGroupNoOptions);
    context.setFactorMask(factorMask);
    walkLayers(group->sublayers(), context, walk);
    context.endTransparencyGroup(group, asLayer, clipped, clippedGroups);
    context.restoreState();
    --walk.groupDepth;
}

void walkLayers(const QFLayerList& layers, QFContext& context, Walk& walk) {
    QFLayerList run;
    for (size_t i = 0; i < layers.size(); ++i) {
        const std::shared_ptr<OMPSDLayer>& layer = layers[i];
        if (!layer || !layer->isVisible() || layer->clipping() == 1) continue;
        run.assign(1, layer);
        // Layers and groups clipped to this one; hidden ones are consumed
        // and dropped.
        while (i + 1 < layers.size()) {
            const std::shared_ptr<OMPSDLayer>& next = layers[i + 1];
            if (!next || next->clipping() == 0) break;
            if (next->isVisible()) run.push_back(next);
            ++i;
        }
        if (layer->isGroup())
            blendGroup(layer, run, context, walk);
        else
            context.blendLayers(run, clippedGroupResults(run, walk));
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
