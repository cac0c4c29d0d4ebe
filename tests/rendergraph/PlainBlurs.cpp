#include "PlainBlurs.h"

#include "rendergraph/blurs/BNGaussianKernel.h"
#include "rendergraph/core/BNNodeInputs.h"
#include "rendergraph/core/BNSurfaceRegion.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace rendergraph_test {

namespace {

// Where the output's first pixel lies within the input, in pixels.
struct Offset {
    int64_t x, y;
};
Offset offsetWithin(const BNSurface& input, VKRect rect, double scale) {
    return {std::llround((rect.origin.x - input.rect().origin.x) * scale),
            std::llround((rect.origin.y - input.rect().origin.y) * scale)};
}

float at(const BNSurface& surface, int64_t x, int64_t y) {
    return surface.sample(static_cast<uint64_t>(x), static_cast<uint64_t>(y), 0);
}

// A separable float convolution, summed tap by tap from 0 as a float:
// rows first, then columns, each output pixel centred `offset` pixels into
// the input.
void convolve(const BNSurface& input, BNSurface& output, Offset offset,
              const std::vector<float>& taps) {
    auto r = static_cast<int64_t>(taps.size() / 2);
    auto rows = [&](int64_t x, int64_t y) {
        float sum = 0;
        for (int64_t i = 0; i <= 2 * r; ++i)
            sum += taps[i] * at(input, x - r + i, y);
        return sum;
    };
    for (uint64_t y = 0; y < output.heightInPixels(); ++y)
        for (uint64_t x = 0; x < output.widthInPixels(); ++x) {
            float sum = 0;
            for (int64_t j = 0; j <= 2 * r; ++j)
                sum += taps[j] * rows(int64_t(x) + offset.x, int64_t(y) + offset.y - r + j);
            output.sample(x, y, 0) = sum;
        }
}

}  // namespace

void plainBoxLine(float* line, ptrdiff_t step, size_t length, uint32_t n) {
    size_t span = 2 * size_t(n);
    if (length <= span) return;
    std::vector<float> ring(span + 1);
    double sum = 0;
    for (size_t k = 0; k < span; ++k) {
        ring[k] = line[ptrdiff_t(k) * step];
        sum += ring[k];
    }
    double scale = 1.0 / double(span + 1);
    for (size_t k = 0; k + span < length; ++k) {
        float& incoming = ring[(span + k) % ring.size()];
        incoming = line[ptrdiff_t(span + k) * step];
        sum += incoming;
        line[ptrdiff_t(n + k) * step] = float(std::clamp(sum * scale, 0.0, 1.0));
        sum -= ring[k % ring.size()];
    }
}

BNSurfacePtr plainGaussianBlur(const BNGaussianBlurNode& node, const BNSurface& input, VKRect rect,
                               double scale) {
    auto output = BNSurface::create(rect, scale, node.channels());
    Offset offset = offsetWithin(input, rect, scale);
    double size = scale * node.radius();
    if (size <= kMaximumGaussianSize) {
        convolve(input, *output, offset, BNGaussianTaps(size));
        return output;
    }
    uint64_t width = input.widthInPixels(), height = input.heightInPixels();
    std::vector<float> plane(width * height);
    for (uint64_t y = 0; y < height; ++y)
        for (uint64_t x = 0; x < width; ++x)
            plane[y * width + x] = input.sample(x, y, 0);
    uint64_t x0 = 0, y0 = 0, w = width, h = height;
    for (uint32_t n : BNBoxBlurSizes(size)) {
        for (uint64_t y = y0; y < y0 + h; ++y)
            plainBoxLine(&plane[y * width + x0], 1, w, n);
        for (uint64_t x = x0; x < x0 + w; ++x)
            plainBoxLine(&plane[y0 * width + x], ptrdiff_t(width), h, n);
        if (w <= 2 * n || h <= 2 * n) break;
        x0 += n, y0 += n, w -= 2 * n, h -= 2 * n;
    }
    for (uint64_t y = 0; y < output->heightInPixels(); ++y)
        for (uint64_t x = 0; x < output->widthInPixels(); ++x)
            output->sample(x, y, 0) = plane[(y + offset.y) * width + x + offset.x];
    return output;
}

BNSurfacePtr plainTentBlur(const BNTentBlurNode& node, const BNSurface& input, VKRect rect,
                           double scale) {
    auto output = BNSurface::create(rect, scale, node.channels());
    const BNRenderNode& source = *node.inputNode(0);
    float background = source.backgroundValueForChannel(BNCoverageChannelOfMask(source.channels()));
    VKRect reach = BNRectWithinBounds(rect, node.bounds(), scale);
    BNPixelRect inside = BNPixelRectOfRect(*output, reach);
    for (uint64_t y = 0; y < output->heightInPixels(); ++y)
        for (uint64_t x = 0; x < output->widthInPixels(); ++x)
            output->sample(x, y, 0) = background;
    if (inside.isEmpty()) return output;

    auto r = static_cast<int64_t>(std::ceil(scale * node.radius()));
    Offset offset = offsetWithin(input, rect, scale);
    BNSurface part(reach, scale, node.channels(), output->row(inside.y) + inside.x,
                   output->bytesPerRow(), nullptr);
    Offset partOffset{offset.x + int64_t(inside.x), offset.y + int64_t(inside.y)};
    if (!node.shouldRender8Bit()) {
        std::vector<float> taps(2 * r + 1);
        double norm = double(r + 1) * double(r + 1);
        for (int64_t i = 0; i <= 2 * r; ++i)
            taps[i] = float((double(r) + 1 - std::abs(double(r) - double(i))) / norm);
        convolve(input, part, partOffset, taps);
        return output;
    }
    auto level = [&](int64_t x, int64_t y) -> uint64_t {
        float u = (at(input, x, y) - 0.0f) / 1.0f * 255.0f;
        float clamped = u > 0.0f ? (u < 255.0f ? u : 255.0f) : 0.0f;
        return uint8_t(clamped + 0.5f);
    };
    uint64_t divisor = uint64_t(r + 1) * (r + 1) * (r + 1) * (r + 1);
    for (uint64_t y = 0; y < inside.height; ++y)
        for (uint64_t x = 0; x < inside.width; ++x) {
            uint64_t sum = 0;
            for (int64_t dy = -r; dy <= r; ++dy)
                for (int64_t dx = -r; dx <= r; ++dx)
                    sum += uint64_t(r + 1 - std::abs(dx)) * uint64_t(r + 1 - std::abs(dy)) *
                           level(int64_t(x) + partOffset.x + dx, int64_t(y) + partOffset.y + dy);
            auto value = uint8_t((sum + divisor / 2) / divisor);
            part.sample(x, y, 0) = 0.0f + float(value) * 1.0f / 255.0f;
        }
    return output;
}

}  // namespace rendergraph_test
