#include "rendergraph/adjustments/BNShadeNode.h"

#include "kernels/LookupKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNInputMargin.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNSurfaceFill.h"

std::shared_ptr<const BNShadeNode> BNShadeNode::create(BNRenderNodePtr input, double direction,
                                                       double elevation, double size,
                                                       double depth) {
    return make<BNShadeNode>(std::move(input), direction, elevation, size, depth);
}

BNShadeNode::BNShadeNode(CreationKey, BNRenderNodePtr input, double direction, double elevation,
                         double size, double depth)
    : BNRenderNode({std::move(input)}),
      direction_(direction),
      elevation_(elevation),
      size_(size),
      depth_(depth) {}

BNChannelMask BNShadeNode::channels() const {
    return inputNode(0) ? inputNode(0)->channels() : BNRenderNode::channels();
}

VKRect BNShadeNode::regionOfInterestForInputNodeAtIndex(size_t, VKRect rect, double) const {
    return VKRectInset(rect, -1.0, -1.0);
}

void BNShadeNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    context.updateValue(direction_);
    context.updateValue(elevation_);
    context.updateValue(size_);
    context.updateValue(depth_);
}

void BNShadeNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                          BNRenderingContext&) const {
    const BNSurface& input = *inputs.at(0);
    std::optional<BNMargin> margin = BNInputMargin(input, output);
    if (!margin || margin->x < 1 || margin->y < 1 || !BNMaskIsOneChannel(input.channels()) ||
        input.channels() != output.channels()) {
        // Pool memory is never cleared: leave a defined, unlit result.
        lf::log("BNShadeNode: cannot shade an input of channels 0x{:x}", input.channels());
        BNClearSurface(output);
        return;
    }
    // The input reaches one point beyond the output, which is more than one
    // pixel above scale 1: start the kernel's window one pixel before the
    // output so that it is centred on each output pixel at every scale.
    const float* window = input.row(margin->y - 1) + (margin->x - 1);
    BNKernelPlane out(output);
    TarrowShade(window, out.data, out.width, out.height, static_cast<uint32_t>(input.bytesPerRow()),
                out.stride, static_cast<float>(direction_), static_cast<float>(elevation_),
                static_cast<float>(size_ * output.scaleFactor()), static_cast<float>(depth_));
}
