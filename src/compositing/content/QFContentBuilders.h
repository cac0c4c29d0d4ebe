#pragma once
// Content builders: how a fill or adjustment layer, which carries no pixels
// of its own, makes its content node. A builder takes the layer and the
// node the layer lies on (the backdrop an adjustment works on) and returns
// the content, or null when the layer paints nothing.
//
// The builder of a layer is the shape's fill (or stroke) paint when its
// vector stroke record has the fill (or the stroke) on; else the first of a
// fixed table of layer block keys that the layer has: solid colour,
// gradient and pattern fills, then the adjustments. Black and white,
// channel mixer, the old hue/saturation record and photo filter are
// recognised and leave their input unchanged.
//
// Fill builders ignore their input and draw their fill as fill rendering
// does: a solid colour is constant; a gradient is laid out in the layer's
// shape bounds (the document when it is not aligned with the layer) and
// carries its opacity as fill; a pattern is the document's tile, and draws
// nothing (with a log line) when the document lacks it. Adjustment
// builders map their input through tone curves (brightness/contrast,
// colour balance, curves, exposure, invert, levels, posterize), gradients
// (gradient map, threshold) or colour adjustments (hue/saturation,
// selective colour, vibrance), and return it unchanged when their record is
// missing or does nothing.
//
// Builders run inside a graph build and only read the document.

#include "psd/OMPSDLayer.h"
#include "rendergraph/adjustments/BNContourProvider.h"
#include "rendergraph/core/BNRenderNode.h"

#include <memory>

using QFContentBuilder = BNRenderNodePtr (*)(const OMPSDLayer& layer, const BNRenderNodePtr& input);

// The layer's builder, or null for a pixel layer.
QFContentBuilder QFContentBuilderForLayer(const OMPSDLayer& layer);
// A layer with a builder and none of a colour, gradient or pattern fill and
// a vector stroke: its content is its backdrop adjusted.
bool QFIsAdjustmentLayer(const OMPSDLayer& layer);

// Fill layers.
BNRenderNodePtr QFSolidColorContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);
BNRenderNodePtr QFGradientFillContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);
BNRenderNodePtr QFPatternFillContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);

// Adjustment layers.
BNRenderNodePtr QFBrightnessContrastContentBuilder(const OMPSDLayer& layer,
                                                   const BNRenderNodePtr& input);
BNRenderNodePtr QFColorBalanceContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);
BNRenderNodePtr QFCurvesContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);
BNRenderNodePtr QFExposureContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);
BNRenderNodePtr QFGradientMapContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);
BNRenderNodePtr QFHueSaturationContentBuilder(const OMPSDLayer& layer,
                                              const BNRenderNodePtr& input);
BNRenderNodePtr QFInvertContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);
BNRenderNodePtr QFLevelsContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);
BNRenderNodePtr QFPosterizeContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);
BNRenderNodePtr QFSelectiveColorContentBuilder(const OMPSDLayer& layer,
                                               const BNRenderNodePtr& input);
BNRenderNodePtr QFThresholdContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);
BNRenderNodePtr QFVibranceContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);
// The input unchanged.
BNRenderNodePtr QFIdentityContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);

// The curve of a curves channel: none when absent or the identity line
// from (0, 0) to (1, 1).
std::shared_ptr<const BNContourProvider> QFContourProviderForCurve(
    const std::shared_ptr<const OMPSDContour>& curve);
// The curve of a levels record: none for the identity record.
std::shared_ptr<const BNContourProvider> QFLevelsProviderForRecord(const OMPSDLevelsRecord& record);
