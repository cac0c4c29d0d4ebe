#include "compositing/QFRGBAConversion.h"

#include "rendergraph/BNRenderer.h"

#include <cmath>
#include <vector>

namespace {

template <typename Float>
uint8_t toByte(Float value) {
    Float scaled = value * Float(255);
    if (!(scaled > Float(0))) return 0;  // also not-a-number
    if (scaled >= Float(255)) return 255;
    return static_cast<uint8_t>(std::round(scaled));
}

uint8_t unpremultiplied(uint8_t colour, uint8_t coverage) {
    if (coverage == 0) return 0;
    unsigned value = (unsigned{colour} * 255 + coverage / 2) / coverage;
    return static_cast<uint8_t>(value > 255 ? 255 : value);
}

}  // namespace

BNSurfacePtr QFRenderNodeWithColorProfile(const BNRenderNodePtr& node,
                                          const std::shared_ptr<const BNColorProfile>& profile,
                                          VKRect rect, double scaleFactor) {
    BNRenderer renderer;
    renderer.setColorProfile(profile);
    return renderer.renderNode(node, rect, scaleFactor);
}

void QFCopyUnpremultipliedRGBA(const BNSurface& surface, bool keepPremultiplied,
                               const std::function<void(const uint8_t*, uint64_t, uint64_t, uint64_t)>& consumer) {
    uint64_t width = surface.widthInPixels(), height = surface.heightInPixels();
    uint64_t bytesPerRow = width * 4;
    std::vector<uint8_t> bytes(bytesPerRow * height);
    int samples = surface.samplesPerPixel();
    for (uint64_t y = 0; y < height; ++y) {
        const float* in = surface.row(y);
        uint8_t* out = bytes.data() + y * bytesPerRow;
        if (samples == 1) {
            for (uint64_t x = 0; x < width; ++x, out += 4) {
                uint8_t grey = toByte(static_cast<double>(in[x]));
                out[0] = out[1] = out[2] = grey;
                out[3] = 255;
            }
            continue;
        }
        if (samples != 4) continue;  // no 8-bit form: left transparent
        for (uint64_t x = 0; x < width * 4; ++x) out[x] = toByte(in[x]);
        if (keepPremultiplied) continue;
        for (uint64_t x = 0; x < width; ++x, out += 4)
            for (int k = 0; k < 3; ++k) out[k] = unpremultiplied(out[k], out[3]);
    }
    consumer(bytes.data(), width, height, bytesPerRow);
}
