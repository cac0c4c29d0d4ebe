#include "FakeProviders.h"
#include "PlainBlurs.h"
#include "TestNodes.h"
#include "platform/core/Log.h"
#include "rendergraph/blurs/BNBoxBlur.h"
#include "rendergraph/blurs/BNGaussianBlurNode.h"
#include "rendergraph/blurs/BNGaussianKernel.h"
#include "rendergraph/blurs/BNTentBlurNode.h"
#include "rendergraph/core/BNRenderer.h"
#include "rendergraph/images/BNImageNode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace rendergraph_test;

namespace {

// 1 inside `bounds`, `background` outside, on a one-channel plane.
BNRenderNodePtr square(VKRect bounds, float background = 0,
                       BNChannelMask mask = BNChannelMaskOpacity) {
    return BoundedPatternNode::create(bounds, mask, 0, 1.0f, background);
}

// A plane of seeded random values in [0, 1] over `rect`.
BNSurfacePtr noisePlane(VKRect rect, double scale, uint32_t seed) {
    auto plane = BNSurface::create(rect, scale, BNChannelMaskOpacity);
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    for (uint64_t y = 0; y < plane->heightInPixels(); ++y)
        for (uint64_t x = 0; x < plane->widthInPixels(); ++x)
            plane->sample(x, y, 0) = value(random);
    return plane;
}

// The node's output over `rect` from an input surface over its region of
// interest.
BNSurfacePtr renderFrom(const BNRenderNode& node, const BNSurfacePtr& input, VKRect rect,
                        double scale) {
    auto context = BNRenderingContext::create();
    auto output = context->surfaceWithRect(rect, scale, node.channels());
    node.renderWithOutputSurface(*output, {input}, *context);
    return output;
}

// out(x, y) = sum of kernel[i] kernel[j] in(x + i, y + j) over a separable
// kernel of 2r + 1 taps, in double; `input` reaches r pixels beyond.
std::vector<double> convolve(const BNSurface& input, const std::vector<double>& kernel,
                             uint64_t width, uint64_t height) {
    size_t taps = kernel.size();
    std::vector<double> out(width * height, 0.0);
    for (uint64_t y = 0; y < height; ++y)
        for (uint64_t x = 0; x < width; ++x) {
            double sum = 0;
            for (size_t j = 0; j < taps; ++j)
                for (size_t i = 0; i < taps; ++i)
                    sum += kernel[j] * kernel[i] * input.sample(x + i, y + j, 0);
            out[y * width + x] = sum;
        }
    return out;
}

// The centre of mass of a one-channel surface, in points.
VKPoint centroid(const BNSurface& surface) {
    double sum = 0, x = 0, y = 0, s = surface.scaleFactor();
    for (uint64_t j = 0; j < surface.heightInPixels(); ++j)
        for (uint64_t i = 0; i < surface.widthInPixels(); ++i) {
            double v = surface.sample(i, j, 0);
            sum += v;
            x += v * (surface.rect().origin.x + (i + 0.5) / s);
            y += v * (surface.rect().origin.y + (j + 0.5) / s);
        }
    return {x / sum, y / sum};
}

}  // namespace

TEST(BNGaussianBlurNode, ExpansionForBlurRadius) {
    std::vector<std::pair<double, double>> cases = {
        {0.25, 1}, {0.5, 2}, {1, 3},   {1.5, 4}, {2, 6},  {2.01, 5},
        {2.5, 6},  {3, 8},   {10, 32}, {0, 0},   {-3, 0}, {std::nan(""), 0}};
    for (auto [radius, expansion] : cases)
        EXPECT_EQ(BNGaussianBlurNode::expansionForBlurRadius(radius), expansion) << radius;
    EXPECT_EQ(BNBoxBlurSizes(2.01), (std::vector<uint32_t>{2, 1, 1, 1}));
    EXPECT_EQ(BNBoxBlurSizes(3), (std::vector<uint32_t>{3, 2, 2, 1}));
    EXPECT_EQ(BNBoxBlurSizes(10), (std::vector<uint32_t>{10, 9, 9, 2, 1, 1}));
    // Huge sizes stay bounded: boxes of at most 511.
    std::vector<uint32_t> huge = BNBoxBlurSizes(std::numeric_limits<double>::infinity());
    EXPECT_EQ(huge.front(), 511u);
    EXPECT_LT(huge.size(), 300u);
}

TEST(BNGaussianBlurNode, TapsMatchADoublePrecisionConvolution) {
    for (double radius : {0.0, 0.3, 0.7, 1.2, 2.0}) {
        auto node = BNGaussianBlurNode::create(square(VKRectInfinite), radius);
        std::vector<float> taps = BNGaussianTaps(radius);
        uint64_t e = taps.size() / 2;
        EXPECT_EQ(e, BNGaussianExpansion(radius));
        double total = 0;
        for (float tap : taps)
            total += tap;
        EXPECT_EQ(total, 1.0);

        VKRect rect = VKRectMake(0, 0, 12, 9);
        VKRect region = node->regionOfInterestForInputNodeAtIndex(0, rect, 1.0);
        EXPECT_EQ(region, VKRectInset(rect, -double(e), -double(e)));
        auto input = noisePlane(region, 1.0, 7);
        auto output = renderFrom(*node, input, rect, 1.0);
        std::vector<double> kernel(taps.begin(), taps.end());
        std::vector<double> expected = convolve(*input, kernel, 12, 9);
        for (uint64_t y = 0; y < 9; ++y)
            for (uint64_t x = 0; x < 12; ++x)
                ASSERT_NEAR(output->sample(x, y, 0), expected[y * 12 + x], 1e-6) << radius;
        if (radius == 0) {
            EXPECT_EQ(samplesOf(*output), samplesOf(*input));
            // Negative radii count as 0.
            auto negative = BNGaussianBlurNode::create(square(VKRectInfinite), -2.0);
            EXPECT_EQ(negative->hashIdentifier(), node->hashIdentifier());
        }
    }
}

TEST(BNGaussianBlurNode, BoxBlursApproximateATrueGaussian) {
    for (double radius : {2.5, 4.0, 7.5, 12.0}) {
        auto shape = square(VKRectMake(0, 0, 10, 6));
        auto node = BNGaussianBlurNode::create(shape, radius);
        VKRect rect = VKRectMake(-12, -12, 34, 30);
        auto output = BNRenderer().renderNode(node, rect, 1.0);
        ASSERT_TRUE(output);
        // The true blur of the shape: the Gaussian's mass over each pixel, out
        // to 5 standard deviations.
        auto reach = static_cast<int>(std::ceil(5 * radius));
        std::vector<double> kernel(2 * reach + 1);
        auto mass = [radius](double t) { return 0.5 * std::erf(t / (radius * std::sqrt(2.0))); };
        for (int i = -reach; i <= reach; ++i)
            kernel[i + reach] = mass(i + 0.5) - mass(i - 0.5);
        auto input = BNRenderer().renderNode(shape, VKRectInset(rect, -reach, -reach), 1.0);
        std::vector<double> expected = convolve(*input, kernel, 34, 30);
        double worst = 0;
        for (uint64_t y = 0; y < 30; ++y)
            for (uint64_t x = 0; x < 34; ++x)
                worst = std::max(worst, std::fabs(output->sample(x, y, 0) - expected[y * 34 + x]));
        EXPECT_LT(worst, 0.02) << radius;
    }
}

TEST(BNGaussianBlurNode, StaysCentredAtScale2) {
    // At scale 2 the blur is 2.01 pixels: 5 pixels of expansion, read as 3
    // whole points, so that nodes that render at scale 1 only are asked for
    // whole points.
    auto node = BNGaussianBlurNode::create(square(VKRectMake(9, 9, 3, 3)), 1.005);
    EXPECT_EQ(node->bounds(), VKRectMake(6, 6, 9, 9));
    EXPECT_EQ(node->regionOfInterestForInputNodeAtIndex(0, VKRectMake(0, 0, 20, 20), 2.0),
              VKRectMake(-3, -3, 26, 26));
    for (double scale : {1.0, 2.0}) {
        auto output = BNRenderer().renderNode(node, VKRectMake(0, 0, 21, 21), scale);
        ASSERT_TRUE(output);
        uint64_t size = output->widthInPixels();
        // Symmetric about the square's centre, 10.5 points.
        for (uint64_t y = 0; y < size; ++y)
            for (uint64_t x = 0; x < size; ++x)
                ASSERT_NEAR(output->sample(x, y, 0), output->sample(size - 1 - x, y, 0), 1e-6);
    }
}

// An image renders at scale 1 only and is doubled; under a blur that reads
// an odd number of pixels beyond its output it stays in place.
TEST(BNGaussianBlurNode, BlursImagesInPlaceAtScale2) {
    auto provider =
        std::make_shared<FakeImageProvider>(BNChannelMaskOpacity, VKRectMake(10, 6, 1, 1));
    provider->setConstant(BNChannelOpacity, 1.0f);
    for (double radius : {1.005, 3.0}) {
        auto node = BNGaussianBlurNode::create(BNImageNode::create(provider), radius);
        auto output = BNRenderer().renderNode(node, VKRectMake(0, 0, 21, 13), 2.0);
        ASSERT_TRUE(output);
        VKPoint centre = centroid(*output);
        EXPECT_NEAR(centre.x, 10.5, 1e-5) << radius;
        EXPECT_NEAR(centre.y, 6.5, 1e-5) << radius;
    }
}

// The running sums hold boxes of any width: half-widths above 255 once
// overran a ring of 512 entries.
TEST(BNBoxBlur, WideBoxesMatchThePlainRunningSum) {
    auto context = BNRenderingContext::create();
    for (auto [width, height] : {std::pair<uint64_t, uint64_t>{700, 3}, {37, 700}}) {
        auto plane = noisePlane(VKRectMake(0, 0, double(width), double(height)), 1.0, 3);
        std::vector<float> expected = samplesOf(*plane);
        std::vector<uint32_t> boxes = {300, 17, 0};
        uint64_t x0 = 0, y0 = 0, w = width, h = height;
        for (uint32_t n : boxes) {
            for (uint64_t y = y0; y < y0 + h; ++y)
                plainBoxLine(expected.data() + y * width + x0, 1, w, n);
            for (uint64_t x = x0; x < x0 + w; ++x)
                plainBoxLine(expected.data() + y0 * width + x, ptrdiff_t(width), h, n);
            if (w <= 2 * n || h <= 2 * n) break;
            x0 += n, y0 += n, w -= 2 * n, h -= 2 * n;
        }
        ASSERT_TRUE(
            BNBoxBlurPlane(plane->data(), width, height, plane->bytesPerRow(), boxes, *context));
        EXPECT_EQ(samplesOf(*plane), expected);
    }
}

// The nodes' roads (convolution, box blurs in one sweep, 8-bit tents over
// the reached part) give the plain computations' bits.
TEST(BlurNodes, MatchThePlainComputations) {
    auto shape = BoundedPatternNode::create(VKRectMake(3, 2, 17, 11), BNChannelMaskOpacity);
    VKRect rect = VKRectMake(-4, -3, 30, 22);
    BNRenderer renderer;
    for (double scale : {1.0, 2.0}) {
        for (double radius : {0.4, 1.0, 2.6, 6.0}) {
            auto gaussian = BNGaussianBlurNode::create(shape, radius);
            auto input = renderer.renderNode(
                shape, gaussian->regionOfInterestForInputNodeAtIndex(0, rect, scale), scale);
            auto expected = plainGaussianBlur(*gaussian, *input, rect, scale);
            EXPECT_EQ(samplesOf(*renderer.renderNode(gaussian, rect, scale)), samplesOf(*expected))
                << radius << " at " << scale;
            for (bool forceFloat : {false, true}) {
                auto tent = BNTentBlurNode::create(shape, radius, BNChannelMaskOpacity, forceFloat);
                auto around = renderer.renderNode(
                    shape, tent->regionOfInterestForInputNodeAtIndex(0, rect, scale), scale);
                EXPECT_EQ(samplesOf(*renderer.renderNode(tent, rect, scale)),
                          samplesOf(*plainTentBlur(*tent, *around, rect, scale)))
                    << radius << " at " << scale << (forceFloat ? " in floats" : "");
            }
        }
    }
}

TEST(BNTentBlurNode, EightBitsDifferFromFloatsByTheQuantisationOnly) {
    auto shape = square(VKRectMake(3, 2, 7, 5));
    for (double scale : {1.0, 2.0}) {
        auto bytes = BNTentBlurNode::create(shape, 2.5);
        auto floats = BNTentBlurNode::create(shape, 2.5, BNChannelMaskOpacity, true);
        EXPECT_NE(bytes->hashIdentifier(), floats->hashIdentifier());
        VKRect rect = VKRectMake(-2, -2, 18, 14);
        auto a = BNRenderer().renderNode(bytes, rect, scale);
        auto b = BNRenderer().renderNode(floats, rect, scale);
        ASSERT_TRUE(a && b);
        for (uint64_t y = 0; y < a->heightInPixels(); ++y)
            for (uint64_t x = 0; x < a->widthInPixels(); ++x)
                ASSERT_NEAR(a->sample(x, y, 0), b->sample(x, y, 0), 1.0 / 255 + 1e-6);
    }
}

// At scale 2 the kernel sits where the output lies within the input, so
// the blur is centred on the same points as at scale 1.
TEST(BNTentBlurNode, StaysCentredAtScale2) {
    for (bool forceFloat : {false, true}) {
        auto node = BNTentBlurNode::create(square(VKRectMake(10, 6, 1, 1)), 1.5,
                                           BNChannelMaskOpacity, forceFloat);
        EXPECT_EQ(node->bounds(), VKRectMake(8, 4, 5, 5));
        for (double scale : {1.0, 2.0}) {
            auto output = BNRenderer().renderNode(node, VKRectMake(4, 1, 13, 11), scale);
            ASSERT_TRUE(output);
            VKPoint centre = centroid(*output);
            EXPECT_NEAR(centre.x, 10.5, 1e-6) << scale;
            EXPECT_NEAR(centre.y, 6.5, 1e-6) << scale;
        }
    }
}

TEST(BNTentBlurNode, OutsideTheInputsReachIsItsBackground) {
    auto far = square(VKRectMake(500, 500, 4, 4), 0.25f);
    auto node = BNTentBlurNode::create(far, 3);
    auto output = BNRenderer().renderNode(node, VKRectMake(0, 0, 8, 6), 2.0);
    ASSERT_TRUE(output);
    EXPECT_EQ(samplesOf(*output), std::vector<float>(16 * 12, 0.25f));

    // A fill plane blurs with the background of its fill channel.
    auto fill =
        BNTentBlurNode::create(square(VKRectMake(500, 500, 4, 4), 0.5f, BNChannelMaskFill), 1);
    EXPECT_EQ(fill->channels(), BNChannelMaskFill);
    auto filled = BNRenderer().renderNode(fill, VKRectMake(0, 0, 3, 3), 1.0);
    EXPECT_EQ(samplesOf(*filled), std::vector<float>(9, 0.5f));
}

TEST(BlurNodes, RefuseInputsOfMoreThanOneChannel) {
    auto rgba = PatternNode::create(VKRectInfinite, BNChannelMaskRGBA, true);
    auto plane = square(VKRectInfinite);
    lf::LogCapture log;
    EXPECT_EQ(BNTentBlurNode::create(rgba, 2), nullptr);
    EXPECT_TRUE(log.contains("BNTentBlurNode only supports inputs with 1 channel."));
    EXPECT_EQ(BNTentBlurNode::create(plane, 2, BNChannelMaskRGBA), nullptr);
    EXPECT_EQ(BNGaussianBlurNode::create(rgba, 2), nullptr);
    EXPECT_EQ(BNGaussianBlurNode::create(nullptr, 2), nullptr);
    EXPECT_EQ(log.lines().size(), 4u);
}
