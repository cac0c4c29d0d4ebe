#include "FakeProviders.h"
#include "NodeTestSupport.h"
#include "TestNodes.h"
#include "kernels/NoiseKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/blend/BNRestrictedBlendingNode.h"
#include "rendergraph/core/BNRenderer.h"
#include "rendergraph/images/BNApplyNoiseNode.h"
#include "rendergraph/images/BNApplyTextureNode.h"
#include "rendergraph/images/BNConstantColorNode.h"
#include "rendergraph/masks/BNApplyMaskNode.h"
#include "rendergraph/masks/BNBlendingRangesMaskNode.h"
#include "rendergraph/masks/BNCrossfadeNode.h"
#include "rendergraph/masks/BNCrossfadeWithMaskNode.h"
#include "rendergraph/masks/BNDifferenceMaskNode.h"
#include "rendergraph/masks/BNDivideMaskNode.h"
#include "rendergraph/masks/BNEffectMaskHackNode.h"
#include "rendergraph/masks/BNLimitToMaskNode.h"
#include "rendergraph/masks/BNUnmixWithMaskNode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

using namespace rendergraph_test;

namespace {

constexpr VKRect kArea = VKRectMake(0, 0, 6, 5);

BNRenderNodePtr source(BNChannelMask mask, int tag = 0) {
    return PatternNode::create(VKRectInfinite, mask, true, nullptr, tag);
}

// The node's output over kArea from inputs rendered over the same area.
BNSurfacePtr renderOverArea(const BNRenderNode& node, const BNSurfaceList& inputs) {
    auto context = BNRenderingContext::create();
    auto output = BNSurface::create(kArea, 1.0, node.channels());
    node.renderWithOutputSurface(*output, inputs, *context);
    return output;
}

BNSurfacePtr sourceSurface(BNChannelMask mask, int tag = 0) {
    auto context = BNRenderingContext::create();
    auto output = BNSurface::create(kArea, 1.0, mask);
    source(mask, tag)->renderWithOutputSurface(*output, {}, *context);
    return output;
}

// Applies `expected` to every pixel: samples of the inputs at (x, y) in,
// the expected samples of the output out.
void expectPerPixel(
    const BNSurface& output, const BNSurfaceList& inputs,
    const std::function<std::vector<float>(const std::vector<const float*>&)>& expected) {
    for (uint64_t y = 0; y < output.heightInPixels(); ++y)
        for (uint64_t x = 0; x < output.widthInPixels(); ++x) {
            std::vector<const float*> pixels;
            for (const auto& input : inputs)
                pixels.push_back(input->row(y) + x * input->samplesPerPixel());
            std::vector<float> want = expected(pixels);
            for (size_t k = 0; k < want.size(); ++k)
                ASSERT_FLOAT_EQ(output.sample(x, y, int(k)), want[k]) << x << "," << y << " " << k;
        }
}

}  // namespace

TEST(MaskNodes, CreationChecksLogTheirLines) {
    auto rgba = source(BNChannelMaskRGBA), rgbf = source(BNChannelMaskRGBF);
    auto opacity = source(BNChannelMaskOpacity), fill = source(BNChannelMaskFill);
    auto rgb = source(BNChannelMaskRGB);
    struct Case {
        std::function<BNRenderNodePtr()> make;
        const char* line;  // nullptr: refused without a line
    };
    std::vector<Case> cases = {
        {[&] { return BNApplyMaskNode::create(rgb, opacity); },
         "BNApplyMaskNode requires its input node to have an opacity or fill channel"},
        {[&] { return BNApplyMaskNode::create(rgba, nullptr); }, "BNApplyMaskNode: missing input"},
        {[&] { return BNApplyTextureNode::create(rgba, rgba, 1); },
         "BNApplyTextureNode only supports inputs with planar opacity channels."},
        {[&] { return BNCrossfadeNode::create(rgba, nullptr, 0.5); }, nullptr},
        {[&] { return BNCrossfadeNode::create(rgba, opacity, 0.5); },
         "Channels don't match up: 0xf, 0x8"},
        {[&] { return BNCrossfadeNode::create(fill, fill, 0.5); },
         "BNCrossfadeNode does not currently support channels other than RGBA"},
        {[&] { return BNCrossfadeWithMaskNode::create(rgba, rgba, nullptr); },
         "Invalid inputs for BNCrossfadeWithMaskNode"},
        {[&] { return BNCrossfadeWithMaskNode::create(rgba, rgbf, opacity); },
         "Channels don't match up: 0xf, 0x17"},
        {[&] { return BNCrossfadeWithMaskNode::create(rgbf, rgbf, opacity); },
         "BNCrossfadeWithMask does not currently support channels other than RGBA"},
        {[&] { return BNCrossfadeWithMaskNode::create(rgba, rgba, rgba); },
         "Mask doesn't contain opacity data"},
        {[&] { return BNCrossfadeWithMaskNode::createWithGamma(rgba, rgba, opacity, 0); },
         "BNCrossfadeWithMaskNode: unusable gamma 0"},
        {[&] { return BNCrossfadeWithMaskNode::createWithGamma(rgba, rgba, opacity, NAN); },
         "BNCrossfadeWithMaskNode: unusable gamma nan"},
        {[&] { return BNCrossfadeWithMaskNode::createWithGamma(opacity, opacity, opacity, 1.45); },
         "BNCrossfadeWithMaskNode mixes only RGBA through a gamma"},
        {[&] { return BNDifferenceMaskNode::create(opacity, fill); },
         "BNDifferenceMaskNode only supports inputs with planar opacity channels"},
        {[&] { return BNUnmixWithMaskNode::create(rgba, rgbf, opacity); },
         "BNUnmixWithMaskNode needs RGBA pictures and an opacity mask"},
        {[&] { return BNUnmixWithMaskNode::create(rgba, rgba, fill); },
         "BNUnmixWithMaskNode needs RGBA pictures and an opacity mask"},
        {[&] { return BNDivideMaskNode::create(rgba, rgba); },
         "BNDivideMaskNode only supports foreground inputs with a planar opacity channel"},
        {[&] { return BNDivideMaskNode::create(fill, opacity); },
         "BNDivideMaskNode: unsupported background channels"},
        {[&] { return BNLimitToMaskNode::create(rgba, opacity, 0.5); },
         "BNLimitToMaskNode: input must only have an opacity or fill channel: 0xf"},
        {[&] { return BNLimitToMaskNode::create(fill, rgbf, 0.5); },
         "BNLimitToMaskNode: mask must only have an opacity or fill channel"},
        {[&] { return BNEffectMaskHackNode::create(opacity, opacity, opacity, nullptr); },
         "BNEffectMaskHackNode: missing input"},
        {[&] { return BNRestrictedBlendingNode::create(nullptr, rgba, 8); },
         "BNRestrictedBlendingNode: missing input"},
    };
    for (const Case& c : cases) {
        lf::LogCapture log;
        EXPECT_EQ(c.make(), nullptr) << (c.line ? c.line : "silent");
        if (c.line)
            EXPECT_TRUE(log.contains(c.line)) << c.line;
        else
            EXPECT_TRUE(log.lines().empty());
    }
    lf::LogCapture log;
    EXPECT_TRUE(BNApplyMaskNode::create(fill, opacity));
    EXPECT_TRUE(BNCrossfadeNode::create(rgbf, rgbf, 0.5));
    EXPECT_TRUE(BNDivideMaskNode::create(rgbf, opacity));
    EXPECT_TRUE(BNLimitToMaskNode::create(fill, opacity, 0.5));
    EXPECT_TRUE(BNCrossfadeWithMaskNode::createWithGamma(opacity, opacity, opacity, 1.0));
    EXPECT_TRUE(log.lines().empty());
}

TEST(MaskNodes, IdentitiesCoverInputsAndParameters) {
    auto a = source(BNChannelMaskOpacity, 1), b = source(BNChannelMaskOpacity, 2);
    auto id = [](const BNRenderNodePtr& node) { return node->hashIdentifier(); };
    EXPECT_EQ(id(BNCrossfadeNode::create(a, b, 0.5)), id(BNCrossfadeNode::create(a, b, 0.5)));
    EXPECT_NE(id(BNCrossfadeNode::create(a, b, 0.5)), id(BNCrossfadeNode::create(a, b, 0.25)));
    EXPECT_NE(id(BNCrossfadeNode::create(a, b, 0.5)), id(BNCrossfadeNode::create(b, a, 0.5)));
    EXPECT_NE(id(BNDivideMaskNode::create(a, b)), id(BNDivideMaskNode::create(a, b, 0.5)));
    EXPECT_NE(id(BNApplyMaskNode::create(a, b)), id(BNDifferenceMaskNode::create(a, b)));
    EXPECT_NE(id(BNLimitToMaskNode::create(a, b, 0.5)), id(BNLimitToMaskNode::create(a, b, 0.6)));
    EXPECT_NE(id(BNApplyNoiseNode::create(a, 0.5, 8)), id(BNApplyNoiseNode::create(a, 0.5, 1)));
    auto rgba = source(BNChannelMaskRGBA), other = source(BNChannelMaskRGBA, 3);
    EXPECT_NE(id(BNRestrictedBlendingNode::create(rgba, other, 1)),
              id(BNRestrictedBlendingNode::create(rgba, other, 2)));
    // A gamma of 1 is the plain crossfade; any other mixes differently.
    EXPECT_EQ(id(BNCrossfadeWithMaskNode::createWithGamma(rgba, other, a, 1.0)),
              id(BNCrossfadeWithMaskNode::create(rgba, other, a)));
    EXPECT_NE(id(BNCrossfadeWithMaskNode::createWithGamma(rgba, other, a, 1.45)),
              id(BNCrossfadeWithMaskNode::create(rgba, other, a)));
    auto ranges = std::make_shared<FakeBlendingRangesProvider>();
    auto sameRanges = std::make_shared<FakeBlendingRangesProvider>();
    EXPECT_NE(id(BNBlendingRangesMaskNode::create(rgba, ranges)),
              id(BNBlendingRangesMaskNode::create(rgba, sameRanges)));
}

TEST(BNApplyMaskNode, MultipliesEveryChannelOfRGBFAndFillInputs) {
    auto mask = sourceSurface(BNChannelMaskOpacity, 7);
    for (BNChannelMask channels : {BNChannelMaskRGBF, BNChannelMaskFill, BNChannelMaskRGBA}) {
        auto node = BNApplyMaskNode::create(source(channels), source(BNChannelMaskOpacity, 7));
        EXPECT_EQ(node->channels(), channels);
        BNSurfaceList inputs = {sourceSurface(channels), mask};
        auto output = renderOverArea(*node, inputs);
        int n = BNSamplesPerPixel(channels);
        expectPerPixel(*output, inputs, [n](const std::vector<const float*>& p) {
            std::vector<float> out;
            for (int k = 0; k < n; ++k)
                out.push_back(p[0][k] * p[1][0]);
            return out;
        });
    }
}

TEST(BNApplyNoiseNode, AddsNoiseToChosenChannelsAnchoredToTheImage) {
    // Transparent pixels stay transparent: a zero opacity takes no noise.
    auto input = sourceSurface(BNChannelMaskRGBA);
    input->sample(2, 2, 3) = 0.0f;
    auto node = BNApplyNoiseNode::create(source(BNChannelMaskRGBA), 0.5, BNChannelMaskOpacity);
    auto output = renderOverArea(*node, {input});
    int changed = 0;
    for (uint64_t y = 0; y < 5; ++y)
        for (uint64_t x = 0; x < 6; ++x) {
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(output->sample(x, y, k), input->sample(x, y, k));
            changed += output->sample(x, y, 3) != input->sample(x, y, 3);
        }
    EXPECT_GT(changed, 20);
    EXPECT_EQ(output->sample(2, 2, 3), 0.0f);

    // A tile further on continues the same noise, at scale 2 as well.
    auto plane = BNApplyNoiseNode::create(source(BNChannelMaskOpacity), 1.0);
    BNRenderer renderer;
    for (double scale : {1.0, 2.0}) {
        auto whole = renderer.renderNode(plane, VKRectMake(0, 0, 16, 16), scale);
        auto tile = renderer.renderNode(plane, VKRectMake(8, 4, 8, 8), scale);
        for (uint64_t y = 0; y < tile->heightInPixels(); ++y)
            for (uint64_t x = 0; x < tile->widthInPixels(); ++x)
                ASSERT_EQ(tile->sample(x, y, 0),
                          whole->sample(x + uint64_t(8 * scale), y + uint64_t(4 * scale), 0));
    }

    // Layouts the kernels do not take pass the input through.
    auto rgbf = sourceSurface(BNChannelMaskRGBF);
    auto passed = renderOverArea(*BNApplyNoiseNode::create(source(BNChannelMaskRGBF), 1.0), {rgbf});
    EXPECT_EQ(samplesOf(*passed), samplesOf(*rgbf));
}

TEST(BNApplyTextureNode, SubtractsTheTexturesLuminanceOverWhite) {
    auto node =
        BNApplyTextureNode::create(source(BNChannelMaskOpacity), source(BNChannelMaskRGBA, 2), 0.5);
    BNSurfaceList inputs = {sourceSurface(BNChannelMaskOpacity),
                            sourceSurface(BNChannelMaskRGBA, 2)};
    auto output = renderOverArea(*node, inputs);
    expectPerPixel(*output, inputs, [](const std::vector<const float*>& p) {
        const float* t = p[1];
        float a = t[3];
        float l = 0.299987793f * ((t[0] + 1) - a) + 0.5900268555f * ((t[1] + 1) - a) +
                  0.1099853516f * ((t[2] + 1) - a);
        return std::vector<float>{p[0][0] - l * 0.5f};
    });

    // An unsupported texture layout is logged; the input passes unchanged.
    lf::LogCapture log;
    BNSurfaceList wrong = {inputs[0], sourceSurface(BNChannelMaskRGBF)};
    EXPECT_EQ(samplesOf(*renderOverArea(*node, wrong)), samplesOf(*inputs[0]));
    EXPECT_TRUE(log.contains("Unsupported texture format"));
}

TEST(BNBlendingRangesMaskNode, MultipliesGrayAndColourWeights) {
    auto ranges = std::make_shared<FakeBlendingRangesProvider>();
    auto input = sourceSurface(BNChannelMaskRGBA);
    auto node = BNBlendingRangesMaskNode::create(source(BNChannelMaskRGBA), ranges);
    auto unpremultiplied = [](const float* p, int k) {
        return std::clamp(p[k] / std::max(p[3], 1e-5f), 0.0f, 1.0f);
    };
    // The tables are linear, so interpolating them is exact up to rounding.
    auto gray = [&](const float* p) {
        float l = 0.299987793f * unpremultiplied(p, 0) + 0.5900268555f * unpremultiplied(p, 1) +
                  0.1099853516f * unpremultiplied(p, 2);
        return 1.0f - std::clamp(l, 0.0f, 1.0f);
    };
    auto red = [&](const float* p) { return unpremultiplied(p, 0); };

    auto check = [&](const std::function<float(const float*)>& expected) {
        auto output = renderOverArea(*node, {input});
        for (uint64_t y = 0; y < 5; ++y)
            for (uint64_t x = 0; x < 6; ++x)
                ASSERT_NEAR(output->sample(x, y, 0), expected(input->row(y) + x * 4), 2e-6);
    };
    // Without ranges every pixel blends fully.
    check([](const float*) { return 1.0f; });
    ranges->gray = [](float v) { return 1.0f - v; };
    check(gray);
    ranges->gray = nullptr;
    ranges->color[0] = [](float v) { return v; };
    check(red);
    ranges->gray = [](float v) { return 1.0f - v; };
    check([&](const float* p) { return gray(p) * red(p); });

    // A picture without four channels cannot be read: the mask stays 1.
    lf::LogCapture log;
    auto plane = renderOverArea(*node, {sourceSurface(BNChannelMaskOpacity)});
    EXPECT_EQ(samplesOf(*plane), std::vector<float>(30, 1.0f));
}

TEST(BNCrossfadeNode, MixesByAConstantFactor) {
    BNSurfaceList inputs = {sourceSurface(BNChannelMaskRGBA, 1),
                            sourceSurface(BNChannelMaskRGBA, 2)};
    auto mix = [&](double t) {
        return renderOverArea(
            *BNCrossfadeNode::create(source(BNChannelMaskRGBA, 1), source(BNChannelMaskRGBA, 2), t),
            inputs);
    };
    EXPECT_EQ(samplesOf(*mix(0)), samplesOf(*inputs[0]));
    EXPECT_EQ(samplesOf(*mix(1)), samplesOf(*inputs[1]));
    expectPerPixel(*mix(0.25), inputs, [](const std::vector<const float*>& p) {
        std::vector<float> out;
        for (int k = 0; k < 4; ++k)
            out.push_back(p[1][k] * 0.25f + p[0][k] * 0.75f);
        return out;
    });
    auto bounded =
        BNCrossfadeNode::create(BoundedPatternNode::create(VKRectMake(0, 0, 2, 2), 8),
                                BoundedPatternNode::create(VKRectMake(5, 5, 1, 1), 8), 0.5);
    EXPECT_EQ(bounded->bounds(), VKRectMake(0, 0, 6, 6));
}

// The regions the node mixes by must not change the result: wherever they
// stand, the output is m * foreground + (1 - m) * background of the inputs
// rendered everywhere, also where the mask reaches beyond the foreground.
TEST(BNCrossfadeWithMaskNode, MixesByRegionsAsByPixels) {
    struct Case {
        VKRect background, foreground, mask;
    };
    std::vector<Case> cases = {
        {VKRectMake(0, 0, 20, 16), VKRectMake(4, 4, 6, 5), VKRectMake(2, 2, 12, 10)},
        {VKRectMake(3, 3, 4, 4), VKRectMake(0, 0, 20, 16), VKRectMake(5, 1, 9, 9)},
        {VKRectMake(0, 0, 20, 16), VKRectMake(0, 0, 20, 16), VKRectMake(30, 30, 4, 4)},
        {VKRectMake(8, 2, 3, 3), VKRectInfinite, VKRectInfinite},
    };
    VKRect area = VKRectMake(-2, -1, 24, 18);
    BNRenderer renderer;
    for (const Case& c : cases) {
        for (BNChannelMask channels : {BNChannelMaskRGBA, BNChannelMaskOpacity}) {
            auto background = BoundedPatternNode::create(c.background, channels, 1);
            auto foreground = BoundedPatternNode::create(c.foreground, channels, 2);
            auto mask = BoundedPatternNode::create(c.mask, BNChannelMaskOpacity, 3);
            auto node = BNCrossfadeWithMaskNode::create(background, foreground, mask);
            EXPECT_EQ(node->bounds(), VKRectUnion(c.background, c.foreground));
            for (double scale : {1.0, 2.0}) {
                auto output = renderer.renderNode(node, area, scale);
                BNSurfaceList inputs = {renderer.renderNode(background, area, scale),
                                        renderer.renderNode(foreground, area, scale),
                                        renderer.renderNode(mask, area, scale)};
                int n = BNSamplesPerPixel(channels);
                expectPerPixel(*output, inputs, [n](const std::vector<const float*>& p) {
                    std::vector<float> out;
                    for (int k = 0; k < n; ++k)
                        out.push_back(p[2][0] * p[1][k] + (1 - p[2][0]) * p[0][k]);
                    return out;
                });
            }
        }
    }
}

TEST(BNCrossfadeWithMaskNode, MixesThroughTheGammaWithinAnEighthOfALevel) {
    // Opaque colours, the foreground's S over the background's D by the
    // mask's a, against (a S^g + (1 - a) D^g)^(1 / g) at the type gamma
    // 1.45: every 8-bit S and D (across and down), a in sixteenths. The
    // worst, 0.112 of a level, lies among the darkest colours, where the
    // root is steepest between table entries.
    constexpr double kGamma = 1.45;
    constexpr int kLevels = 256, kCoverages = 15;
    const VKRect area = VKRectMake(0, 0, kLevels, kLevels * kCoverages);
    auto background = BNSurface::create(area, 1.0, BNChannelMaskRGBA),
         foreground = BNSurface::create(area, 1.0, BNChannelMaskRGBA),
         mask = BNSurface::create(area, 1.0, BNChannelMaskOpacity),
         output = BNSurface::create(area, 1.0, BNChannelMaskRGBA);
    auto level = [](int i) { return double(i) / (kLevels - 1); };
    auto coverage = [](int row) { return (row / kLevels + 1) / 16.0; };
    for (int y = 0; y < kLevels * kCoverages; ++y)
        for (int x = 0; x < kLevels; ++x) {
            for (int k = 0; k < 4; ++k) {
                background->sample(x, y, k) = k == 3 ? 1.0f : float(level(x));
                foreground->sample(x, y, k) = k == 3 ? 1.0f : float(level(y % kLevels));
            }
            mask->sample(x, y, 0) = float(coverage(y));
        }
    auto node = BNCrossfadeWithMaskNode::createWithGamma(source(BNChannelMaskRGBA, 1),
                                                         source(BNChannelMaskRGBA, 2),
                                                         source(BNChannelMaskOpacity, 3), kGamma);
    ASSERT_TRUE(node);
    auto context = BNRenderingContext::create();
    node->renderWithOutputSurface(*output, {background, foreground, mask}, *context);
    double worst = 0;
    std::string where;
    for (int y = 0; y < kLevels * kCoverages; ++y)
        for (int x = 0; x < kLevels; ++x) {
            double a = coverage(y), d = level(x), s = level(y % kLevels);
            double exact =
                std::pow(a * std::pow(s, kGamma) + (1 - a) * std::pow(d, kGamma), 1 / kGamma);
            double off = std::fabs(output->sample(x, y, 1) - exact) * 255;
            if (off <= worst) continue;
            worst = off;
            where = "S " + std::to_string(y % kLevels) + ", D " + std::to_string(x) + ", a " +
                    std::to_string(a);
        }
    EXPECT_LE(worst, 0.125) << where;
}

// Unmixing a crossfade's result from its background by its mask gives back
// the foreground it mixed in, wherever the mask is not 0; where it is, the
// mixed picture itself. Results stay premultiplied pictures.
TEST(BNUnmixWithMaskNode, TakesBackWhatACrossfadeMixedIn) {
    auto background = source(BNChannelMaskRGBA, 1), foreground = source(BNChannelMaskRGBA, 2);
    for (float floor : {0.0f, 0.25f}) {
        // A mask from `floor` up, 0 in its first column.
        auto mask = FunctionNode::create(VKRectInfinite, BNChannelMaskOpacity,
                                         [floor](double x, double y, int) {
                                             return x < 1 ? 0.0f : floor + float(x + y) / 20.0f;
                                         });
        auto mixed = BNCrossfadeWithMaskNode::create(background, foreground, mask);
        BNRenderer renderer;
        auto unmixed =
            renderer.renderNode(BNUnmixWithMaskNode::create(background, mixed, mask), kArea, 1.0);
        auto want = renderer.renderNode(foreground, kArea, 1.0);
        auto asMixed = renderer.renderNode(mixed, kArea, 1.0);
        ASSERT_TRUE(unmixed && want && asMixed);
        for (uint64_t y = 0; y < unmixed->heightInPixels(); ++y)
            for (uint64_t x = 0; x < unmixed->widthInPixels(); ++x)
                for (int k = 0; k < 4; ++k) {
                    if (x == 0)
                        ASSERT_EQ(unmixed->sample(x, y, k), asMixed->sample(x, y, k));
                    else
                        ASSERT_NEAR(unmixed->sample(x, y, k), want->sample(x, y, k), 1e-5)
                            << x << "," << y << " " << k;
                    ASSERT_LE(unmixed->sample(x, y, k), unmixed->sample(x, y, 3));
                }
    }
    // A picture that is not a crossfade of that backdrop is clamped to a
    // premultiplied picture: half a mask over a brighter result than any
    // foreground could give.
    auto grey = BNConstantColorNode::create({0.5, 0.5, 0.5, 1, 0}, BNChannelMaskRGBA);
    auto white = BNConstantColorNode::create({1, 1, 1, 1, 0}, BNChannelMaskRGBA);
    auto half = BNConstantColorNode::create({0, 0, 0, 0.5, 0}, BNChannelMaskOpacity);
    auto clamped = BNRenderer().renderNode(BNUnmixWithMaskNode::create(grey, white, half),
                                           VKRectMake(0, 0, 1, 1), 1.0);
    ASSERT_TRUE(clamped);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(clamped->sample(0, 0, k), 1.0f);
}

TEST(MaskNodes, PlaneRules) {
    BNSurfaceList pair = {sourceSurface(BNChannelMaskOpacity, 1),
                          sourceSurface(BNChannelMaskOpacity, 2)};
    auto a = source(BNChannelMaskOpacity, 1), b = source(BNChannelMaskOpacity, 2);
    expectPerPixel(*renderOverArea(*BNDifferenceMaskNode::create(a, b), pair), pair,
                   [](const std::vector<const float*>& p) {
                       return std::vector<float>{std::fabs(p[0][0] - p[1][0])};
                   });

    // Dividing by a zero mask leaves the coverage, clamped.
    BNSurfaceList divided = {sourceSurface(BNChannelMaskRGBA), sourceSurface(BNChannelMaskOpacity)};
    divided[1]->sample(1, 1, 0) = 0.0f;
    divided[0]->sample(1, 1, 3) = 0.6f;
    auto quotient =
        renderOverArea(*BNDivideMaskNode::create(source(BNChannelMaskRGBA), b, 0.5), divided);
    EXPECT_EQ(quotient->sample(1, 1, 3), 0.6f);
    float f = divided[1]->sample(3, 2, 0), alpha = divided[0]->sample(3, 2, 3);
    EXPECT_FLOAT_EQ(quotient->sample(3, 2, 3), std::clamp(alpha * 0.5f / f, 0.0f, 1.0f));

    // i s / (e (1 - s) + i s), mixed with the shape by the factor mask.
    BNSurfaceList four = {pair[0], pair[1], sourceSurface(BNChannelMaskOpacity, 3),
                          sourceSurface(BNChannelMaskOpacity, 4)};
    auto hack = BNEffectMaskHackNode::create(a, b, source(BNChannelMaskOpacity, 3),
                                             source(BNChannelMaskOpacity, 4));
    expectPerPixel(*renderOverArea(*hack, four), four, [](const std::vector<const float*>& p) {
        float i = p[0][0], e = p[1][0], s = p[2][0], fm = p[3][0];
        float q = i * s / (e * (1 - s) + i * s);
        return std::vector<float>{std::clamp((1 - fm) * q + s * fm, 0.0f, 1.0f)};
    });
}

TEST(BNLimitToMaskNode, ThresholdsBelowOnePercentLeaveTheInput) {
    auto input = BoundedPatternNode::create(VKRectMake(0, 0, 30, 30), BNChannelMaskOpacity, 1);
    auto mask = BoundedPatternNode::create(VKRectMake(2, 2, 4, 3), BNChannelMaskOpacity, 2);
    BNSurfaceList inputs = {sourceSurface(BNChannelMaskOpacity, 1),
                            sourceSurface(BNChannelMaskOpacity, 2)};
    for (double threshold : {0.005, 0.01}) {
        auto node = BNLimitToMaskNode::create(input, mask, threshold);
        EXPECT_FALSE(node->limitsInput());
        EXPECT_EQ(node->bounds(), input->bounds());
        EXPECT_EQ(samplesOf(*renderOverArea(*node, inputs)), samplesOf(*inputs[0]));
    }
    auto node = BNLimitToMaskNode::create(input, mask, 0.5);
    EXPECT_TRUE(node->limitsInput());
    EXPECT_EQ(node->bounds(), mask->bounds());
    expectPerPixel(*renderOverArea(*node, inputs), inputs, [](const std::vector<const float*>& p) {
        double cap = p[1][0] * (131072.0 / 65280.0);
        return std::vector<float>{p[1][0] < 0.5f && cap < p[0][0] ? float(cap) : p[0][0]};
    });
}

TEST(BNRestrictedBlendingNode, TakesTheNamedChannelsFromTheBackground) {
    BNSurfaceList inputs = {sourceSurface(BNChannelMaskRGBA, 1),
                            sourceSurface(BNChannelMaskRGBA, 2)};
    auto node =
        BNRestrictedBlendingNode::create(source(BNChannelMaskRGBA, 1), source(BNChannelMaskRGBA, 2),
                                         BNChannelMaskGreen | BNChannelMaskOpacity);
    expectPerPixel(*renderOverArea(*node, inputs), inputs, [](const std::vector<const float*>& p) {
        return std::vector<float>{p[0][0], p[1][1], p[0][2], p[1][3]};
    });
    lf::LogCapture log;
    BNSurfaceList planes = {inputs[0], sourceSurface(BNChannelMaskOpacity)};
    EXPECT_EQ(samplesOf(*renderOverArea(*node, planes)), samplesOf(*inputs[0]));
    EXPECT_TRUE(log.contains("BNRestrictedBlendingNode"));
}
