#include "compositing/shared/QFRGBAConversion.h"

#include "platform/images/RGBABuffer.h"
#include "rendergraph/core/BNRenderer.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// value * 255 clamped to 0..255 (not-a-number to 0) and rounded to the
// nearest integer, halves away from zero; written without branches so that
// the conversion loops vectorise.
template <typename Float>
inline int32_t level(Float value) {
    Float scaled = value * Float(255);
    scaled = scaled > Float(0) ? scaled : Float(0);
    scaled = scaled < Float(255) ? scaled : Float(255);
    auto whole = static_cast<int32_t>(scaled);  // truncation: scaled is not negative
    return whole + (scaled - static_cast<Float>(whole) >= Float(0.5) ? 1 : 0);
}

template <typename Float>
inline uint8_t toByte(Float value) {
    return static_cast<uint8_t>(level(value));
}

// toByte of `count` single-precision samples. In blocks whose levels go
// through 32-bit integers first: the compiler vectorises the rounding and
// the narrowing to bytes as two plain loops, about twice as fast as one
// loop that does both.
void samplesToBytes(const float* in, uint8_t* out, uint64_t count) {
    constexpr uint64_t kBlock = 16;
    uint64_t x = 0;
    for (; x + kBlock <= count; x += kBlock) {
        int32_t levels[kBlock];
        for (uint64_t i = 0; i < kBlock; ++i)
            levels[i] = level(in[x + i]);
        for (uint64_t i = 0; i < kBlock; ++i)
            out[x + i] = static_cast<uint8_t>(levels[i]);
    }
    for (; x < count; ++x)
        out[x] = toByte(in[x]);
}

}  // namespace

BNSurfacePtr QFRenderNodeWithColorProfile(const BNRenderNodePtr& node,
                                          const std::shared_ptr<const BNColorProfile>& profile,
                                          VKRect rect, double scaleFactor) {
    BNRenderer renderer;
    renderer.setColorProfile(profile);
    return renderer.renderNode(node, rect, scaleFactor);
}

void QFConvertSurfaceToRGBA(const BNSurface& surface, bool keepPremultiplied, uint8_t* destination,
                            uint64_t destinationBytesPerRow, uint64_t columns, uint64_t rows) {
    uint64_t width = std::min(columns, surface.widthInPixels());
    uint64_t height = std::min(rows, surface.heightInPixels());
    int samples = surface.samplesPerPixel();
    for (uint64_t y = 0; y < height; ++y) {
        const float* in = surface.row(y);
        uint8_t* out = destination + y * destinationBytesPerRow;
        if (samples == 1) {
            for (uint64_t x = 0; x < width; ++x, out += 4) {
                uint8_t grey = toByte(static_cast<double>(in[x]));
                out[0] = out[1] = out[2] = grey;
                out[3] = 255;
            }
            continue;
        }
        if (samples != 4) {  // no 8-bit form: transparent
            std::fill(out, out + width * 4, uint8_t{0});
            continue;
        }
        samplesToBytes(in, out, width * 4);
        if (!keepPremultiplied) lf::unpremultiplyRGBA(out, out, width);  // on the tile's worker
    }
}

void QFCopyUnpremultipliedRGBA(
    const BNSurface& surface, bool keepPremultiplied,
    const std::function<void(const uint8_t*, uint64_t, uint64_t, uint64_t)>& consumer) {
    uint64_t width = surface.widthInPixels(), height = surface.heightInPixels();
    uint64_t bytesPerRow = width * 4;
    // Every byte is written below.
    auto bytes = std::make_unique_for_overwrite<uint8_t[]>(bytesPerRow * height);
    QFConvertSurfaceToRGBA(surface, keepPremultiplied, bytes.get(), bytesPerRow, width, height);
    consumer(bytes.get(), width, height, bytesPerRow);
}
