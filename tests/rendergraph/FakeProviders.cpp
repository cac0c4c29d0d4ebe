#include "FakeProviders.h"

#include <algorithm>
#include <cmath>

namespace rendergraph_test {

float fakeChannelValue(int64_t x, int64_t y, BNChannel channel) {
    int64_t v = (x * 7 + y * 13 + channel * 5) % 17;
    if (v < 0) v += 17;
    return static_cast<float>(v + 1) / 18.0f;
}

FakeImageProvider::FakeImageProvider(BNChannelMask mask, VKRect bounds) : mask_(mask) {
    bounds_.fill(bounds);
}

std::shared_ptr<FakeImageProvider> FakeImageProvider::make(BNChannelMask mask, VKRect bounds,
                                                           float background) {
    auto provider = std::make_shared<FakeImageProvider>(mask, bounds);
    provider->backgrounds_.fill(background);
    return provider;
}

void FakeImageProvider::readFloatData(float* values, uint64_t bytesPerPixel, uint64_t bytesPerRow,
                                      BNChannel channel, VKRect rect, BNRenderingContext&) const {
    ++reads_[channel];
    if (VKRectIsEmpty(rect) || !VKRectContainsRect(bounds_[channel], rect))
        readOutsideBounds_ = true;
    auto x0 = static_cast<int64_t>(std::floor(rect.origin.x));
    auto y0 = static_cast<int64_t>(std::floor(rect.origin.y));
    auto width = static_cast<int64_t>(std::ceil(rect.size.width));
    auto height = static_cast<int64_t>(std::ceil(rect.size.height));
    auto* bytes = reinterpret_cast<uint8_t*>(values);
    for (int64_t y = 0; y < height; ++y)
        for (int64_t x = 0; x < width; ++x)
            *reinterpret_cast<float*>(bytes + y * bytesPerRow + x * bytesPerPixel) =
                constants_[channel] ? *constants_[channel]
                                    : fakeChannelValue(x0 + x, y0 + y, channel);
}

namespace {
void tabulate(const FakeBlendingRangesProvider::Weight& weight, float* values, uint64_t count) {
    for (uint64_t i = 0; i < count; ++i)
        values[i] = weight(static_cast<float>(i) / static_cast<float>(count - 1));
}
}  // namespace

std::shared_ptr<FakeBlendingRangesProvider> FakeBlendingRangesProvider::make(int ranges) {
    auto provider = std::make_shared<FakeBlendingRangesProvider>();
    if (ranges & 1) provider->gray = [](float v) { return 1.0f - v * v; };
    for (int channel = 0; channel < 3; ++channel)
        if (ranges & (2 << channel))
            provider->color[channel] = [channel](float v) {
                return channel == 1 ? 1.0f - v : std::min(1.0f, 2.0f * v);
            };
    return provider;
}

void FakeBlendingRangesProvider::generateColorBlendingRangeValues(float* values, uint64_t count,
                                                                  uint64_t channel) const {
    tabulate(color.at(channel), values, count);
}

void FakeBlendingRangesProvider::generateGrayBlendingRangeValues(float* values,
                                                                 uint64_t count) const {
    tabulate(gray, values, count);
}

}  // namespace rendergraph_test
