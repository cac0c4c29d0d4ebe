#include "ReferenceRenderer.h"
#include "TestNodes.h"
#include "platform/core/Log.h"
#include "rendergraph/blend/BNConvertOpacityToFillNode.h"
#include "rendergraph/blend/BNConvertToOpaqueNode.h"
#include "rendergraph/blend/BNInvertAlphaNode.h"
#include "rendergraph/blend/BNIsolateOpacityNode.h"
#include "rendergraph/blend/BNOverrideAlphaNode.h"
#include "rendergraph/blend/BNScaleBiasNode.h"
#include "rendergraph/core/BNRenderer.h"
#include "rendergraph/images/BNConstantColorNode.h"
#include "rendergraph/masks/BNColorWithMaskNode.h"

#include <gtest/gtest.h>

using namespace rendergraph_test;

namespace {

BNRenderNodePtr constant(BNChannelMask mask, BNChannelValues values) {
    return BNConstantColorNode::create(values, mask);
}

// A heap surface whose samples are given pixel by pixel.
BNSurfacePtr surfaceOf(VKRect rect, BNChannelMask mask, const std::vector<float>& samples) {
    BNSurfacePtr surface = zeroSurface(rect, 1.0, mask);
    size_t i = 0;
    for (uint64_t y = 0; y < surface->heightInPixels(); ++y)
        for (uint64_t x = 0; x < surface->widthInPixels() * surface->samplesPerPixel(); ++x)
            surface->row(y)[x] = samples[i++ % samples.size()];
    return surface;
}

std::vector<float> render(const BNRenderNodePtr& node, VKRect rect) {
    BNSurfacePtr surface = BNRenderer().renderNode(node, rect, 1.0);
    EXPECT_TRUE(surface);
    return surface ? samplesOf(*surface) : std::vector<float>{};
}

}  // namespace

TEST(ChannelNodes, RefuseInputsTheyCannotWorkOn) {
    auto rgba = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true);
    auto opacity = PatternNode::create(VKRectInfinite, BNChannelMaskOpacity, true);
    auto fill = PatternNode::create(VKRectInfinite, BNChannelMaskFill, true);
    struct Refusal {
        BNRenderNodePtr node;
        const char* line;
    };
    lf::LogCapture capture;
    for (const Refusal& refusal : std::vector<Refusal>{
             {BNColorWithMaskNode::create(opacity, {1, 0, 0, 0, 0}, BNChannelMaskRGBA),
              "BNColorWithMaskNode: unsupported input"},
             {BNConvertOpacityToFillNode::create(fill),
              "*** BNConvertOpacityToFillNode: Input node doesn't have an opacity channel"},
             {BNConvertToOpaqueNode::create(opacity),
              "BNConvertToOpaqueNode: unsupported input channels"},
             {BNInvertAlphaNode::create(rgba),
              "BNInvertAlphaNode only supports inputs with planar opacity channels."},
             {BNIsolateOpacityNode::create(nullptr), "BNIsolateOpacityNode: missing input node"},
             {BNOverrideAlphaNode::create(rgba, nullptr),
              "BNOverrideAlphaNode: missing input node"},
             {BNScaleBiasNode::create(nullptr, 1, 0, true), "BNScaleBiasNode: missing input node"},
         }) {
        EXPECT_FALSE(refusal.node);
        EXPECT_TRUE(capture.contains(refusal.line)) << refusal.line;
    }
}

TEST(ChannelNodes, ChannelsBoundsAndIdentities) {
    VKRect bounds = VKRectMake(1, 2, 3, 4);
    auto rgba = PatternNode::create(bounds, BNChannelMaskRGBA, true);
    auto rgbf = PatternNode::create(bounds, BNChannelMaskRGBF, true);
    auto opacity = PatternNode::create(bounds, BNChannelMaskOpacity, true);
    auto fill = PatternNode::create(bounds, BNChannelMaskFill, true);
    BNChannelValues red{1, 0, 0, 0.5, 0.25};

    auto colored = BNColorWithMaskNode::create(opacity, red, BNChannelMaskRGB);
    EXPECT_EQ(colored->channels(), BNChannelMaskRGBA);
    EXPECT_EQ(BNColorWithMaskNode::create(fill, red, 7)->channels(), BNChannelMaskRGBF);
    EXPECT_EQ(colored->bounds(), bounds);
    EXPECT_EQ(colored->values(), (BNChannelValues{1, 0, 0, 0, 0}));
    // The values of opacity and fill are not kept, so they do not count.
    EXPECT_EQ(colored->hashIdentifier(),
              BNColorWithMaskNode::create(opacity, {1, 0, 0, 0, 0}, 7)->hashIdentifier());
    EXPECT_NE(colored->hashIdentifier(),
              BNColorWithMaskNode::create(opacity, {1, 0, 0.5, 0, 0}, 7)->hashIdentifier());

    EXPECT_EQ(BNConvertOpacityToFillNode::create(rgba)->channels(), BNChannelMaskRGBF);
    EXPECT_EQ(BNConvertOpacityToFillNode::create(opacity)->channels(), BNChannelMaskFill);
    EXPECT_EQ(BNConvertOpacityToFillNode::create(rgba)->bounds(), bounds);
    EXPECT_EQ(BNConvertToOpaqueNode::create(rgbf)->channels(), BNChannelMaskRGBA);
    EXPECT_TRUE(VKRectIsInfinite(BNInvertAlphaNode::create(opacity)->bounds()));
    EXPECT_EQ(BNInvertAlphaNode::create(opacity)->regionOfInterestForInputNodeAtIndex(
                  0, VKRectMake(0, 0, 3, 3), 1),
              VKRectMake(1, 2, 2, 1));
    EXPECT_EQ(BNIsolateOpacityNode::create(rgbf)->channels(), BNChannelMaskOpacity);
    EXPECT_EQ(BNIsolateOpacityNode::create(rgbf)->bounds(), bounds);
    EXPECT_EQ(BNOverrideAlphaNode::create(rgba, rgbf)->channels(), BNChannelMaskRGBF);
    EXPECT_TRUE(VKRectIsInfinite(BNOverrideAlphaNode::create(rgba, rgbf)->bounds()));

    auto scaleBias = BNScaleBiasNode::create(opacity, 0.5, 0.25, true);
    EXPECT_TRUE(VKRectIsInfinite(scaleBias->bounds()));
    EXPECT_EQ(BNScaleBiasNode::create(opacity, 0, 0.25, true)->bounds(), bounds);
    for (auto other : {BNScaleBiasNode::create(opacity, 0.5, 0.25, true, true),
                       BNScaleBiasNode::create(opacity, 0.5, 0.25, false),
                       BNScaleBiasNode::create(opacity, 0.5, 0.5, true),
                       BNScaleBiasNode::create(fill, 0.5, 0.25, true)})
        EXPECT_NE(scaleBias->hashIdentifier(), other->hashIdentifier());
}

TEST(ChannelNodes, PixelsOfEachNode) {
    VKRect rect = VKRectMake(0, 0, 2, 1);
    auto mask = constant(BNChannelMaskOpacity, {0, 0, 0, 0.5, 0});
    auto redMask = BNColorWithMaskNode::create(mask, {1, 0.5, 0, 1, 1}, 7);
    EXPECT_EQ(render(redMask, rect),
              (std::vector<float>{0.5f, 0.25f, 0, 0.5f, 0.5f, 0.25f, 0, 0.5f}));

    auto picture = constant(BNChannelMaskRGBA, {0.5, 1, 0, 0.5, 0});  // (0.25, 0.5, 0, 0.5)
    EXPECT_EQ(render(BNConvertToOpaqueNode::create(picture), rect),
              (std::vector<float>{0.5f, 1, 0, 1, 0.5f, 1, 0, 1}));
    EXPECT_EQ(render(BNIsolateOpacityNode::create(picture), rect),
              (std::vector<float>{0.5f, 0.5f}));
    EXPECT_EQ(render(BNInvertAlphaNode::create(mask), rect), (std::vector<float>{0.5f, 0.5f}));

    auto quarter = constant(BNChannelMaskRGBA, {0, 0, 0, 0.25, 0});
    EXPECT_EQ(render(BNOverrideAlphaNode::create(picture, quarter), rect),
              (std::vector<float>{0.125f, 0.25f, 0, 0.25f, 0.125f, 0.25f, 0, 0.25f}));

    // clamp(x * 3 - 0.5) and clamp((x - 0.25) * 3) of 0.5.
    EXPECT_EQ(render(BNScaleBiasNode::create(mask, 3, -0.5, true), rect),
              (std::vector<float>{1, 1}));
    EXPECT_EQ(render(BNScaleBiasNode::create(mask, 3, -0.25, true, true), rect),
              (std::vector<float>{0.75f, 0.75f}));
}

TEST(ChannelNodes, OutsideTheirInputsRectangle) {
    VKRect rect = VKRectMake(0, 0, 4, 1);
    auto small = PatternNode::create(VKRectMake(1, 0, 2, 1), BNChannelMaskOpacity, true);
    auto inside = render(small, VKRectMake(1, 0, 2, 1));

    // Inverted: 1 minus the input's background value (0) outside.
    auto inverted = render(BNInvertAlphaNode::create(small), rect);
    EXPECT_EQ(inverted, (std::vector<float>{1, 1 - inside[0], 1 - inside[1], 1}));

    // Scaled and biased: the bias outside, when it lies in [0, 1] ...
    auto biased = render(BNScaleBiasNode::create(small, 0.5, 0.25, true), rect);
    EXPECT_EQ(biased[0], 0.25f);
    EXPECT_EQ(biased[3], 0.25f);
    EXPECT_EQ(biased[1], inside[0] * 0.5f + 0.25f);
    // ... and in general the node's function of the background value, so
    // that a negative bias or one applied before the scale stays in range.
    EXPECT_EQ(render(BNScaleBiasNode::create(small, 2, -0.5, true, true), rect)[0], 0.0f);
    EXPECT_EQ(render(BNScaleBiasNode::create(small, 2, 0.25, true, true), rect)[3], 0.5f);
    EXPECT_EQ(render(BNScaleBiasNode::create(small, 1, 1.5, true), rect)[0], 1.0f);
}

TEST(ChannelNodes, OpacityAsFillSharesTheInputsMemory) {
    VKRect rect = VKRectMake(0, 0, 3, 2);
    auto node = BNConvertOpacityToFillNode::create(
        PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true));
    auto context = BNRenderingContext::create();
    BNSurfacePtr input = surfaceOf(rect, BNChannelMaskRGBA, {0.1f, 0.2f, 0.3f, 0.4f});
    std::weak_ptr<BNSurface> watch = input;
    BNSurfacePtr output = node->preparedOutputSurface(rect, 1.0, {input}, *context);
    ASSERT_TRUE(output);
    EXPECT_EQ(output->data(), input->data());
    EXPECT_EQ(output->channels(), BNChannelMaskRGBF);
    EXPECT_FALSE(output->ownsMemory());
    EXPECT_EQ(input->subsurfaceCount(), 1);
    input.reset();
    EXPECT_FALSE(watch.expired());  // the output keeps it alive
    output.reset();
    EXPECT_TRUE(watch.expired());

    // Opacity and fill together cannot be relabelled sample for sample.
    auto both = BNConvertOpacityToFillNode::create(
        PatternNode::create(VKRectInfinite, BNChannelMaskOpacity | BNChannelMaskFill, true));
    lf::LogCapture capture;
    BNSurfacePtr twoSamples = surfaceOf(rect, BNChannelMaskOpacity | BNChannelMaskFill, {0.5f});
    BNSurfacePtr cleared = both->preparedOutputSurface(rect, 1.0, {twoSamples}, *context);
    ASSERT_TRUE(cleared);
    EXPECT_EQ(samplesOf(*cleared), std::vector<float>(6, 0.0f));
    EXPECT_TRUE(capture.contains("BNConvertOpacityToFillNode: cannot relabel channels 24"));
}

TEST(ChannelNodes, UnexpectedSurfaceLayoutsGiveTransparentOutput) {
    // Nodes that read their inputs in a fixed layout write zeros, not
    // whatever the pool held, when handed another.
    VKRect rect = VKRectMake(0, 0, 2, 2);
    auto context = BNRenderingContext::create();
    auto rgba = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true);
    auto opacity = PatternNode::create(VKRectInfinite, BNChannelMaskOpacity, true);
    BNSurfacePtr plane = surfaceOf(rect, BNChannelMaskOpacity, {0.5f});
    BNSurfacePtr picture = surfaceOf(rect, BNChannelMaskRGBA, {0.5f});
    struct Misuse {
        BNRenderNodePtr node;
        BNSurfaceList inputs;
        const char* line;
    };
    lf::LogCapture capture;
    for (const Misuse& misuse : std::vector<Misuse>{
             {BNIsolateOpacityNode::create(rgba), {plane}, "BNIsolateOpacityNode: unsupported"},
             {BNOverrideAlphaNode::create(rgba, rgba),
              {picture, plane},
              "BNOverrideAlphaNode: unsupported"},
             {BNScaleBiasNode::create(opacity, 1, 0.5, true),
              {picture},
              "BNScaleBiasNode: unsupported"},
             {BNColorWithMaskNode::create(opacity, {1, 1, 1, 0, 0}, 7),
              {picture},
              "BNColorWithMaskNode: unsupported input"},
         }) {
        BNSurfacePtr output = surfaceOf(rect, misuse.node->channels(), {9.0f});
        misuse.node->renderWithOutputSurface(*output, misuse.inputs, *context);
        for (float sample : samplesOf(*output))
            EXPECT_EQ(sample, 0.0f) << misuse.line;
        EXPECT_TRUE(capture.contains(misuse.line)) << misuse.line;
    }
}
