#pragma once
// Providers for the tests of the image, pattern and Blend If nodes: channel
// planes generated from their position, and blending ranges given as
// functions. They count their calls (from any thread).

#include "rendergraph/images/BNImageProvider.h"
#include "rendergraph/masks/BNBlendingRangesProvider.h"

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace rendergraph_test {

// A straight value in [0, 1] for document pixel (x, y) of a channel.
float fakeChannelValue(int64_t x, int64_t y, BNChannel channel);

class FakeImageProvider final : public BNImageProvider {
public:
    // Every channel of `mask` has `bounds` and background 0 unless set.
    FakeImageProvider(BNChannelMask mask, VKRect bounds);
    // The same with every channel's background `background`.
    static std::shared_ptr<FakeImageProvider> make(BNChannelMask mask, VKRect bounds,
                                                   float background);

    void setBounds(BNChannel channel, VKRect bounds) { bounds_[channel] = bounds; }
    void setBackground(BNChannel channel, float value) { backgrounds_[channel] = value; }
    // Every stored pixel of the channel takes this value.
    void setConstant(BNChannel channel, float value) { constants_[channel] = value; }

    BNChannelMask channels() const override { return mask_; }
    VKRect boundsForChannel(BNChannel channel) const override { return bounds_[channel]; }
    float backgroundValueForChannel(BNChannel channel) const override {
        return backgrounds_[channel];
    }
    void readFloatData(float* values, uint64_t bytesPerPixel, uint64_t bytesPerRow,
                       BNChannel channel, VKRect rect, BNRenderingContext& context) const override;

    int reads(BNChannel channel) const { return reads_[channel]; }
    // Set when a read asked for pixels outside the channel's bounds.
    bool readOutsideBounds() const { return readOutsideBounds_; }

private:
    BNChannelMask mask_;
    std::array<VKRect, BNChannelCount> bounds_;
    std::array<float, BNChannelCount> backgrounds_{};
    std::array<std::optional<float>, BNChannelCount> constants_;
    mutable std::array<std::atomic<int>, BNChannelCount> reads_{};
    mutable std::atomic<bool> readOutsideBounds_{false};
};

class FakeBlendingRangesProvider final : public BNBlendingRangesProvider {
public:
    using Weight = std::function<float(float value)>;

    // A weight function per colour channel (none: no range), and for gray.
    std::array<Weight, 3> color;
    Weight gray;

    // Ranges picked by bits: 1 gray, 2 red, 4 green, 8 blue, each a ramp.
    static std::shared_ptr<FakeBlendingRangesProvider> make(int ranges);

    bool hasColorBlendingRangeDataForChannel(uint64_t channel) const override {
        return channel < 3 && color[channel] != nullptr;
    }
    void generateColorBlendingRangeValues(float* values, uint64_t count,
                                          uint64_t channel) const override;
    bool hasGrayBlendingRangeData() const override { return gray != nullptr; }
    void generateGrayBlendingRangeValues(float* values, uint64_t count) const override;
};

}  // namespace rendergraph_test
