#include "rendergraph/blend/BNConvertOpacityToFillNode.h"

#include "platform/core/Log.h"
#include "rendergraph/core/BNNodeInputs.h"
#include "rendergraph/core/BNRenderingContext.h"
#include "rendergraph/core/BNSurfaceFill.h"

std::shared_ptr<const BNConvertOpacityToFillNode> BNConvertOpacityToFillNode::create(
    BNRenderNodePtr input) {
    if (!BNHasInputs("BNConvertOpacityToFillNode", {input.get()})) return nullptr;
    if (!BNMaskHasChannel(input->channels(), BNChannelOpacity)) {
        lf::log("*** BNConvertOpacityToFillNode: Input node doesn't have an opacity channel");
        return nullptr;
    }
    return make<BNConvertOpacityToFillNode>(std::move(input));
}

BNConvertOpacityToFillNode::BNConvertOpacityToFillNode(CreationKey, BNRenderNodePtr input)
    : BNRenderNode({std::move(input)}),
      channels_(BNColorChannelsOfMask(inputNode(0)->channels()) | BNChannelMaskFill) {}

VKRect BNConvertOpacityToFillNode::calculateBounds() const {
    return inputNode(0)->bounds();
}

void BNConvertOpacityToFillNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "inputNode", 0);
}

BNSurfacePtr BNConvertOpacityToFillNode::preparedOutputSurface(VKRect rect, double scaleFactor,
                                                               const BNSurfaceList& inputs,
                                                               BNRenderingContext& context) const {
    BNSurfacePtr input = inputs.at(0)->subsurfaceWithRect(rect);
    if (!input || input->samplesPerPixel() != BNSamplesPerPixel(channels_)) {
        // An input with both opacity and fill loses a sample per pixel in
        // the relabelling, so its memory cannot be read under the new mask.
        lf::log("BNConvertOpacityToFillNode: cannot relabel channels {}", inputs.at(0)->channels());
        BNSurfacePtr output = context.surfaceWithRect(rect, scaleFactor, channels_);
        if (output) BNClearSurface(*output);
        return output;
    }
    input->incrementSubsurfaceCount();
    return std::make_shared<BNSurface>(rect, scaleFactor, channels_, input->data(),
                                       input->bytesPerRow(),
                                       [input](float*) { input->decrementSubsurfaceCount(); });
}
