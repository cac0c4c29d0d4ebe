// The content builders of fill layers: solid colour, gradient and pattern.
#include "compositing/content/QFContentBuilders.h"
#include "compositing/content/QFLayerShapeBounds.h"
#include "compositing/content/QFVectorMaskPaths.h"
#include "compositing/fills/QFFillRendering.h"
#include "rendergraph/blend/BNConvertOpacityToFillNode.h"
#include "rendergraph/images/BNConstantColorNode.h"

BNRenderNodePtr QFSolidColorContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr&) {
    std::optional<OMPSDColor> color = layer.colorFill();
    if (!color) return nullptr;
    return BNConstantColorNode::create({color->red(), color->green(), color->blue(), 1.0, 0.0},
                                       BNChannelMaskRGBA);
}

BNRenderNodePtr QFGradientFillContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr&) {
    auto fill = layer.gradientFill();
    if (!fill) return nullptr;
    VKSize document = QFDocumentSizeForLayer(layer);
    BNRenderNodePtr node =
        QFRenderNodeForFill(*fill, QFGradientFillLayerBounds(layer),
                            VKRectMake(0, 0, document.width, document.height), layer);
    return node ? BNConvertOpacityToFillNode::create(node) : nullptr;
}

BNRenderNodePtr QFPatternFillContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr&) {
    auto fill = layer.patternFill();
    return fill ? QFPatternNodeForFill(*fill, layer) : nullptr;
}
