#pragma once
// The margin by which an input surface reaches beyond a node's output, for
// nodes that read a neighbourhood of every output pixel (strokes, distance
// fields, shading). Their region of interest grows the output rectangle by
// the same amount on every side, so the input holds the output's pixels
// with a margin of whole pixels around them.

#include "rendergraph/core/BNSurface.h"

#include <cmath>
#include <cstdint>
#include <optional>

struct BNMargin {
    uint64_t x = 0;  // pixels on the left and on the right
    uint64_t y = 0;  // pixels at the top and at the bottom
};

// The margin of `input` around `output`, both at the same scale, taken from
// the distance between their top-left corners; nullopt when the input does
// not hold the output with that margin on every side (it has no pixels, or
// starts after the output, or ends too early).
inline std::optional<BNMargin> BNInputMargin(const BNSurface& input, const BNSurface& output) {
    if (!input.data() || input.scaleFactor() != output.scaleFactor()) return std::nullopt;
    const double s = output.scaleFactor();
    const double left = std::round((output.rect().origin.x - input.rect().origin.x) * s);
    const double top = std::round((output.rect().origin.y - input.rect().origin.y) * s);
    if (!(left >= 0.0 && left <= double(input.widthInPixels()) && top >= 0.0 &&
          top <= double(input.heightInPixels())))
        return std::nullopt;
    BNMargin margin{static_cast<uint64_t>(left), static_cast<uint64_t>(top)};
    if (input.widthInPixels() < output.widthInPixels() + 2 * margin.x ||
        input.heightInPixels() < output.heightInPixels() + 2 * margin.y)
        return std::nullopt;
    return margin;
}

// The input's sample 0 under the output's first pixel, or null when the
// input does not cover the output.
inline const float* BNInputOverOutput(const BNSurface& input, const BNSurface& output) {
    std::optional<BNMargin> margin = BNInputMargin(input, output);
    if (!margin) return nullptr;
    return input.row(margin->y) + margin->x * static_cast<uint64_t>(input.samplesPerPixel());
}
