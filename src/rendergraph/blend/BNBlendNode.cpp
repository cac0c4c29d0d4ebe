#include "rendergraph/blend/BNBlendNode.h"

#include "geometry/VKRegion.h"
#include "kernels/BlendKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNSurfaceFill.h"
#include "rendergraph/core/BNSurfaceRegion.h"
#include "rendergraph/images/BNTransparentNode.h"

#include <algorithm>
#include <cmath>

namespace {

bool hasPixels(const BNSurface& surface) {
    return surface.data() && surface.widthInPixels() > 0 && surface.heightInPixels() > 0;
}

// The background as the blend reads it: a four-sample surface with pixels,
// or nothing. A background of another layout cannot be read as RGBA; the
// output then holds the background values there instead.
const BNSurface* readableBackground(const BNSurface& background) {
    if (!hasPixels(background)) return nullptr;
    if (background.samplesPerPixel() == 4) return &background;
    lf::log("BNBlendNode: unsupported background channels {}", background.channels());
    return nullptr;
}

// An origin in points as the kernels take it (and none reads): truncated,
// 0 where it does not fit.
int32_t kernelOrigin(double points) {
    return std::fabs(points) < 2147483647.0 ? static_cast<int32_t>(points) : 0;
}

}  // namespace

std::shared_ptr<const BNBlendNode> BNBlendNode::create(BNRenderNodePtr background,
                                                       BNRenderNodePtr foreground,
                                                       BNBlendMode blendMode, double opacity,
                                                       double fill) {
    if (!background || !foreground) {
        lf::log("Nil input node for BNBlendNode");
        return nullptr;
    }
    return make<BNBlendNode>(std::move(background), std::move(foreground), blendMode, opacity,
                             fill);
}

BNBlendNode::BNBlendNode(CreationKey, BNRenderNodePtr background, BNRenderNodePtr foreground,
                         BNBlendMode blendMode, double opacity, double fill)
    : BNRenderNode({std::move(background), std::move(foreground)}),
      blendMode_(blendMode),
      opacity_(opacity),
      fill_(fill) {}

std::string BNBlendNode::labelForInputNodeAtIndex(size_t index) const {
    return index == 0 ? "background" : "foreground";
}

VKRect BNBlendNode::calculateBounds() const {
    return VKRectUnion(inputNode(0)->bounds(), inputNode(1)->bounds());
}

void BNBlendNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "background", 0);
    updateHashContextWithInput(context, "foreground", 1);
    context.updateValue(blendMode_);
    context.updateValue(opacity_);
    context.updateValue(fill_);
}

VKRect BNBlendNode::regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect, double) const {
    if (index > 1) return rect;
    const BNRenderNode* input = inputNode(index);
    // A transparent background is nothing but its background values.
    if (index == 0 && dynamic_cast<const BNTransparentNode*>(input)) return VKRectNull;
    VKRect bounds = input->bounds();
    if (VKRectIsInfinite(bounds) || VKRectIsNull(bounds)) return rect;
    return VKRectIntersection(rect, bounds);
}

bool BNBlendNode::rendersInPlaceOverFirstInput() const {
    return inputNode(0)->channels() == BNChannelMaskRGBA;
}

void BNBlendNode::renderInPlaceWithBackgroundSurface(BNSurface& background,
                                                     const BNSurface& foreground,
                                                     BNRenderingContext&) const {
    if (!hasPixels(foreground)) return;
    BNSurfacePtr target = background.subsurfaceWithRect(foreground.rect());
    if (target) BNBlendSurfaces(foreground, *target, *target, blendMode_, opacity_, fill_);
}

void BNBlendNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                          BNRenderingContext& context) const {
    BNSurface& background = *inputs.at(0);
    const BNSurface& foreground = *inputs.at(1);
    if (&background == &output) {
        renderInPlaceWithBackgroundSurface(background, foreground, context);
        return;
    }

    const BNSurface* readable = readableBackground(background);
    VKRect outputRect = output.rect();
    if (readable && VKRectEqualToRect(background.rect(), outputRect) &&
        VKRectEqualToRect(foreground.rect(), outputRect)) {
        if (!BNBlendSurfaces(foreground, background, output, blendMode_, opacity_, fill_))
            BNCopySurface(background, output);
        return;
    }

    // By regions: background values where the background does not reach,
    // its copy outside the foreground, the blend inside the foreground.
    if (!readable || !VKRectEqualToRect(background.rect(), outputRect))
        BNFillSurfaceWithBackgroundOfNode(output, *inputNode(0));
    bool blendable = hasPixels(foreground);
    if (readable && blendable && VKRectContainsRect(background.rect(), foreground.rect())) {
        auto outside = VKRegion::regionWithRect(background.rect());
        outside->subtractRect(foreground.rect());
        for (VKRect rect : outside->rects())
            BNCopyRect(background, output, rect);
        BNSurfacePtr under = background.subsurfaceWithRect(foreground.rect());
        BNSurfacePtr target = output.subsurfaceWithRect(foreground.rect());
        if (under && target &&
            !BNBlendSurfaces(foreground, *under, *target, blendMode_, opacity_, fill_))
            BNCopySurface(*under, *target);
        return;
    }
    if (readable) BNCopyRect(background, output, background.rect());
    if (!blendable) return;
    BNSurfacePtr target = output.subsurfaceWithRect(foreground.rect());
    if (target) BNBlendSurfaces(foreground, *target, *target, blendMode_, opacity_, fill_);
}

bool BNBlendSurfaces(const BNSurface& foreground, const BNSurface& background, BNSurface& output,
                     BNBlendMode blendMode, double, double fill) {
    if (static_cast<unsigned>(blendMode) >= static_cast<unsigned>(kTarrowBlendModeCount))
        return false;
    if (foreground.samplesPerPixel() != 4 || background.samplesPerPixel() != 4 ||
        output.samplesPerPixel() != 4) {
        lf::log("BNBlendNode: cannot blend channels {} over {}", foreground.channels(),
                background.channels());
        return false;
    }
    BNChannelMask coverage = foreground.channels() & (BNChannelMaskOpacity | BNChannelMaskFill);
    bool fillAware = coverage == BNChannelMaskOpacity || coverage == BNChannelMaskFill;
    const TarrowBlendTable& table =
        fillAware ? TarrowFillAwareBlendKernels() : TarrowPlainBlendKernels();
    TarrowBlendFn kernel = table[static_cast<size_t>(blendMode)];
    if (!kernel) return false;

    BNKernelPlane f(foreground), g(background), o(output);
    // The three are cut to the same rectangle; the smallest pixel size keeps
    // a rounding difference from reaching past any of them.
    uint32_t width = std::min({f.width, g.width, o.width});
    int32_t height = std::min({f.height, g.height, o.height});
    kernel(g.data, f.data, o.data, kernelOrigin(output.rect().origin.x),
           kernelOrigin(output.rect().origin.y), width, height, g.stride, f.stride, o.stride,
           static_cast<float>(fill));
    return true;
}
