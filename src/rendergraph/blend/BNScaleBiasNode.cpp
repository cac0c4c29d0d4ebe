#include "rendergraph/blend/BNScaleBiasNode.h"

#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"
#include "rendergraph/core/BNSurfaceFill.h"
#include "rendergraph/core/BNSurfaceRegion.h"

std::shared_ptr<const BNScaleBiasNode> BNScaleBiasNode::create(BNRenderNodePtr input, double scale,
                                                               double bias, bool clamped,
                                                               bool biasFirst) {
    if (!BNHasInputs("BNScaleBiasNode", {input.get()})) return nullptr;
    return make<BNScaleBiasNode>(std::move(input), scale, bias, clamped, biasFirst);
}

BNScaleBiasNode::BNScaleBiasNode(CreationKey, BNRenderNodePtr input, double scale, double bias,
                                 bool clamped, bool biasFirst)
    : BNRenderNode({std::move(input)}),
      scale_(scale),
      bias_(bias),
      clamped_(clamped),
      biasFirst_(biasFirst) {}

BNChannelMask BNScaleBiasNode::channels() const {
    return inputNode(0)->channels();
}

VKRect BNScaleBiasNode::calculateBounds() const {
    return scale_ == 0.0 ? inputNode(0)->bounds() : VKRectInfinite;
}

void BNScaleBiasNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    context.updateValue(scale_);
    context.updateValue(bias_);
    context.updateFlag(clamped_);
    context.updateFlag(biasFirst_);
}

VKRect BNScaleBiasNode::regionOfInterestForInputNodeAtIndex(size_t, VKRect rect,
                                                            double scaleFactor) const {
    return BNRectWithinBounds(rect, inputNode(0)->bounds(), scaleFactor);
}

void BNScaleBiasNode::apply(const BNSurface& input, BNSurface& output) const {
    BNKernelPlane i(input), o(output);
    auto scale = static_cast<float>(scale_), bias = static_cast<float>(bias_);
    if (biasFirst_)
        TarrowBiasScalePlanar(i.data, o.data, o.width, o.height, i.stride, o.stride, bias, scale);
    else
        TarrowScaleBiasPlanar(i.data, o.data, o.width, o.height, i.stride, o.stride, scale, bias);
}

void BNScaleBiasNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                              BNRenderingContext&) const {
    const BNSurface& input = *inputs.at(0);
    if (!BNMaskIsOneChannel(output.channels()) || (input.data() && input.samplesPerPixel() != 1)) {
        lf::log("BNScaleBiasNode: unsupported input channels {}", input.channels());
        BNClearSurface(output);
        return;
    }
    if (VKRectEqualToRect(input.rect(), output.rect())) {
        apply(input, output);
        return;
    }
    // Outside the input: the node's function of the input's background
    // value, through the same kernel as the pixels inside.
    float background =
        inputNode(0)->backgroundValueForChannel(BNCoverageChannelOfMask(output.channels()));
    BNSurface one(VKRectMake(0, 0, 1, 1), 1.0, output.channels(), &background, sizeof(float),
                  nullptr);
    apply(one, one);
    BNFillSurface(output, background);
    if (!input.data()) return;
    BNSurfacePtr covered = output.subsurfaceWithRect(input.rect());
    if (covered) apply(input, *covered);
}
