// Reference forms of the noise kernels (NoiseKernels.h).
#include "kernels/KernelRuntime.h"
#include "kernels/detail/KernelInstall.h"
#include "kernels/detail/ScalarLanes.h"

namespace tarrow_detail {
namespace {

// The signed noise of image column `column` in a row whose hash is `rowHash`.
float noiseAt(const uint8_t* table, int32_t rowHash, uint32_t column) {
    const uint32_t index = ((column ^ uint32_t(rowHash)) * 1103515245u + 12345u) >> 3 & 0x3FFF;
    return float(int8_t(table[index]));
}

int32_t rowHash(int32_t y, int32_t r) {
    return int32_t((uint32_t(y) + uint32_t(r)) * 1103515245u + 12345u) >> 3;
}

float noisy(float value, float noise, float amount) {
    return clamp01(value + noise * amount / 128.0f);
}

void addNoisePlanar(const float* input, float* output, int32_t x, int32_t y, uint32_t width,
                    int32_t height, float amount, uint32_t inputStride, uint32_t outputStride) {
    const uint8_t* table = TarrowGetNoiseTable();
    for (int32_t r = 0; r < height; ++r) {
        const float* in = rowAt(input, size_t(r), inputStride);
        float* out = rowAt(output, size_t(r), outputStride);
        const int32_t hash = rowHash(y, r);
        for (uint32_t c = 0; c < width; ++c) {
            const float v = in[c];
            out[c] = v == 0.0f ? v : noisy(v, noiseAt(table, hash, uint32_t(x) + c), amount);
        }
    }
}

void addNoiseRGBA(const float* input, float* output, int32_t x, int32_t y, uint32_t width,
                  int32_t height, float redAmount, float greenAmount, float blueAmount,
                  float opacityAmount, uint32_t inputStride, uint32_t outputStride) {
    const uint8_t* table = TarrowGetNoiseTable();
    for (int32_t r = 0; r < height; ++r) {
        const float* in = rowAt(input, size_t(r), inputStride);
        float* out = rowAt(output, size_t(r), outputStride);
        const int32_t hash = rowHash(y, r);
        for (uint32_t c = 0; c < width; ++c, in += 4, out += 4) {
            const float n = noiseAt(table, hash, uint32_t(x) + c);
            const float a = in[3];
            out[0] = noisy(in[0], n, redAmount);
            out[1] = noisy(in[1], n, greenAmount);
            out[2] = noisy(in[2], n, blueAmount);
            out[3] = a > 0.0f ? noisy(a, n, opacityAmount) : 0.0f;
        }
    }
}

}  // namespace

void installNoiseKernels(TarrowKernelSet& set) {
    TARROW_NOISE_KERNELS(TARROW_INSTALL_KERNEL)
}

}  // namespace tarrow_detail
