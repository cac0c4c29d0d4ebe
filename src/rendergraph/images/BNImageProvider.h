#pragma once
// The pixels of a layer's channels, for the image and pattern nodes (see
// BNGradientProvider.h for what every provider promises).

#include "geometry/VKGeometry.h"
#include "rendergraph/core/BNChannel.h"

#include <cstdint>

class BNRenderingContext;

class BNImageProvider {
public:
    virtual ~BNImageProvider() = default;

    // The channels the provider delivers; the image node renders exactly these.
    virtual BNChannelMask channels() const = 0;
    // Where the channel has stored pixels, in document pixels.
    virtual VKRect boundsForChannel(BNChannel channel) const = 0;
    // The channel's value everywhere outside its bounds.
    virtual float backgroundValueForChannel(BNChannel channel) const = 0;
    // Writes the channel's straight values in [0, 1] for every pixel of
    // `rect` (never empty, always inside boundsForChannel): the top-left
    // pixel's value at `values`, the next pixel of a row bytesPerPixel
    // bytes further, the next row bytesPerRow bytes further. Bytes between
    // the written floats are left alone. Scratch memory may be borrowed from
    // the context and must be given back before returning.
    virtual void readFloatData(float* values, uint64_t bytesPerPixel, uint64_t bytesPerRow,
                               BNChannel channel, VKRect rect,
                               BNRenderingContext& context) const = 0;
};
