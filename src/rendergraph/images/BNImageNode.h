#pragma once
// BNImageNode: brings a provider's pixels (a layer's channels) into the
// graph at their own place, one channel at a time, each channel's
// background value outside that channel's bounds. The provider delivers
// straight values; the node premultiplies the colour of RGBA and RGBF
// outputs by their fourth channel.
//
// The node works in document pixels and renders at scale 1 only (the
// renderer scales its pixels for other scales). Output pixel (i, j) shows
// the document pixel at the output rectangle's origin, made integral, plus
// (i, j). The provider is held strongly, may be called from several render
// threads at once, and takes part in the identity by address.

#include "rendergraph/core/BNRenderNode.h"
#include "rendergraph/images/BNImageProvider.h"

class BNImageNode final : public BNRenderNode {
public:
    // Null, with a log line, without a provider.
    static std::shared_ptr<const BNImageNode> create(
        std::shared_ptr<const BNImageProvider> provider);
    BNImageNode(CreationKey, std::shared_ptr<const BNImageProvider> provider);

    const std::shared_ptr<const BNImageProvider>& provider() const { return provider_; }
    // The position of a channel's sample within a pixel of the output.
    int offsetForChannel(BNChannel channel) const;

    const char* className() const override { return "BNImageNode"; }
    BNChannelMask channels() const override { return provider_->channels(); }
    // Infinite when any channel has a background other than 0 (NaN
    // included); else the union of the channels' bounds.
    VKRect calculateBounds() const override;
    float backgroundValueForChannel(BNChannel channel) const override {
        return provider_->backgroundValueForChannel(channel);
    }
    void updateHashContext(BNHashContext& context) const override;
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    std::shared_ptr<const BNImageProvider> provider_;
};

// The position of `channel`'s sample within a pixel of `mask`: the number
// of channels of the mask below it.
int BNSampleIndexOfChannel(BNChannelMask mask, BNChannel channel);

// Premultiplies the colour of an RGBA or RGBF surface by its fourth channel
// in place; surfaces of other layouts are left alone.
void BNPremultiplySurface(BNSurface& surface);
