#pragma once
// A layer's Blend If ranges, for the blending-ranges mask node (see
// BNGradientProvider.h for what every provider promises).

#include <cstdint>

class BNBlendingRangesProvider {
public:
    virtual ~BNBlendingRangesProvider() = default;

    // Whether colour channel 0, 1 or 2 has a range of its own.
    virtual bool hasColorBlendingRangeDataForChannel(uint64_t channel) const = 0;
    // Writes `count` weights in [0, 1], weight i for a pixel whose channel
    // value is i / (count - 1).
    virtual void generateColorBlendingRangeValues(float* values, uint64_t count,
                                                  uint64_t channel) const = 0;
    // Whether the gray (luminosity) range applies.
    virtual bool hasGrayBlendingRangeData() const = 0;
    // The same weights for the gray value.
    virtual void generateGrayBlendingRangeValues(float* values, uint64_t count) const = 0;
};
