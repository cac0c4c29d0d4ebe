#pragma once
// A shape layer's vector stroke: its stroke style, its outline prepared for
// stroking, the stroke's coverage and paint nodes that the group blending
// draws over the shape's fill, and the content builders of shape layers
// (the fill paint, or the stroke paint of a shape whose fill is off).

#include "geometry/VKCompoundPath.h"
#include "geometry/VKStrokeStyle.h"
#include "psd/OMPSDLayer.h"
#include "rendergraph/core/BNRenderNode.h"

#include <memory>

// The layer's vector stroke record when the layer is a shape drawn from its
// vector mask: it has a vector mask and a fill paint besides the record.
// Otherwise null: a layer that merely carries a stroke record (Photoshop
// leaves one on shapes it rasterises) is a pixel layer whose transparency
// is its shape.
std::shared_ptr<const OMPSDVectorStroke> QFShapeVectorStroke(const OMPSDLayer& layer);
// How far the shape's stroke reaches beyond its outline: half its width
// when centred, all of it outside, nothing inside or when it is off.
double QFVectorStrokeReach(const OMPSDLayer& layer);
// Width, miter limit, caps, joins and position as the record says (values
// outside 0 to 2 keep the style's defaults); dash lengths are multiples of
// the width, the phase is taken as it is.
VKStrokeStyle QFStrokeStyleForVectorStroke(const OMPSDVectorStroke& stroke);
// The compound path passed through QFPSDStrokePathFixer for the stroke,
// with its fill rule, which tells its holes.
std::shared_ptr<const VKCompoundPath> QFStrokeReadyCompoundPath(const VKCompoundPath& path,
                                                                const OMPSDVectorStroke& stroke);
// The stroke's coverage, when the layer's fill and stroke are both on; else
// null. One-sided strokes keep to their side of the outline (an inside
// stroke is cut to the shape, an outside one has the shape cut away), so
// where the outline crosses a pixel the stroke covers only its own part
// and the fill shows beside it, as documents' merged images show.
BNRenderNodePtr QFVectorStrokeCoverageNode(const OMPSDLayer& layer);
// The stroke's paint, when the layer's fill and stroke are both on; else
// null.
BNRenderNodePtr QFVectorStrokeFillNode(const OMPSDLayer& layer);
// Content builders: the shape's fill paint, and its stroke paint.
BNRenderNodePtr QFVectorFillContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);
BNRenderNodePtr QFVectorStrokeContentBuilder(const OMPSDLayer& layer, const BNRenderNodePtr& input);
