#pragma once
// Table interpolation shared by the lookup, adjustment and gradient kernels
// (reference forms only). LookupKernels.h states the rule.

#include "kernels/KernelRuntime.h"
#include "kernels/detail/ScalarLanes.h"

namespace tarrow_detail {
namespace {

// Whether a table of `count` entries can be read; reports through
// TarrowError when not and there is something to draw.
inline bool usableTable(uint32_t count, uint32_t width, int32_t height, const char* kernel) {
    if (count > 0 || width == 0 || height <= 0) return count > 0;
    TarrowError("%s: a lookup table needs at least one entry", kernel);
    return false;
}

// Position in [0, count - 1] of a value clamped to [0, 1] (NaN counts as 0).
inline float tablePosition(float value, uint32_t count) {
    return clamp01(value) * float(count - 1);
}

// Entry i of a table of `count` entries (`floats` floats each) and the entry
// above it, which is entry i itself at the end.
struct Neighbours {
    uint32_t lower, upper;
    float fraction;
};
inline Neighbours neighbours(float position, uint32_t count) {
    uint32_t i = uint32_t(position);
    if (i > count - 1) i = count - 1;
    return {i, i + 1 < count ? i + 1 : i, position - float(i)};
}

inline float lerp(const float* table, const Neighbours& n, uint32_t floats = 1,
                  uint32_t channel = 0) {
    return table[n.lower * floats + channel] * (1.0f - n.fraction) +
           table[n.upper * floats + channel] * n.fraction;
}
inline float lerp(const float* table, uint32_t count, float position) {
    return lerp(table, neighbours(position, count));
}

// Writes the four interpolated channels of an RGBA table.
inline void lerpRGBA(const float* table, const Neighbours& n, float* out) {
    for (uint32_t c = 0; c < 4; ++c)
        out[c] = lerp(table, n, 4, c);
}

}  // namespace
}  // namespace tarrow_detail
