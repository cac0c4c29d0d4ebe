#pragma once
// The pixel loop of colour adjustments that work on straight colour: each
// pixel of the input under the output is unpremultiplied, adjusted and
// premultiplied again with its own alpha.

#include "platform/core/Log.h"
#include "rendergraph/core/BNInputMargin.h"
#include "rendergraph/core/BNSurfaceFill.h"

#include <algorithm>
#include <cstdint>

// Calls `adjust(float (&color)[3])` with every pixel's straight colour (alpha
// floored at 0.0001, so clear pixels divide safely) and writes the result
// back premultiplied. An input that is not four channels covering the
// output gives a cleared output and one log line naming `node`.
template <class Adjust>
void BNAdjustStraightColor(const char* node, const BNSurface& input, BNSurface& output,
                           Adjust adjust) {
    const float* source = BNInputOverOutput(input, output);
    if (!source || !BNMaskIsFourChannel(input.channels())) {
        lf::log("{}: unsupported input", node);
        BNClearSurface(output);
        return;
    }
    for (uint64_t y = 0; y < output.heightInPixels(); ++y) {
        const float* in = reinterpret_cast<const float*>(reinterpret_cast<const uint8_t*>(source) +
                                                         y * input.bytesPerRow());
        float* out = output.row(y);
        for (uint64_t x = 0; x < output.widthInPixels(); ++x, in += 4, out += 4) {
            const float a = in[3];
            const float unpremultiply = 1.0f / std::max(a, 0.0001f);
            float c[3] = {in[0] * unpremultiply, in[1] * unpremultiply, in[2] * unpremultiply};
            adjust(c);
            for (int k = 0; k < 3; ++k)
                out[k] = c[k] * a;
            out[3] = a;
        }
    }
}
