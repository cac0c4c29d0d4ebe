// Reference forms of the streaming kernels (the shared bodies on one float
// lane), the copies, and the limit-to-mask kernel, which compares and
// multiplies in double and has no vector form.
#include "kernels/KernelRuntime.h"
#include "kernels/detail/KernelInstall.h"
#include "kernels/detail/StreamingKernelBodies.h"

#include <cmath>
#include <cstring>

namespace tarrow_detail {
namespace {

template <uint32_t kBytesPerPixel>
void copyPlane(const float* source, float* destination, uint32_t width, int32_t height,
               uint32_t sourceStride, uint32_t destinationStride) {
    if (height <= 0 || width == 0) return;
    const size_t rowBytes = size_t(width) * kBytesPerPixel;
    if (sourceStride == rowBytes && destinationStride == rowBytes) {
        std::memcpy(destination, source, rowBytes * size_t(height));
        return;
    }
    for (int32_t y = 0; y < height; ++y)
        std::memcpy(rowAt(destination, size_t(y), destinationStride),
                    rowAt(source, size_t(y), sourceStride), rowBytes);
}

constexpr TarrowCopyFn copyPlanar = &copyPlane<4>;
constexpr TarrowCopyFn copyRGBA = &copyPlane<16>;

// The threshold quantised to whole percent; T = 0 means "leave the input".
struct LimitLevels {
    int32_t t = 0;
    double level = 0.0;
    double factor = 0.0;
};

LimitLevels limitLevels(float threshold) {
    const double scaled = double(threshold) * 100.0 * 256.0 / 255.0 * 65280.0;
    // Negative, NaN or absurdly large thresholds must not reach the integer
    // conversion; a threshold above 1 still caps every sample.
    const int32_t percent = scaled > 0.0 ? int32_t(std::fmin(scaled, 2147483647.0)) >> 16 : 0;
    LimitLevels levels;
    levels.t = int32_t(std::floor(percent * 255.0 * 2.56));
    if (levels.t > 0) {
        levels.level = levels.t / 65280.0;
        levels.factor = (0xFF000000u / uint32_t(levels.t)) / 65280.0;
    }
    return levels;
}

void limitToMaskPlanar(const float* input, const float* mask, float* output, uint32_t width,
                       int32_t height, uint32_t inputStride, uint32_t maskStride,
                       uint32_t outputStride, float threshold) {
    const LimitLevels levels = limitLevels(threshold);
    for (int32_t y = 0; y < height; ++y) {
        const float* in = rowAt(input, size_t(y), inputStride);
        const float* m = rowAt(mask, size_t(y), maskStride);
        float* out = rowAt(output, size_t(y), outputStride);
        for (uint32_t x = 0; x < width; ++x) {
            const double cap = m[x] * levels.factor;
            out[x] = levels.t > 0 && m[x] < levels.level && cap < in[x] ? float(cap) : in[x];
        }
    }
}

}  // namespace

void installReferenceStreamingKernels(TarrowKernelSet& set) {
    installStreamingKernels<ScalarLanes>(set);
    TARROW_REFERENCE_STREAMING_KERNELS(TARROW_INSTALL_KERNEL)
}

}  // namespace tarrow_detail
