#include "compositing/QFContentBuilders.h"

#include "compositing/QFLayerList.h"
#include "compositing/QFVectorStroke.h"
#include "platform/Log.h"
#include "psd/OMPSDProperty.h"
#include "rendergraph/BNConstantColorNode.h"

namespace {

BNRenderNodePtr fillNotDrawn(const OMPSDLayer& layer, const BNRenderNodePtr&) {
    lf::log("Layer {}: its fill is not drawn", QFLayerLogName(layer));
    return nullptr;
}

BNRenderNodePtr adjustmentNotApplied(const OMPSDLayer& layer, const BNRenderNodePtr&) {
    lf::log("Layer {}: its adjustment is not applied", QFLayerLogName(layer));
    return nullptr;
}

struct BuilderRow {
    uint32_t key;
    QFContentBuilder builder;
};

// The first row whose key the layer has wins.
constexpr BuilderRow kBuilders[] = {
    {OMPSDFourCC("SoCo"), QFSolidColorContentBuilder},
    {OMPSDFourCC("GdFl"), fillNotDrawn},
    {OMPSDFourCC("PtFl"), fillNotDrawn},
    {OMPSDFourCC("brit"), adjustmentNotApplied},
    {OMPSDFourCC("blwh"), QFIdentityContentBuilder},
    {OMPSDFourCC("mixr"), QFIdentityContentBuilder},
    {OMPSDFourCC("blnc"), adjustmentNotApplied},
    {OMPSDFourCC("curv"), adjustmentNotApplied},
    {OMPSDFourCC("expA"), adjustmentNotApplied},
    {OMPSDFourCC("grdm"), adjustmentNotApplied},
    {OMPSDFourCC("hue2"), adjustmentNotApplied},
    {OMPSDFourCC("hue "), QFIdentityContentBuilder},
    {OMPSDFourCC("nvrt"), adjustmentNotApplied},
    {OMPSDFourCC("levl"), adjustmentNotApplied},
    {OMPSDFourCC("phfl"), QFIdentityContentBuilder},
    {OMPSDFourCC("post"), adjustmentNotApplied},
    {OMPSDFourCC("selc"), QFIdentityContentBuilder},
    {OMPSDFourCC("thrs"), adjustmentNotApplied},
    {OMPSDFourCC("vibA"), adjustmentNotApplied},
};

}  // namespace

QFContentBuilder QFContentBuilderForLayer(const OMPSDLayer& layer) {
    if (auto stroke = QFShapeVectorStroke(layer)) {
        if (stroke->fillEnabled()) return QFVectorFillContentBuilder;
        if (stroke->strokeEnabled()) return QFVectorStrokeContentBuilder;
    }
    for (const BuilderRow& row : kBuilders)
        if (layer.attributesAtomForKey(row.key)) return row.builder;
    return nullptr;
}

bool QFIsAdjustmentLayer(const OMPSDLayer& layer) {
    return QFContentBuilderForLayer(layer) && !layer.gradientFill() && !layer.colorFill() &&
           !layer.patternFill() && !QFShapeVectorStroke(layer);
}

BNRenderNodePtr QFSolidColorContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr&) {
    std::optional<OMPSDColor> color = layer.colorFill();
    if (!color) return nullptr;
    return BNConstantColorNode::create({color->red(), color->green(), color->blue(), 1.0, 0.0},
                                       BNChannelMaskRGBA);
}

BNRenderNodePtr QFIdentityContentBuilder(const OMPSDLayer&, const BNRenderNodePtr& input) {
    return input;
}
