#include "compositing/QFRenderNodeForLayers.h"

#include "compositing/QFBlendMode.h"
#include "compositing/QFLayerContent.h"
#include "platform/Log.h"
#include "psd/OMPSDProperty.h"
#include "rendergraph/BNConstantColorNode.h"

#include <memory>

namespace {

bool hasVisibleEffects(const OMPSDLayer& layer) {
    auto effects = layer.effects();
    return effects && effects->isVisible();
}

// Layer effects are not drawn; say so once per layer that has some.
void noteSkippedEffects(const OMPSDLayer& layer) {
    if (hasVisibleEffects(layer))
        lf::log("Layer {}: its layer effects are not drawn", QFLayerLogName(layer));
}

void blendGroup(const std::shared_ptr<OMPSDLayer>& group, const QFLayerList& run,
                QFContext& context) {
    const OMPSDBlendingOptions& options = *group->blendingOptions();
    context.saveState();
    context.setBlendMode(QFBlendModeForPSDKey(options.blendMode()));
    context.setOpacity(options.opacity());
    context.setMask(QFMaskNodeForLayer(*group));
    QFLayerList clipped(run.begin() + 1, run.end());
    int groupOptions =
        options.blendMode() == OMPSDFourCC("pass") ? QFContextGroupPassThroughOption : 0;

    BNRenderNodePtr shape;
    if (!hasVisibleEffects(*group) && clipped.empty()) {
        context.beginTransparencyGroup(*group, nullptr, groupOptions);
    } else {
        // A group whose masks do not shape it is shaped by its own layers.
        shape = QFShapeNodeForLayer(*group);
        if (!shape || dynamic_cast<const BNConstantColorNode*>(shape.get()))
            shape = QFIsolatedNodeForSublayers(group->sublayers());
        context.beginTransparencyGroup(*group, shape, groupOptions);
        context.setFactorMask(shape);
    }
    QFBlendLayerListIntoContext(group->sublayers(), context);
    context.endTransparencyGroup(group, shape, clipped);
    context.restoreState();
}

}  // namespace

BNRenderNodePtr QFRenderNodeForLayers(const QFLayerList& layers) {
    QFContext context;
    QFBlendLayerListIntoContext(layers, context);
    return context.resultNode();
}

void QFBlendLayerListIntoContext(const QFLayerList& layers, QFContext& context) {
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
            noteSkippedEffects(*member);
        if (layer->isGroup())
            blendGroup(layer, run, context);
        else
            context.blendLayers(run);
    }
}
