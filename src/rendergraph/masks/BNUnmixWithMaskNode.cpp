#include "rendergraph/masks/BNUnmixWithMaskNode.h"

#include "platform/core/Log.h"
#include "rendergraph/core/BNNodeInputs.h"

#include <algorithm>

namespace {

// Below this mask value nothing counts as mixed in, as the divide-mask
// node's floor has it.
constexpr float kMaskFloor = 0.0001f;

}  // namespace

std::shared_ptr<const BNUnmixWithMaskNode> BNUnmixWithMaskNode::create(BNRenderNodePtr background,
                                                                       BNRenderNodePtr mixed,
                                                                       BNRenderNodePtr mask) {
    if (!BNHasInputs("BNUnmixWithMaskNode", {background.get(), mixed.get(), mask.get()}))
        return nullptr;
    if (background->channels() != BNChannelMaskRGBA || mixed->channels() != BNChannelMaskRGBA ||
        mask->channels() != BNChannelMaskOpacity) {
        lf::log("BNUnmixWithMaskNode needs RGBA pictures and an opacity mask");
        return nullptr;
    }
    return make<BNUnmixWithMaskNode>(std::move(background), std::move(mixed), std::move(mask));
}

BNUnmixWithMaskNode::BNUnmixWithMaskNode(CreationKey, BNRenderNodePtr background,
                                         BNRenderNodePtr mixed, BNRenderNodePtr mask)
    : BNRenderNode({std::move(background), std::move(mixed), std::move(mask)}) {}

VKRect BNUnmixWithMaskNode::calculateBounds() const {
    return VKRectUnion(inputNode(0)->bounds(), inputNode(1)->bounds());
}

void BNUnmixWithMaskNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "background", 0);
    updateHashContextWithInput(context, "mixed", 1);
    updateHashContextWithInput(context, "mask", 2);
}

void BNUnmixWithMaskNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                  BNRenderingContext&) const {
    const BNSurface &background = *inputs.at(0), &mixed = *inputs.at(1), &mask = *inputs.at(2);
    for (uint64_t y = 0; y < output.heightInPixels(); ++y) {
        const float *b = background.row(y), *p = mixed.row(y), *m = mask.row(y);
        float* out = output.row(y);
        for (uint64_t x = 0; x < output.widthInPixels(); ++x, b += 4, p += 4, out += 4) {
            if (!(m[x] >= kMaskFloor)) {
                std::copy(p, p + 4, out);
                continue;
            }
            const float k = 1.0f / std::min(m[x], 1.0f);
            out[3] = std::clamp(b[3] + (p[3] - b[3]) * k, 0.0f, 1.0f);
            for (int c = 0; c < 3; ++c)
                out[c] = std::clamp(b[c] + (p[c] - b[c]) * k, 0.0f, out[3]);
        }
    }
}
