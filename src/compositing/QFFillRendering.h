#pragma once
// The paint of a fill (a layer's colour, gradient or pattern fill, a shape's
// fill or stroke paint) as a source node over the whole plane; confining it
// to a shape is the caller's business.
//
// Colour fills are drawn. Gradient and pattern paints are not drawn yet:
// they give null, with one log line naming the layer.

#include "psd/OMPSDFill.h"
#include "psd/OMPSDLayer.h"
#include "rendergraph/BNRenderNode.h"

// `layerBounds` (a bounds rectangle of the layer's shape) and
// `documentBounds` (the document from (0, 0)) place gradients.
BNRenderNodePtr QFRenderNodeForFill(const OMPSDFill& fill, VKRect layerBounds,
                                    VKRect documentBounds, const OMPSDLayer& layer);
