#pragma once
// The render graph never reads a document: where a node needs the
// application's data it asks a provider, while rendering, to fill a buffer
// the node owns. Providers are held strongly by their nodes and take part in
// the nodes' identities by address. Their methods run on the rendering
// threads of several tiles at once, so they must not change shared state
// without a guard of their own.

#include <cstdint>

// The colours of a gradient, for the gradient and gradient-mapping nodes.
class BNGradientProvider {
public:
    virtual ~BNGradientProvider() = default;

    // Writes `count` entries of four floats (R, G, B, opacity), entry i
    // being the colour at position i / (count - 1) from the gradient's start
    // to its end, values in [0, 1]. With `premultiply` the colour values are
    // multiplied by the opacity. Only `count` entries are written: callers
    // keep and zero one guard entry after them themselves.
    virtual void generateRGBAGradientValues(float* values, uint64_t count,
                                            bool premultiply) const = 0;
};
