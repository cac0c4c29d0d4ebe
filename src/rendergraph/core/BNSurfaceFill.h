#pragma once
// Filling and copying surfaces with plain values, for nodes that write part
// or all of their output without an operation of their own. Each function
// writes the pixels of the surface's rectangle and leaves the padding at the
// end of each row alone.

#include "rendergraph/core/BNSurface.h"

class BNRenderNode;

// Sets every sample to 0.
void BNClearSurface(BNSurface& surface);

// Sets every sample of a one-channel surface to `value`.
void BNFillSurface(BNSurface& surface, float value);

// Sets every pixel of a four-channel surface to the unpremultiplied colour
// (r, g, b) at coverage a, stored premultiplied: (r*a, g*a, b*a, a).
void BNFillSurfaceRGBA(BNSurface& surface, float r, float g, float b, float a);

// Fills a four-channel surface with what `node` is outside its bounds: its
// background values for R, G, B and A, premultiplied as above.
void BNFillSurfaceWithBackgroundOfNode(BNSurface& surface, const BNRenderNode& node);

// Copies the pixels of `source` into `destination`, both of the same
// channel layout, over the smaller of their two pixel sizes. The two must
// not overlap.
void BNCopySurface(const BNSurface& source, BNSurface& destination);
