#include "rendergraph/masks/BNEffectMaskHackNode.h"

#include "kernels/MaskKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNNodeInputs.h"

std::shared_ptr<const BNEffectMaskHackNode> BNEffectMaskHackNode::create(
    BNRenderNodePtr interior, BNRenderNodePtr exterior, BNRenderNodePtr shape,
    BNRenderNodePtr factorMask) {
    if (!BNHasInputs("BNEffectMaskHackNode",
                     {interior.get(), exterior.get(), shape.get(), factorMask.get()}))
        return nullptr;
    for (const auto* input : {interior.get(), exterior.get(), shape.get(), factorMask.get()}) {
        if (!BNMaskIsOneChannel(input->channels())) {
            lf::log("BNEffectMaskHackNode only supports one-channel inputs: 0x{:x}",
                    input->channels());
            return nullptr;
        }
    }
    return make<BNEffectMaskHackNode>(std::move(interior), std::move(exterior), std::move(shape),
                                      std::move(factorMask));
}

BNEffectMaskHackNode::BNEffectMaskHackNode(CreationKey, BNRenderNodePtr interior,
                                           BNRenderNodePtr exterior, BNRenderNodePtr shape,
                                           BNRenderNodePtr factorMask)
    : BNRenderNode(
          {std::move(interior), std::move(exterior), std::move(shape), std::move(factorMask)}) {}

VKRect BNEffectMaskHackNode::calculateBounds() const {
    VKRect bounds = inputNode(0)->bounds();
    for (size_t index = 1; index < 4; ++index)
        bounds = VKRectUnion(bounds, inputNode(index)->bounds());
    return bounds;
}

void BNEffectMaskHackNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "interior", 0);
    updateHashContextWithInput(context, "exterior", 1);
    updateHashContextWithInput(context, "shape", 2);
    updateHashContextWithInput(context, "factorMask", 3);
}

void BNEffectMaskHackNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                   BNRenderingContext&) const {
    BNKernelPlane i(*inputs.at(0)), e(*inputs.at(1)), s(*inputs.at(2)), f(*inputs.at(3)), o(output);
    TarrowEffectMaskPlanar(i.data, e.data, s.data, f.data, o.data, o.width, o.height, i.stride,
                           e.stride, s.stride, f.stride, o.stride);
}
