#pragma once
// Lists of document layers as the compositing takes them: bottom-most
// first. The compositing only reads the layers.

#include "psd/OMPSDLayer.h"

#include <memory>
#include <string>
#include <vector>

using QFLayerList = std::vector<std::shared_ptr<OMPSDLayer>>;

// The layer as log lines name it: its name in quotes.
inline std::string QFLayerLogName(const OMPSDLayer& layer) {
    return "'" + layer.name() + "'";
}
