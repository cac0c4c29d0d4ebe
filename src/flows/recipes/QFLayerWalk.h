#pragma once
// A walk over a list of layers and everything below it, each layer before
// its sublayers, in the document's order (bottom-most first). It keeps its
// own stack instead of recursing, since documents may nest groups very
// deep.

#include "compositing/shared/QFLayerList.h"

#include <vector>

// `visit` receives each layer's const std::shared_ptr<OMPSDLayer>&.
template <class Visit>
void QFForEachLayer(const QFLayerList& layers, Visit visit) {
    std::vector<const std::shared_ptr<OMPSDLayer>*> pending;
    for (auto it = layers.rbegin(); it != layers.rend(); ++it)
        pending.push_back(&*it);
    while (!pending.empty()) {
        const std::shared_ptr<OMPSDLayer>& layer = *pending.back();
        pending.pop_back();
        visit(layer);
        const auto& sublayers = layer->sublayers();
        for (auto it = sublayers.rbegin(); it != sublayers.rend(); ++it)
            pending.push_back(&*it);
    }
}
