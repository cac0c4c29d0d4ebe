// Reference forms of the Blend If, lookup, gradient-map, colorize, contour
// and gamma crossfade kernels (LookupKernels.h).
#include "kernels/detail/BlendMath.h"
#include "kernels/detail/KernelInstall.h"
#include "kernels/detail/TableLookup.h"

namespace tarrow_detail {
namespace {

constexpr float kUnpremultiplyFloor = 0.00001f;

// Runs perPixel(in, out) over every pixel, `inFloats` and `outFloats` floats
// apart, once the table count is known to be usable.
template <uint32_t kInFloats, uint32_t kOutFloats, class Fn>
void forEachPixel(const float* input, float* output, uint32_t width, int32_t height,
                  uint32_t inputStride, uint32_t outputStride, Fn perPixel) {
    for (int32_t y = 0; y < height; ++y) {
        const float* in = rowAt(input, size_t(y), inputStride);
        float* out = rowAt(output, size_t(y), outputStride);
        for (uint32_t x = 0; x < width; ++x)
            perPixel(in + kInFloats * x, out + kOutFloats * x);
    }
}

float blendIfColorProduct(const float* p, const float* red, const float* green, const float* blue,
                          uint32_t count) {
    const float floor = max(p[3], kUnpremultiplyFloor);
    return lerp(red, count, tablePosition(p[0] / floor, count)) *
           lerp(green, count, tablePosition(p[1] / floor, count)) *
           lerp(blue, count, tablePosition(p[2] / floor, count));
}

void blendIfGray(const float* input, float* output, const float* table, uint32_t width,
                 int32_t height, uint32_t inputStride, uint32_t outputStride, uint32_t count) {
    if (!usableTable(count, width, height, "TarrowBlendIfGray")) return;
    forEachPixel<4, 1>(input, output, width, height, inputStride, outputStride,
                       [&](const float* p, float* out) {
                           const float floor = max(p[3], kUnpremultiplyFloor);
                           const Rgb<float> c{p[0] / floor, p[1] / floor, p[2] / floor};
                           *out = lerp(table, count, tablePosition(lum(c), count));
                       });
}

// The product of the three tables written, or multiplied into the output.
template <bool kMultiply>
void blendIfColorKernel(const float* input, float* output, const float* red, const float* green,
                        const float* blue, uint32_t width, int32_t height, uint32_t inputStride,
                        uint32_t outputStride, uint32_t count) {
    if (!usableTable(count, width, height, "TarrowBlendIfColor")) return;
    forEachPixel<4, 1>(input, output, width, height, inputStride, outputStride,
                       [&](const float* p, float* out) {
                           const float product = blendIfColorProduct(p, red, green, blue, count);
                           *out = kMultiply ? *out * product : product;
                       });
}

constexpr TarrowBlendIfColorFn blendIfColor = &blendIfColorKernel<false>;
constexpr TarrowBlendIfColorFn blendIfColorMultiply = &blendIfColorKernel<true>;

void lookupPlanar(const float* source, float* destination, const float* table, uint32_t width,
                  int32_t height, uint32_t sourceStride, uint32_t destinationStride,
                  uint32_t count) {
    if (!usableTable(count, width, height, "TarrowLookupPlanar")) return;
    forEachPixel<1, 4>(source, destination, width, height, sourceStride, destinationStride,
                       [&](const float* p, float* out) {
                           lerpRGBA(table, neighbours(tablePosition(*p, count), count), out);
                       });
}

void gradientMap(const float* source, float* destination, const float* table, uint32_t width,
                 int32_t height, uint32_t sourceStride, uint32_t destinationStride,
                 uint32_t count) {
    if (!usableTable(count, width, height, "TarrowGradientMap")) return;
    forEachPixel<4, 4>(source, destination, width, height, sourceStride, destinationStride,
                       [&](const float* p, float* out) {
                           const float k = 1.0f / max(p[3], kUnpremultiplyFloor);
                           const double luminance = 0.299987793 * double(p[0] * k) +
                                                    0.5900268555 * double(p[1] * k) +
                                                    0.1099853516 * double(p[2] * k);
                           // NaN and values outside [0, 1] land on the table's ends.
                           const double clamped =
                               luminance > 0.0 ? (luminance < 1.0 ? luminance : 1.0) : 0.0;
                           const double v = clamped * double(count - 1);
                           const uint32_t i = uint32_t(v);
                           const Neighbours n{i, i + 1 < count ? i + 1 : i, float(v - double(i))};
                           lerpRGBA(table, n, out);
                       });
}

void colorize(const float* source, float* destination, const float* red, const float* green,
              const float* blue, uint32_t width, int32_t height, uint32_t sourceStride,
              uint32_t destinationStride, uint32_t count) {
    if (!usableTable(count, width, height, "TarrowColorize")) return;
    forEachPixel<4, 4>(source, destination, width, height, sourceStride, destinationStride,
                       [&](const float* p, float* out) {
                           const float a = p[3], k = 1.0f / max(a, kUnpremultiplyFloor);
                           const Rgb<float> c{p[0] * k, p[1] * k, p[2] * k};
                           const float l = (maxOf(c) + minOf(c)) / 2.0f;
                           const Neighbours n = neighbours(tablePosition(l, count), count);
                           out[0] = lerp(red, n) * a;
                           out[1] = lerp(green, n) * a;
                           out[2] = lerp(blue, n) * a;
                           out[3] = a;
                       });
}

void contourPlanar(const float* source, float* destination, const float* table, uint32_t width,
                   int32_t height, uint32_t sourceStride, uint32_t destinationStride,
                   uint32_t count) {
    if (!usableTable(count, width, height, "TarrowContourPlanar")) return;
    forEachPixel<1, 1>(
        source, destination, width, height, sourceStride, destinationStride,
        [&](const float* p, float* out) { *out = lerp(table, count, tablePosition(*p, count)); });
}

void contourRGBA(const float* source, float* destination, const float* red, const float* green,
                 const float* blue, const float* alpha, uint32_t width, int32_t height,
                 uint32_t sourceStride, uint32_t destinationStride, uint32_t count) {
    if (!usableTable(count, width, height, "TarrowContourRGBA")) return;
    forEachPixel<4, 4>(source, destination, width, height, sourceStride, destinationStride,
                       [&](const float* p, float* out) {
                           const float a = lerp(alpha, count, tablePosition(p[3], count));
                           const float floor = max(p[3], kUnpremultiplyFloor);
                           const float* tables[3] = {red, green, blue};
                           for (int c = 0; c < 3; ++c)
                               out[c] =
                                   lerp(tables[c], count, tablePosition(p[c] / floor, count)) * a;
                           out[3] = a;
                       });
}

void gammaCrossfadeWithMaskRGBA(const float* background, const float* foreground, const float* mask,
                                float* output, uint32_t width, int32_t height,
                                uint32_t backgroundStride, uint32_t foregroundStride,
                                uint32_t maskStride, uint32_t outputStride, const float* toGamma,
                                const float* fromGamma, uint32_t count) {
    if (!usableTable(count, width, height, "TarrowGammaCrossfadeWithMaskRGBA")) return;
    auto toGammaOf = [&](float c) { return lerp(toGamma, count, tablePosition(c, count)); };
    for (int32_t y = 0; y < height; ++y) {
        const float* bg = rowAt(background, size_t(y), backgroundStride);
        const float* fg = rowAt(foreground, size_t(y), foregroundStride);
        const float* m = rowAt(mask, size_t(y), maskStride);
        float* out = rowAt(output, size_t(y), outputStride);
        for (uint32_t x = 0; x < width; ++x, bg += 4, fg += 4, out += 4) {
            const Px<float> under{bg[0], bg[1], bg[2], bg[3]}, over{fg[0], fg[1], fg[2], fg[3]};
            const float ws = m[x] * over.a, ar = ws + (1.0f - m[x]) * under.a;
            const float t = ar < kAlphaFloor ? 1.0f : ws / ar;
            const Rgb<float> cb = unpremultiplied(under), cf = unpremultiplied(over);
            auto mix = [&](float b, float f) {
                if (t >= 1.0f) return f;
                if (t <= 0.0f) return b;
                const float g = t * toGammaOf(f) + (1.0f - t) * toGammaOf(b);
                return lerp(fromGamma, count, tablePosition(g, count));
            };
            const Rgb<float> c{mix(cb.r, cf.r), mix(cb.g, cf.g), mix(cb.b, cf.b)};
            out[0] = ar * c.r;
            out[1] = ar * c.g;
            out[2] = ar * c.b;
            out[3] = ar;
        }
    }
}

}  // namespace

void installLookupKernels(TarrowKernelSet& set) {
    TARROW_LOOKUP_KERNELS(TARROW_INSTALL_KERNEL)
}

}  // namespace tarrow_detail
