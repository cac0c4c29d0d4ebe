#pragma once
// The part a compound path plays in the identity of a render node that
// rasterises it: its contents, so that nodes made from equal paths (each
// build makes its own path objects) share one render.

#include "geometry/VKCompoundPath.h"
#include "rendergraph/core/BNHashIdentifier.h"

// Feeds the fill rule and the path count (8 bytes each), then per path its
// closedness (1 byte) and knot count (8 bytes), and per knot its incoming
// control point, anchor and outgoing control point (16 bytes each); whether
// a knot is linked changes nothing drawn. A missing path counts as an open
// path of no knots.
void BNCompoundPathUpdateHashContext(const VKCompoundPath& path, BNHashContext& context);
