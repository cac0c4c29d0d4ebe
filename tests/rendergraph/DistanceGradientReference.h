#pragma once
// Plain evaluations, for the reference renderer, of node families whose
// result must not depend on the rectangle they are rendered over:
//
// - The gradient generators, one column of pixels at a time (each column a
//   render of its own), so a pixel's colour and dither can depend on
//   nothing but its place.
// - The bitmap stroke, distance transform and shape-burst gradient nodes,
//   with the distance field computed over the whole input the reference
//   renders for them rather than over the part the node trims it to: the
//   margin the nodes keep must be all the field needs.
//
// Both have the reference renderer's evaluator signature.

#include "rendergraph/core/BNRenderNode.h"
#include "rendergraph/core/BNRenderingContext.h"

namespace rendergraph_test {

BNSurfacePtr evaluateGradientByColumns(const BNRenderNode& node, VKRect rect, double scaleFactor,
                                       const BNSurfaceList& inputs, BNRenderingContext& context);

BNSurfacePtr evaluateDistanceOverWholeInput(const BNRenderNode& node, VKRect rect,
                                            double scaleFactor, const BNSurfaceList& inputs,
                                            BNRenderingContext& context);

}  // namespace rendergraph_test
