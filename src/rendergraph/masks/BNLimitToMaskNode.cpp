#include "rendergraph/masks/BNLimitToMaskNode.h"

#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"

#include <cmath>

std::shared_ptr<const BNLimitToMaskNode> BNLimitToMaskNode::create(BNRenderNodePtr input,
                                                                   BNRenderNodePtr mask,
                                                                   double lowerThreshold) {
    if (!BNHasInputs("BNLimitToMaskNode", {input.get(), mask.get()})) return nullptr;
    if (!BNMaskIsOneChannel(input->channels())) {
        lf::log("BNLimitToMaskNode: input must only have an opacity or fill channel: 0x{:x}",
                input->channels());
        return nullptr;
    }
    if (!BNMaskIsOneChannel(mask->channels())) {
        lf::log("BNLimitToMaskNode: mask must only have an opacity or fill channel");
        return nullptr;
    }
    return make<BNLimitToMaskNode>(std::move(input), std::move(mask), lowerThreshold);
}

BNLimitToMaskNode::BNLimitToMaskNode(CreationKey, BNRenderNodePtr input, BNRenderNodePtr mask,
                                     double lowerThreshold)
    : BNRenderNode({std::move(input), std::move(mask)}), lowerThreshold_(lowerThreshold) {}

bool BNLimitToMaskNode::limitsInput() const {
    // As the kernel quantises its single-precision threshold: whole percent
    // in the top bits of a 16.16 fixed-point value.
    double scaled = double(static_cast<float>(lowerThreshold_)) * 100.0 * 256.0 / 255.0 * 65280.0;
    return scaled >= 65536.0;
}

VKRect BNLimitToMaskNode::calculateBounds() const {
    return inputNode(limitsInput() ? 1 : 0)->bounds();
}

void BNLimitToMaskNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    updateHashContextWithInput(context, "mask", 1);
    context.updateValue(lowerThreshold_);
}

void BNLimitToMaskNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                BNRenderingContext&) const {
    BNKernelPlane i(*inputs.at(0)), m(*inputs.at(1)), o(output);
    TarrowLimitToMaskPlanar(i.data, m.data, o.data, o.width, o.height, i.stride, m.stride, o.stride,
                            static_cast<float>(lowerThreshold_));
}
