#include "compositing/QFFillRendering.h"

#include "compositing/QFLayerList.h"
#include "platform/Log.h"
#include "rendergraph/BNConstantColorNode.h"

BNRenderNodePtr QFRenderNodeForFill(const OMPSDFill& fill, VKRect, VKRect,
                                    const OMPSDLayer& layer) {
    switch (fill.kind()) {
        case OMPSDFill::Kind::color: {
            const OMPSDColor& c = static_cast<const OMPSDColorFill&>(fill).color();
            return BNConstantColorNode::create({c.red(), c.green(), c.blue(), 1.0, 0.0},
                                               BNChannelMaskRGBA);
        }
        case OMPSDFill::Kind::gradient:
            lf::log("Layer {}: its gradient paint is not drawn", QFLayerLogName(layer));
            return nullptr;
        case OMPSDFill::Kind::pattern:
            lf::log("Layer {}: its pattern paint is not drawn", QFLayerLogName(layer));
            return nullptr;
    }
    return nullptr;
}
