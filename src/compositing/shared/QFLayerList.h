#pragma once
// Lists of document layers as the compositing takes them: bottom-most
// first. The compositing only reads the layers.

#include "psd/OMPSDLayer.h"

#include <memory>
#include <string>
#include <vector>

using QFLayerList = std::vector<std::shared_ptr<OMPSDLayer>>;

// Photoshop nests groups ten deep; far deeper nesting only comes from
// damaged or hostile documents, whose walks would exhaust the stack. Walks
// of the layer tree go no deeper than this.
inline constexpr int QFMaximumGroupDepth = 100;

// The layer as log lines name it: its name in quotes.
inline std::string QFLayerLogName(const OMPSDLayer& layer) {
    return "'" + layer.name() + "'";
}
