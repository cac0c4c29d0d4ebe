// Reference forms of the gradient generators (GradientKernels.h).
#include "kernels/GradientKernels.h"

#include "kernels/KernelRuntime.h"
#include "kernels/detail/KernelInstall.h"
#include "kernels/detail/TableLookup.h"

#include <cfloat>
#include <cmath>

namespace tarrow_detail {
namespace {

constexpr float kPi = 3.14159265358979323846f;
constexpr float kDitherStep = 1.5318628e-05f;
constexpr float kDiamondDitherStep = 3.0517578125e-05f;

// Fills the plane with entries of the table: position(x, y) gives the entry
// index for the pixel at (x, y).
template <class Index>
void fillGradient(float* destination, const float* table, int32_t x0, int32_t y0, int32_t width,
                  int32_t height, uint32_t destinationStride, uint32_t count, bool dither,
                  float ditherStep, Index index) {
    if (width <= 0 || !usableTable(count, uint32_t(width), height, "gradient")) return;
    const uint8_t* noise = TarrowGetNoiseTable();
    uint32_t rowCounter = uint32_t(x0) + uint32_t(y0) * 1103515245u + 12345u;
    for (int32_t j = 0; j < height; ++j, rowCounter += 1103515245u) {
        float* out = rowAt(destination, size_t(j), destinationStride);
        const float y = float(int64_t(y0) + j);
        uint32_t counter = rowCounter;
        for (int32_t i = 0; i < width; ++i, out += 4, counter += 4) {
            const float* entry = table + 4 * size_t(index(float(int64_t(x0) + i), y));
            for (uint32_t c = 0; c < 4; ++c)
                out[c] = entry[c];
            if (dither)
                TarrowDitherPixel(out, ditherStep,
                                  [&](uint32_t c) { return noise[(counter + c) & 0x3FFF]; });
        }
    }
}

uint32_t indexAt(float t, uint32_t count) {
    return uint32_t(tablePosition(t, count));
}

// Angle theta of the line from start to end, as the linear and reflected
// gradients measure it, and the factor that maps distance along it to t.
struct Axis {
    float cosine, sine, k;
};
Axis axis(float startX, float startY, float endX, float endY) {
    const float dx = endX - startX, dy = endY - startY;
    const float length = std::sqrt(dx * dx + dy * dy);
    float theta = std::atan(std::fabs(dy / dx));
    if (endX < startX) theta = kPi - theta;
    if (endY < startY) theta = 2.0f * kPi - theta;
    return {std::cos(theta), std::sin(theta), length < 1.1920929e-07f ? FLT_MAX : 1.0f / length};
}

void angularGradient(float* destination, const float* table, int32_t x0, int32_t y0, int32_t width,
                     int32_t height, uint32_t destinationStride, uint32_t count, bool dither,
                     float cx, float cy, float angle) {
    const float turn = angle / 360.0f;
    fillGradient(destination, table, x0, y0, width, height, destinationStride, count, dither,
                 kDitherStep, [=](float x, float y) {
                     float t = ((std::atan2(y - cy, x - cx) / kPi) + 1.0f) / 2.0f + 0.5f + turn;
                     // Subtracting whole numbers at once equals repeated
                     // subtraction of 1 and cannot loop on huge angles.
                     if (t > 1.0f) t -= std::ceil(t - 1.0f);
                     const uint32_t i = indexAt(t, count);
                     return i == count - 1 ? 0 : i;
                 });
}

void diamondGradient(float* destination, const float* table, int32_t x0, int32_t y0, int32_t width,
                     int32_t height, uint32_t destinationStride, uint32_t count, bool dither,
                     float cx, float cy, float angle, float radius) {
    const float c = std::cos(angle * kPi / 180.0f), s = std::sin(angle * kPi / 180.0f);
    fillGradient(destination, table, x0, y0, width, height, destinationStride, count, dither,
                 kDiamondDitherStep, [=](float x, float y) {
                     const float dx = x - cx, dy = y - cy;
                     return indexAt(
                         (std::fabs(c * dx - s * dy) + std::fabs(s * dx + c * dy)) / radius, count);
                 });
}

void linearGradient(float* destination, const float* table, int32_t x0, int32_t y0, int32_t width,
                    int32_t height, uint32_t destinationStride, uint32_t count, bool dither,
                    float startX, float startY, float endX, float endY) {
    const Axis a = axis(startX, startY, endX, endY);
    fillGradient(destination, table, x0, y0, width, height, destinationStride, count, dither,
                 kDitherStep, [=](float x, float y) {
                     return indexAt(((x - startX) * a.cosine + (y - startY) * a.sine) * a.k, count);
                 });
}

void radialGradient(float* destination, const float* table, int32_t x0, int32_t y0, int32_t width,
                    int32_t height, uint32_t destinationStride, uint32_t count, bool dither,
                    float cx, float cy, float radius) {
    fillGradient(destination, table, x0, y0, width, height, destinationStride, count, dither,
                 kDitherStep, [=](float x, float y) {
                     const float dx = x - cx, dy = y - cy;
                     return indexAt(std::sqrt(dx * dx + dy * dy) / radius, count);
                 });
}

void reflectedGradient(float* destination, const float* table, int32_t x0, int32_t y0,
                       int32_t width, int32_t height, uint32_t destinationStride, uint32_t count,
                       bool dither, float startX, float startY, float endX, float endY) {
    const Axis a = axis(startX, startY, endX, endY);
    fillGradient(destination, table, x0, y0, width, height, destinationStride, count, dither,
                 kDitherStep, [=](float x, float y) {
                     const float t = ((x - startX) * a.cosine + (y - startY) * a.sine) * a.k;
                     return uint32_t(std::fabs(2.0f * clamp01(t) - 1.0f) * float(count - 1));
                 });
}

}  // namespace

void installGradientKernels(TarrowKernelSet& set) {
    TARROW_GRADIENT_KERNELS(TARROW_INSTALL_KERNEL)
}

}  // namespace tarrow_detail
