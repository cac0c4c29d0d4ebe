#pragma once
// Content builders: how a fill or adjustment layer, which carries no pixels
// of its own, makes its content node. A builder takes the layer and the
// node the layer lies on (the backdrop an adjustment works on) and returns
// the content, or null when the layer paints nothing.
//
// The builder of a layer is the shape's fill (or stroke) paint when its
// vector stroke record has the fill (or the stroke) on; else the first of a
// fixed table of layer block keys that the layer has: solid colour,
// gradient and pattern fills, then the adjustments. Solid colours are
// drawn; black and white, channel mixer, the old hue/saturation record,
// photo filter and selective colour are recognised and leave their input
// unchanged. Gradient and pattern fills are not drawn yet and the other
// adjustments are not applied: their builders give null, with a log line
// naming the layer, so the layer contributes nothing.

#include "psd/OMPSDLayer.h"
#include "rendergraph/BNRenderNode.h"

using QFContentBuilder = BNRenderNodePtr (*)(const OMPSDLayer& layer, const BNRenderNodePtr& input);

// The layer's builder, or null for a pixel layer.
QFContentBuilder QFContentBuilderForLayer(const OMPSDLayer& layer);
// A layer with a builder and none of a colour, gradient or pattern fill and
// a vector stroke: its content is its backdrop adjusted.
bool QFIsAdjustmentLayer(const OMPSDLayer& layer);

// The layer's colour fill over the whole plane, or null without one.
BNRenderNodePtr QFSolidColorContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);
// The input unchanged.
BNRenderNodePtr QFIdentityContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);
