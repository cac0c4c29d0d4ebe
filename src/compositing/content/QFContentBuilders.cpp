#include "compositing/content/QFContentBuilders.h"

#include "compositing/content/QFVectorStroke.h"
#include "psd/OMPSDProperty.h"

namespace {

struct BuilderRow {
    uint32_t key;
    QFContentBuilder builder;
};

// The first row whose key the layer has wins.
constexpr BuilderRow kBuilders[] = {
    {OMPSDFourCC("SoCo"), QFSolidColorContentBuilder},
    {OMPSDFourCC("GdFl"), QFGradientFillContentBuilder},
    {OMPSDFourCC("PtFl"), QFPatternFillContentBuilder},
    {OMPSDFourCC("brit"), QFBrightnessContrastContentBuilder},
    {OMPSDFourCC("blwh"), QFIdentityContentBuilder},
    {OMPSDFourCC("mixr"), QFIdentityContentBuilder},
    {OMPSDFourCC("blnc"), QFColorBalanceContentBuilder},
    {OMPSDFourCC("curv"), QFCurvesContentBuilder},
    {OMPSDFourCC("expA"), QFExposureContentBuilder},
    {OMPSDFourCC("grdm"), QFGradientMapContentBuilder},
    {OMPSDFourCC("hue2"), QFHueSaturationContentBuilder},
    {OMPSDFourCC("hue "), QFIdentityContentBuilder},
    {OMPSDFourCC("nvrt"), QFInvertContentBuilder},
    {OMPSDFourCC("levl"), QFLevelsContentBuilder},
    {OMPSDFourCC("phfl"), QFIdentityContentBuilder},
    {OMPSDFourCC("post"), QFPosterizeContentBuilder},
    {OMPSDFourCC("selc"), QFSelectiveColorContentBuilder},
    {OMPSDFourCC("thrs"), QFThresholdContentBuilder},
    {OMPSDFourCC("vibA"), QFVibranceContentBuilder},
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

BNRenderNodePtr QFIdentityContentBuilder(const OMPSDLayer&, const BNRenderNodePtr& input) {
    return input;
}
