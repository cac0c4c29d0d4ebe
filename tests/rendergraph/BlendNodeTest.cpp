#include "ReferenceRenderer.h"
#include "TestNodes.h"
#include "platform/core/Log.h"
#include "rendergraph/blend/BNBlendNode.h"
#include "rendergraph/core/BNRenderer.h"
#include "rendergraph/images/BNConstantColorNode.h"
#include "rendergraph/images/BNTransparentNode.h"

#include <gtest/gtest.h>

using namespace rendergraph_test;

namespace {

// A flat colour over its bounds, with its own background values outside.
class FlatNode final : public BNRenderNode {
public:
    static std::shared_ptr<const FlatNode> create(VKRect bounds, std::array<float, 4> inside,
                                                  std::array<float, 4> outside = {}) {
        return make<FlatNode>(bounds, inside, outside);
    }
    FlatNode(CreationKey, VKRect bounds, std::array<float, 4> inside, std::array<float, 4> outside)
        : BNRenderNode({}), bounds_(bounds), inside_(inside), outside_(outside) {}

    const char* className() const override { return "FlatNode"; }
    VKRect calculateBounds() const override { return bounds_; }
    float backgroundValueForChannel(BNChannel channel) const override { return outside_[channel]; }
    bool supportsScaleFactor() const override { return true; }
    void updateHashContext(BNHashContext& context) const override {
        BNRenderNode::updateHashContext(context);
        context.updateValue(bounds_);
        context.updateValue(inside_);
        context.updateValue(outside_);
    }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList&,
                                 BNRenderingContext&) const override {
        for (uint64_t y = 0; y < output.heightInPixels(); ++y)
            for (uint64_t x = 0; x < output.widthInPixels(); ++x)
                for (int k = 0; k < 4; ++k)
                    output.sample(x, y, k) = inside_[k];
    }

private:
    VKRect bounds_;
    std::array<float, 4> inside_, outside_;
};

// A heap surface of one colour.
BNSurfacePtr filled(VKRect rect, BNChannelMask mask, std::array<float, 4> pixel) {
    BNSurfacePtr surface = zeroSurface(rect, 1.0, mask);
    for (uint64_t y = 0; y < surface->heightInPixels(); ++y)
        for (uint64_t x = 0; x < surface->widthInPixels(); ++x)
            for (int k = 0; k < surface->samplesPerPixel(); ++k)
                surface->sample(x, y, k) = pixel[k];
    return surface;
}

std::array<float, 4> pixelAt(const BNSurface& surface, uint64_t x, uint64_t y) {
    return {surface.sample(x, y, 0), surface.sample(x, y, 1), surface.sample(x, y, 2),
            surface.sample(x, y, 3)};
}

}  // namespace

TEST(BNBlendNode, CreationIdentityAndBounds) {
    auto a = FlatNode::create(VKRectMake(0, 0, 4, 4), {0.5f, 0, 0, 0.5f});
    auto b = FlatNode::create(VKRectMake(6, 2, 4, 6), {0, 0.5f, 0, 0.5f});
    lf::LogCapture capture;
    EXPECT_FALSE(BNBlendNode::create(nullptr, b, kTarrowBlendNormal));
    EXPECT_FALSE(BNBlendNode::create(a, nullptr, kTarrowBlendNormal));
    EXPECT_TRUE(capture.contains("Nil input node for BNBlendNode"));

    auto blend = BNBlendNode::create(a, b, kTarrowBlendScreen, 1.0, 0.5);
    EXPECT_EQ(blend->bounds(), VKRectMake(0, 0, 10, 8));
    EXPECT_EQ(blend->labelForInputNodeAtIndex(0), "background");
    EXPECT_EQ(blend->labelForInputNodeAtIndex(1), "foreground");
    EXPECT_EQ(blend->channels(), BNChannelMaskRGBA);
    EXPECT_EQ(blend->hashIdentifier(),
              BNBlendNode::create(a, b, kTarrowBlendScreen, 1.0, 0.5)->hashIdentifier());
    for (auto other : {BNBlendNode::create(b, a, kTarrowBlendScreen, 1.0, 0.5),
                       BNBlendNode::create(a, b, kTarrowBlendColorDodge, 1.0, 0.5),
                       BNBlendNode::create(a, b, kTarrowBlendScreen, 0.9, 0.5),
                       BNBlendNode::create(a, b, kTarrowBlendScreen, 1.0, 0.6)})
        EXPECT_NE(blend->hashIdentifier(), other->hashIdentifier());
    // A null bound is left out of the union.
    auto nowhere = BNTransparentNode::create(VKRectNull, BNChannelMaskRGBA);
    EXPECT_EQ(BNBlendNode::create(nowhere, b, kTarrowBlendNormal)->bounds(), b->bounds());
}

TEST(BNBlendNode, RegionsOfInterest) {
    VKRect r = VKRectMake(2, 2, 10, 10);
    auto finite = FlatNode::create(VKRectMake(0, 0, 6, 6), {});
    auto everywhere = FlatNode::create(VKRectInfinite, {});
    auto nowhere = FlatNode::create(VKRectNull, {});
    auto transparent = BNTransparentNode::create(VKRectMake(0, 0, 100, 100), BNChannelMaskRGBA);
    EXPECT_EQ(BNBlendNode::create(finite, everywhere, kTarrowBlendNormal)
                  ->regionOfInterestForInputNodeAtIndex(0, r, 1),
              VKRectMake(2, 2, 4, 4));
    EXPECT_EQ(BNBlendNode::create(finite, everywhere, kTarrowBlendNormal)
                  ->regionOfInterestForInputNodeAtIndex(1, r, 1),
              r);
    EXPECT_EQ(BNBlendNode::create(everywhere, nowhere, kTarrowBlendNormal)
                  ->regionOfInterestForInputNodeAtIndex(1, r, 2),
              r);
    // A transparent background is never rendered; as a foreground it is.
    auto overTransparent = BNBlendNode::create(transparent, finite, kTarrowBlendNormal);
    EXPECT_TRUE(VKRectIsEmpty(overTransparent->regionOfInterestForInputNodeAtIndex(0, r, 1)));
    EXPECT_EQ(BNBlendNode::create(finite, transparent, kTarrowBlendNormal)
                  ->regionOfInterestForInputNodeAtIndex(1, r, 1),
              r);
}

TEST(BNBlendNode, TheForegroundsCoverageChannelsChooseTheKernelTable) {
    // Linear dodge at fill 0.5 over an opaque background: the plain table
    // fades the whole result, the fill-aware one adds half the foreground
    // (times 0.996) before clamping.
    VKRect rect = VKRectMake(0, 0, 3, 2);
    auto background = filled(rect, BNChannelMaskRGBA, {0.2f, 0.2f, 0.2f, 1});
    auto blendWith = [&](BNChannelMask foregroundMask) {
        auto foreground = filled(rect, foregroundMask, {0.6f, 0.6f, 0.6f, 1});
        auto output = zeroSurface(rect, 1.0, BNChannelMaskRGBA);
        EXPECT_TRUE(
            BNBlendSurfaces(*foreground, *background, *output, kTarrowBlendLinearDodge, 1.0, 0.5));
        return output->sample(2, 1, 0);
    };
    EXPECT_NEAR(blendWith(BNChannelMaskRGBA), 0.2f + 0.6f * 0.498f, 1e-6);
    EXPECT_NEAR(blendWith(BNChannelMaskRGBF), 0.2f + 0.6f * 0.498f, 1e-6);
    // Both coverage channels (R, G, A and F: four samples) take the plain
    // table: 0.5 * (0.2 + 0.6) + 0.5 * 0.2.
    EXPECT_NEAR(
        blendWith(BNChannelMaskRed | BNChannelMaskGreen | BNChannelMaskOpacity | BNChannelMaskFill),
        0.5f, 1e-6);
}

TEST(BNBlendNode, ThreeRoadsGiveTheSamePixels) {
    VKRect rect = VKRectMake(10, 20, 8, 6), inner = VKRectMake(12, 21, 4, 3);
    auto background = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true);
    auto foreground = PatternNode::create(VKRectInfinite, BNChannelMaskRGBF, true, nullptr, 1);
    auto context = BNRenderingContext::create();
    auto render = [&](const BNRenderNodePtr& node, VKRect r) {
        return ReferenceRenderer().render(node, r, 1.0);
    };
    for (int mode = 0; mode < kTarrowBlendModeCount; ++mode) {
        auto blend = BNBlendNode::create(background, foreground, BNBlendMode(mode), 1.0, 0.75);
        auto expected = ReferenceRenderer().render(blend, rect, 1.0);

        // All rectangles equal.
        auto output = zeroSurface(rect, 1.0, BNChannelMaskRGBA);
        blend->renderWithOutputSurface(
            *output, {render(background, rect), render(foreground, rect)}, *context);
        std::string difference;
        EXPECT_TRUE(sameSurfaces(*output, *expected, &difference)) << mode << " " << difference;

        // In place over the background.
        auto inPlace = render(background, rect);
        blend->renderWithOutputSurface(*inPlace, {inPlace, render(foreground, rect)}, *context);
        EXPECT_TRUE(sameSurfaces(*inPlace, *expected, &difference)) << mode << " " << difference;

        // By regions, and in place, with a foreground inside the output.
        auto smaller = render(foreground, inner);
        auto regions = zeroSurface(rect, 1.0, BNChannelMaskRGBA);
        blend->renderWithOutputSurface(*regions, {render(background, rect), smaller}, *context);
        auto inPlaceInner = render(background, rect);
        blend->renderWithOutputSurface(*inPlaceInner, {inPlaceInner, smaller}, *context);
        EXPECT_TRUE(sameSurfaces(*regions, *inPlaceInner, &difference))
            << mode << " " << difference;
        EXPECT_EQ(pixelAt(*regions, 2, 1), pixelAt(*expected, 2, 1));
        EXPECT_EQ(pixelAt(*regions, 0, 0), pixelAt(*render(background, rect), 0, 0));
    }
}

TEST(BNBlendNode, BackgroundValuesWhereTheBackgroundDoesNotReach) {
    // Background and foreground over the same rectangle, smaller than the
    // output: outside it, the background node's own background values.
    VKRect area = VKRectMake(2, 1, 3, 2);
    auto background = FlatNode::create(area, {0.25f, 0.25f, 0.25f, 0.5f}, {1.0f, 0.5f, 0, 0.5f});
    auto foreground = FlatNode::create(area, {0.5f, 0, 0, 0.5f});
    auto blend = BNBlendNode::create(background, foreground, kTarrowBlendNormal);
    VKRect rect = VKRectMake(0, 0, 8, 4);
    auto surface = BNRenderer().renderNode(blend, rect, 1.0);
    ASSERT_TRUE(surface);
    EXPECT_EQ(pixelAt(*surface, 0, 0), (std::array<float, 4>{0.5f, 0.25f, 0, 0.5f}));
    EXPECT_EQ(pixelAt(*surface, 3, 2), (std::array<float, 4>{0.625f, 0.125f, 0.125f, 0.75f}));

    // A foreground outside the rectangle: the background and its values.
    auto away = FlatNode::create(VKRectMake(50, 50, 2, 2), {1, 1, 1, 1});
    auto surfaceAway = BNRenderer().renderNode(
        BNBlendNode::create(background, away, kTarrowBlendMultiply), rect, 2.0);
    EXPECT_EQ(pixelAt(*surfaceAway, 0, 0), (std::array<float, 4>{0.5f, 0.25f, 0, 0.5f}));
    EXPECT_EQ(pixelAt(*surfaceAway, 5, 3), (std::array<float, 4>{0.25f, 0.25f, 0.25f, 0.5f}));

    // A transparent background: the foreground over zeros.
    auto transparent = BNTransparentNode::create(VKRectInfinite, BNChannelMaskRGBA);
    auto overNothing = BNRenderer().renderNode(
        BNBlendNode::create(transparent, foreground, kTarrowBlendNormal, 1, 0.5), rect, 1);
    EXPECT_EQ(pixelAt(*overNothing, 3, 2), (std::array<float, 4>{0.25f, 0, 0, 0.25f}));
    EXPECT_EQ(pixelAt(*overNothing, 0, 0), (std::array<float, 4>{0, 0, 0, 0}));
}

TEST(BNBlendNode, ABlendThatCannotRunLeavesTheBackground) {
    VKRect rect = VKRectMake(0, 0, 6, 5);
    auto background = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true);
    auto expected = ReferenceRenderer().render(background, rect, 1.0);
    auto foreground = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true, nullptr, 3);
    auto partial = PatternNode::create(VKRectMake(1, 1, 3, 2), BNChannelMaskRGBA, true);
    auto opacityOnly = BNConstantColorNode::create({0, 0, 0, 0.5, 0}, BNChannelMaskOpacity);
    lf::LogCapture capture;
    for (const BNRenderNodePtr& top :
         std::vector<BNRenderNodePtr>{foreground, partial, opacityOnly})
        for (int mode : {27, -1, 5}) {
            if (mode == 5 && top != opacityOnly) continue;
            auto blend = BNBlendNode::create(background, top, BNBlendMode(mode));
            // In place (the background's only consumer), and into a new
            // surface (the background read by a second consumer).
            auto inPlace = BNRenderer().renderNode(blend, rect, 1.0);
            auto shared = BNBlendNode::create(background, blend, kTarrowBlendNormal, 1.0, 0.0);
            auto notInPlace = BNRenderer().renderNode(shared, rect, 1.0);
            std::string difference;
            EXPECT_TRUE(sameSurfaces(*inPlace, *expected, &difference)) << mode << difference;
            EXPECT_TRUE(
                sameSurfaces(*ReferenceRenderer().render(blend, rect, 1), *expected, &difference))
                << difference;
            // A new output with equal rectangles goes the direct road; the
            // background still comes out.
            auto output = zeroSurface(rect, 1.0, BNChannelMaskRGBA);
            output->sample(0, 0, 0) = 7;
            blend->renderWithOutputSurface(*output,
                                           {expected, ReferenceRenderer().render(top, rect, 1)},
                                           *BNRenderingContext::create());
            EXPECT_TRUE(sameSurfaces(*output, *expected, &difference)) << mode << difference;
            // At fill 0 the outer blend gives its background: the inner
            // blend, rendered into a new surface.
            EXPECT_TRUE(sameSurfaces(*notInPlace, *expected, &difference)) << mode << difference;
        }
    EXPECT_TRUE(capture.contains("BNBlendNode: cannot blend channels 8 over 15"));
}

TEST(BNBlendNode, InPlaceOnlyOverAnRGBABackground) {
    auto rgba = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true);
    auto rgbf = PatternNode::create(VKRectInfinite, BNChannelMaskRGBF, true);
    auto top = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true, nullptr, 1);
    EXPECT_TRUE(BNBlendNode::create(rgba, top, kTarrowBlendNormal)->rendersInPlaceOverFirstInput());
    EXPECT_FALSE(
        BNBlendNode::create(rgbf, top, kTarrowBlendNormal)->rendersInPlaceOverFirstInput());
    auto result = BNRenderer().renderNode(BNBlendNode::create(rgbf, top, kTarrowBlendMultiply),
                                          VKRectMake(0, 0, 4, 4), 1);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->channels(), BNChannelMaskRGBA);
}
