// Reference forms of the hue/saturation and shade kernels (LookupKernels.h).
#include "kernels/detail/BlendMath.h"
#include "kernels/detail/KernelInstall.h"
#include "kernels/detail/TableLookup.h"

#include <cmath>
#include <utility>
#include <vector>

namespace tarrow_detail {
namespace {

// The hexagonal hue sector, 0 to 6, of a colour with chroma ch.
float hueSector(const Rgb<float>& c, float ch) {
    if (ch < 0.001f) return 0.0f;
    if (c.r >= c.g && c.r >= c.b) return c.b > c.g ? 6.0f - (c.b - c.g) / ch : (c.g - c.b) / ch;
    if (c.g >= c.b) return 2.0f + (c.b - c.r) / ch;
    return 4.0f + (c.r - c.g) / ch;
}

// The colour of hue hs (sector units), chroma ch and minimum m.
Rgb<float> rebuild(float hs, float ch, float m) {
    if (hs < 1.0f) return {ch + m, hs * ch + m, m};
    if (hs < 2.0f) return {m + ch * (2.0f - hs), ch + m, m};
    if (hs < 3.0f) return {m, ch + m, m + ch * (hs - 2.0f)};
    if (hs < 4.0f) return {m, m + ch * (4.0f - hs), ch + m};
    if (hs < 5.0f) return {m + ch * (hs - 4.0f), m, ch + m};
    return {ch + m, m, m + ch * (6.0f - hs)};
}

void hueSaturation(const float* source, float* destination, const float* hueTable,
                   const float* saturationTable, const float* lightnessTable,
                   const float* lightnessLookup, uint32_t width, int32_t height,
                   uint32_t sourceStride, uint32_t destinationStride, uint32_t tableCount,
                   uint32_t lookupCount) {
    if (!usableTable(tableCount, width, height, "TarrowHueSaturation") ||
        !usableTable(lookupCount, width, height, "TarrowHueSaturation"))
        return;
    const float lastEntry = float(tableCount - 1);
    for (int32_t y = 0; y < height; ++y) {
        const float* in = rowAt(source, size_t(y), sourceStride);
        float* out = rowAt(destination, size_t(y), destinationStride);
        for (uint32_t x = 0; x < width; ++x, in += 4, out += 4) {
            const float a = in[3], k = 1.0f / max(a, 0.0001f);
            auto adjusted = [&](float v) {
                return lerp(lightnessLookup, lookupCount, tablePosition(v * k, lookupCount));
            };
            const Rgb<float> c{adjusted(in[0]), adjusted(in[1]), adjusted(in[2])};
            float mx = maxOf(c), mn = minOf(c), ch = mx - mn;
            const float h = hueSector(c, ch);
            // roundf of a value clamped to the table (NaN lands on entry 0).
            const uint32_t i = uint32_t(std::roundf(clamp01(h / 6.0f) * lastEntry));
            // The range lightness moves every channel toward the largest
            // (lighter) or the smallest (darker), narrowing the chroma and
            // keeping the hue; at 1 or -1 the colour is grey.
            const float l = lightnessTable[i];
            if (l > 0.0f) mn += l * ch;
            if (l < 0.0f) mx += l * ch;
            ch = mx - mn;
            const float sum = mx + mn;
            const float fold = sum > 1.0f ? 2.0f - sum : sum;
            const float chroma = min(ch * saturationTable[i], fold);
            const float m = (sum - chroma) / 2.0f;
            const Rgb<float> result = rebuild(hueTable[i] / 60.0f, chroma, m);
            out[0] = result.r * a;
            out[1] = result.g * a;
            out[2] = result.b * a;
            out[3] = a;
        }
    }
}

// Angles below 0 brought to 0 or above by whole turns; non-finite ones to 0.
float nonNegativeDegrees(float degrees) {
    if (!std::isfinite(degrees)) return 0.0f;
    return degrees < 0.0f ? std::fmod(degrees, 360.0f) + 360.0f : degrees;
}

void shade(const float* source, float* destination, uint32_t width, int32_t height,
           uint32_t sourceStride, uint32_t destinationStride, float direction, float elevation,
           float size, float depth) {
    if (width == 0 || height <= 0) return;
    constexpr double kRadians = 0.017453292;
    const double directionRadians = nonNegativeDegrees(direction) * kRadians;
    const double elevationRadians = nonNegativeDegrees(elevation) * kRadians;
    const float sizeDepth = size * depth;
    const float w = sizeDepth > 1.0f ? sizeDepth : 1.0f;  // NaN counts as 1
    const double nz = 1530.0 / w;
    const float ce = float(std::cos(elevationRadians) * 255.9);
    const float se = float(std::sin(elevationRadians) * 255.9);
    const int64_t lx = int64_t(std::cos(directionRadians) * ce);
    const int64_t ly = int64_t(std::sin(directionRadians) * ce);
    const int64_t nzlz = int64_t(se * nz);
    const int64_t nz2 = int64_t(nz * nz);
    const int64_t flat = int64_t(se * 256.0f);

    // Quantised samples of the three source rows of an output row.
    std::vector<int64_t> rows[3];
    for (auto& row : rows)
        row.resize(size_t(width) + 2);
    auto quantise = [&](int32_t sourceRow, std::vector<int64_t>& row) {
        const float* s = rowAt(source, size_t(sourceRow), sourceStride);
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = int64_t(clamp01(s[i]) * 65280.0f + 0.5f);
    };
    // Each source row is quantised once: the window moves down one row per
    // output row, keeping the two rows it shares with the one before.
    quantise(0, rows[1]);
    quantise(1, rows[2]);
    for (int32_t y = 0; y < height; ++y) {
        std::swap(rows[0], rows[1]);
        std::swap(rows[1], rows[2]);
        quantise(y + 2, rows[2]);
        float* out = rowAt(destination, size_t(y), destinationStride);
        for (uint32_t i = 0; i < width; ++i) {
            const int64_t nx = (rows[0][i] + rows[1][i] + rows[2][i]) -
                               (rows[0][i + 2] + rows[1][i + 2] + rows[2][i + 2]);
            const int64_t ny = (rows[2][i] + rows[2][i + 1] + rows[2][i + 2]) -
                               (rows[0][i] + rows[0][i + 1] + rows[0][i + 2]);
            int64_t value = flat;
            if (nx != 0 || ny != 0) {
                const int64_t sx = nx / 256, sy = ny / 256;
                const int64_t d = ly * sy + lx * sx + nzlz;
                const int64_t q = sx * sx + sy * sy + nz2;
                value = d > 0 && q > 0 ? int64_t(double(d) / std::sqrt(double(q)) * 256.0) : 0;
                value = value < 0 ? 0 : (value > 65280 ? 65280 : value);
            }
            out[i] = float(value) / 65280.0f;
        }
    }
}

}  // namespace

void installAdjustmentKernels(TarrowKernelSet& set) {
    TARROW_ADJUSTMENT_KERNELS(TARROW_INSTALL_KERNEL)
}

}  // namespace tarrow_detail
