#include "rendergraph/core/BNSurfaceVerification.h"

#include "platform/core/Log.h"
#include "rendergraph/core/BNRenderRequest.h"

#include <cstdio>
#include <cstdlib>

namespace {

// NaN fails too.
bool inUnitRange(float value) {
    return value >= 0.0f && value <= 1.0f;
}

}  // namespace

bool BNVerifyGraySurface(const BNSurface& surface) {
    for (uint64_t y = 0; y < surface.heightInPixels(); ++y)
        for (uint64_t x = 0; x < surface.widthInPixels(); ++x) {
            float value = surface.row(y)[x];
            if (!inUnitRange(value)) {
                std::printf("Out of range: %g\n", value);
                return false;
            }
        }
    return true;
}

bool BNVerifyRGBASurface(const BNSurface& surface) {
    for (uint64_t y = 0; y < surface.heightInPixels(); ++y)
        for (uint64_t x = 0; x < surface.widthInPixels(); ++x) {
            const float* p = surface.row(y) + x * 4;
            for (int k = 0; k < 4; ++k)
                if (!inUnitRange(p[k])) {
                    std::printf("Out of range: %g\n", p[k]);
                    lf::log("RGBA: Individual value out of range");
                    return false;
                }
            if (p[0] > p[3] || p[1] > p[3] || p[2] > p[3]) {
                lf::log("RGBA: pixel is not premultiplied: {:g}, {:g}, {:g}, {:g}", p[0], p[1],
                        p[2], p[3]);
                return false;
            }
        }
    return true;
}

bool BNVerifySurface(const BNSurface& surface) {
    if (surface.channels() == BNChannelMaskOpacity) return BNVerifyGraySurface(surface);
    if (BNMaskIsFourChannel(surface.channels())) return BNVerifyRGBASurface(surface);
    return false;
}

void BNVerifyRequestSurface(const BNRenderRequest& request) {
    const BNSurfacePtr& surface = request.surface();
    if (surface && BNVerifySurface(*surface)) return;
    std::string inputs;
    for (const auto* input : request.inputRequests())
        inputs += input->description() + " ";
    lf::log("Bad surface: {}, inputs = {}", request.node()->debugDescription(), inputs);
    if (surface) surface->debugDumpWithName("BadSurface");
    std::exit(EXIT_FAILURE);
}
