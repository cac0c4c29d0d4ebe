// The content builders of fill and adjustment layers and the fill rendering
// they share, on layers built in memory.
#include "DocumentRender.h"
#include "LayerFixtures.h"
#include "PSDTestSupport.h"
#include "compositing/QFRenderNodeForLayers.h"
#include "compositing/content/QFContentBuilders.h"
#include "compositing/content/QFVectorMaskPaths.h"
#include "compositing/fills/QFCorrectedLightAngle.h"
#include "compositing/fills/QFFillRendering.h"
#include "platform/core/Log.h"
#include "rendergraph/adjustments/BNContourMappingNode.h"
#include "rendergraph/core/BNRenderingContext.h"
#include "rendergraph/gradients/BNGradientMappingNode.h"
#include "rendergraph/gradients/BNLinearGradientNode.h"
#include "rendergraph/gradients/BNReflectedGradientNode.h"
#include "rendergraph/images/BNConstantColorNode.h"

#include <gtest/gtest.h>

using namespace compositing_test;

namespace {

using Blocks = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

// An adjustment layer (no pixels of its own) with these blocks.
std::shared_ptr<OMPSDLayer> adjustment(Blocks blocks) {
    LayerBlueprint blueprint;
    blueprint.rect = {0, 0, 0, 0};
    blueprint.blocks = std::move(blocks);
    return blueprint.make();
}

std::vector<uint8_t> shorts(std::vector<int> values) {
    lf::test::ByteWriter out;
    for (int v : values)
        out.u16(static_cast<uint16_t>(v));
    return out.data();
}

const BNContourMappingNode* contourNode(const BNRenderNode* node) {
    return dynamic_cast<const BNContourMappingNode*>(node);
}

const BNRenderNodePtr kGrey =
    BNConstantColorNode::create({0.25, 0.25, 0.25, 1, 0}, BNChannelMaskRGBA);

// Opaque `pixels` in one row under `adjustment` (an adjustment layer's
// blueprint), rendered as a document's merged image is stored: 8-bit RGBA.
std::vector<RGBA8> adjustedPixels(const std::vector<RGBA8>& pixels, LayerBlueprint adjustment) {
    LayerBlueprint base;
    base.rect = {0, 0, 1, int32_t(pixels.size())};
    base.pixels = pixels;
    adjustment.rect = {0, 0, 0, 0};
    auto image = RenderNodeWhole(QFRenderNodeForLayers({base.make(), adjustment.make()}),
                                 VKRectMake(0, 0, double(pixels.size()), 1), 1.0);
    std::vector<RGBA8> result(pixels.size());
    if (!image) return result;
    for (size_t i = 0; i < result.size(); ++i)
        std::copy_n(image->bytes() + 4 * i, 4, result[i].begin());
    return result;
}

}  // namespace

TEST(QFContentBuilders, TheFirstRowTheLayerHasWins) {
    struct {
        std::vector<std::string> keys;
        QFContentBuilder builder;
    } cases[] = {
        {{"levl", "curv"}, QFCurvesContentBuilder},  // curves come before levels
        {{"selc"}, QFSelectiveColorContentBuilder},
        {{"hue "}, QFIdentityContentBuilder},
        {{"hue ", "hue2"}, QFHueSaturationContentBuilder},
        {{"GdFl", "SoCo"}, QFSolidColorContentBuilder},
        {{"lnsr"}, nullptr},  // a pixel layer
    };
    for (const auto& c : cases) {
        Blocks blocks;
        for (const std::string& key : c.keys)
            blocks.push_back({key, {0, 0}});
        EXPECT_EQ(QFContentBuilderForLayer(*adjustment(blocks)), c.builder) << c.keys.front();
    }
    EXPECT_TRUE(QFIsAdjustmentLayer(*adjustment({{"selc", {}}})));
    EXPECT_FALSE(QFIsAdjustmentLayer(*adjustment({{"SoCo", solidColorBlock(0, 0, 0)}})));
}

TEST(QFContentBuilders, PosterizeThresholdInvertAndVibrance) {
    // Four levels: 0, 1/3, 2/3 and exactly 1 at the top, also where the
    // level reaches 1. Fewer than two levels leave the input alone.
    BNRenderNodePtr node = QFPosterizeContentBuilder(*adjustment({{"post", shorts({4})}}), kGrey);
    ASSERT_TRUE(contourNode(node.get()));
    std::vector<float> levels(4096);
    contourNode(node.get())
        ->providers()[BNChannelRed]
        ->generateContourValues(levels.data(), 4096, *BNRenderingContext::create());
    EXPECT_FLOAT_EQ(levels[1100], 1.0f / 3);
    EXPECT_EQ(levels[3500], 1.0f);
    EXPECT_EQ(levels[4095], 1.0f);
    for (int n : {0, 1})
        EXPECT_EQ(QFPosterizeContentBuilder(*adjustment({{"post", shorts({n})}}), kGrey), kGrey);

    // Threshold 128 over 256 entries: 128 black, then white, all opaque.
    node = QFThresholdContentBuilder(*adjustment({{"thrs", shorts({128})}}), kGrey);
    auto threshold = dynamic_cast<const BNGradientMappingNode*>(node.get());
    ASSERT_TRUE(threshold);
    std::vector<float> entries(4 * 256);
    threshold->provider()->generateRGBAGradientValues(entries.data(), 256, true);
    EXPECT_EQ(entries[4 * 127], 0.0f);
    EXPECT_EQ(entries[4 * 128], 1.0f);

    EXPECT_NEAR(renderPixel(QFInvertContentBuilder(*adjustment({}), kGrey), 0, 0)[0], 0.75, 1e-3);
    EXPECT_EQ(QFVibranceContentBuilder(*adjustment({{"vibA", {}}}), kGrey), kGrey);
}

TEST(QFPosterizeContentBuilder, EightBitValuesLandExactlyOnTheirLevels) {
    // Every 8-bit grey through 3, 4 and 21 levels: level floor(v n / 256)
    // drawn as floor(level 255 / (n - 1)), nothing in between (3 levels:
    // 85 gives 0, 86 127, 170 127, 171 255; 21 levels: 13 gives 12). Through
    // a mask of 128 the layer is mixed with its backdrop:
    // round(v + (out - v) 128 / 255).
    std::vector<RGBA8> ramp;
    for (int v = 0; v < 256; ++v)
        ramp.push_back({uint8_t(v), uint8_t(v), uint8_t(v), 255});
    for (uint16_t n : {3, 4, 21})
        for (bool masked : {false, true}) {
            SCOPED_TRACE(testing::Message() << n << " levels" << (masked ? ", masked" : ""));
            LayerBlueprint posterize;
            posterize.blocks = {{"post", shorts({n})}};
            posterize.hasMask = masked;
            posterize.maskRect = {0, 0, 1, 256};
            posterize.maskValue = 128;
            std::vector<RGBA8> drawn = adjustedPixels(ramp, posterize);
            for (int v = 0; v < 256; ++v) {
                int out = v * n / 256 * 255 / (n - 1);
                if (masked) out = int(std::lround(v + (out - v) * 128 / 255.0));
                ASSERT_EQ(drawn[v][0], out) << "at " << v;
            }
            if (n == 3 && !masked) {
                EXPECT_EQ(drawn[85][1], 0);
                EXPECT_EQ(drawn[86][1], 127);
                EXPECT_EQ(drawn[170][1], 127);
                EXPECT_EQ(drawn[171][1], 255);
            }
            if (n == 21 && !masked) {
                EXPECT_EQ(drawn[13][2], 12);
            }
        }
}

TEST(QFHueSaturationContentBuilder, LightnessMovesChannelsTowardTheirExtremes) {
    // A "hue2" record: master lightness `master` and a reds range (full
    // from 350 to 40 degrees) of lightness `reds`, in per cent; nothing
    // else set.
    auto hueSaturation = [](int16_t master, int16_t reds) {
        lf::test::ByteWriter out;
        out.u16(2).u8(0).u8(0);
        for (int value : {0, 0, 0, 0, 0, int(master)})
            out.u16(uint16_t(value));
        for (int range = 0; range < 6; ++range)
            for (int value : {330 + 60 * range, 350 + 60 * range, 40 + 60 * range, 60 + 60 * range,
                              0, 0, range == 0 ? int(reds) : 0})
                out.u16(uint16_t(value % 360));
        LayerBlueprint layer;
        layer.blocks = {{"hue2", out.data()}};
        return layer;
    };
    // The range's lightness narrows the chroma toward the largest channel
    // (lighter) or the smallest (darker), keeping the hue: 100 per cent
    // gives a grey.
    const RGBA8 orange{200, 100, 50, 255};
    struct {
        int16_t reds;
        RGBA8 expected;
    } ranges[] = {{50, {200, 150, 125, 255}},
                  {-50, {125, 75, 50, 255}},
                  {100, {200, 200, 200, 255}},
                  {-100, {50, 50, 50, 255}}};
    for (const auto& c : ranges)
        EXPECT_EQ(adjustedPixels({orange}, hueSaturation(0, c.reds))[0], c.expected) << c.reds;
    // The master lightness moves 8-bit levels by a whole number of levels,
    // truncated: -72 % is 183 levels (white becomes 72), +76 % is 193 (black
    // becomes 193); the range's lightness then works on that result.
    EXPECT_EQ(adjustedPixels({{255, 255, 255, 255}}, hueSaturation(-72, 0))[0],
              (RGBA8{72, 72, 72, 255}));
    EXPECT_EQ(adjustedPixels({{0, 0, 0, 255}}, hueSaturation(76, 0))[0],
              (RGBA8{193, 193, 193, 255}));
    // 200, 100, 50 less 127 levels: 100, 50, 25; then 40 % of the way to 25.
    EXPECT_EQ(adjustedPixels({orange}, hueSaturation(-50, -40))[0], (RGBA8{70, 40, 25, 255}));
}

TEST(QFSelectiveColorContentBuilder, GroupsChangeTheirInksByTheirWeights) {
    // A "selc" record: absolute or relative, with one group's cyan,
    // magenta, yellow and black in per cent.
    auto selective = [](bool absolute, int group, std::array<int, 4> inks) {
        lf::test::ByteWriter out;
        out.u16(1).u16(absolute ? 1 : 0).u32(0).u32(0);
        for (int g = 0; g < 9; ++g)
            for (int ink : inks)
                out.u16(uint16_t(g == group ? ink : 0));
        LayerBlueprint layer;
        layer.blocks = {{"selc", out.data()}};
        return layer;
    };
    const RGBA8 red{255, 0, 0, 255}, blue{0, 0, 255, 255}, yellow{255, 255, 0, 255};
    // Reds, absolute, cyan +20 and magenta -20: 20 % less red, 20 % more
    // green, weighed by the largest minus the middle channel (the case
    // Photoshop's own composite shows); a blue pixel is no red at all.
    auto reds = selective(true, 0, {20, -20, 0, 0});
    EXPECT_EQ(adjustedPixels({red, blue}, reds),
              (std::vector<RGBA8>{{204, 51, 0, 255}, {0, 0, 255, 255}}));
    // Relative: each change scaled by the ink the channel holds, none in
    // full red.
    EXPECT_EQ(adjustedPixels({red}, selective(false, 0, {20, -20, 0, 0}))[0],
              (RGBA8{255, 51, 0, 255}));
    // Yellows, weighed by the middle minus the smallest channel; whites by
    // the smallest channel above one half, blacks by the largest below it.
    EXPECT_EQ(adjustedPixels({yellow}, selective(true, 1, {0, 0, 0, 20}))[0],
              (RGBA8{204, 204, 0, 255}));
    EXPECT_EQ(adjustedPixels({{255, 255, 255, 255}}, selective(true, 6, {0, 0, 0, 20}))[0],
              (RGBA8{204, 204, 204, 255}));
    EXPECT_EQ(adjustedPixels({{0, 0, 0, 255}}, selective(true, 8, {0, 0, 0, -20}))[0],
              (RGBA8{51, 51, 51, 255}));
    // A record that changes nothing leaves the backdrop's node alone.
    EXPECT_EQ(QFSelectiveColorContentBuilder(*selective(true, 0, {0, 0, 0, 0}).make(), kGrey),
              kGrey);
}

TEST(QFFillGradientEndpoints, AxisThroughTheCentreToTheEdges) {
    struct {
        VKRect rect;
        double angle, scale, offset;
        VKPoint start, end;
    } cases[] = {
        {VKRectMake(0, 0, 100, 50), 0, 1, 0, {0, 25}, {100, 25}},
        {VKRectMake(0, 0, 100, 50), 90, 1, 0, {50, 50}, {50, 0}},
        {VKRectMake(0, 0, 100, 50), 540, 1, 0, {100, 25}, {0, 25}},  // 180, folded by a turn
        {VKRectMake(0, 0, 100, 100), 45, 1, 0, {0, 100}, {100, 0}},
        // The stored angle's slope, to whole pixels: 50 tan 30 = 28.87; and
        // a merged image's gradient, 32 tan 10 = 5.64.
        {VKRectMake(0, 0, 100, 100), 30, 1, 0, {0, 78}, {100, 21}},
        {VKRectMake(0, 0, 64, 64), 10, 1, 0, {0, 37}, {64, 26}},
        {VKRectMake(0, 0, 101, 50), 0, 0.5, 0, {25, 25}, {75, 25}},
        {VKRectMake(0, 0, 100, 50), 0, 1, 0.1, {10, 25}, {110, 25}},
    };
    for (const auto& c : cases) {
        auto axis = QFFillGradientEndpoints(c.rect, c.angle, c.scale, c.offset, 0);
        EXPECT_TRUE(axis.start == c.start && axis.end == c.end)
            << c.angle << ": (" << axis.start.x << ", " << axis.start.y << ") to (" << axis.end.x
            << ", " << axis.end.y << ")";
    }
    EXPECT_NEAR(QFCorrectedLightAngle(120), 123.464098, 1e-6);
    EXPECT_NEAR(QFCorrectedLightAngle(-30), 326.535901, 1e-6);
    EXPECT_NEAR(QFCorrectedLightAngle(750), 33.464098, 1e-6);
}

TEST(QFRenderNodeForFill, GradientsLayOutInTheirBoxAndPatternsNeedTheirTile) {
    auto layer = adjustment({});
    OMPSDGradientFill fill;
    fill.setGradient(std::make_shared<OMPSDGradient>());
    fill.setAngle(30);
    VKRect box = VKRectMake(0, 0, 4, 4), document = VKRectMake(0, 0, 8, 8);
    lf::LogCapture log;  // the gradient has no stops

    // A reflected gradient runs from the centre to the end point, mirrored.
    fill.setStyle(OMPSDGradientStyleReflected);
    auto reflected = std::dynamic_pointer_cast<const BNReflectedGradientNode>(
        QFRenderNodeForFill(fill, box, document, *layer));
    ASSERT_TRUE(reflected);
    EXPECT_EQ(reflected->startPoint(), VKPointMake(0, 4));
    EXPECT_EQ(reflected->endPoint(), VKPointMake(4, 0));
    // Not aligned with the layer: the document is the box.
    fill.setStyle(OMPSDGradientStyleLinear);
    fill.setAngle(0);
    fill.setIsAlignedWithLayer(false);
    auto linear = std::dynamic_pointer_cast<const BNLinearGradientNode>(
        QFRenderNodeForFill(fill, box, document, *layer));
    ASSERT_TRUE(linear);
    EXPECT_EQ(linear->endPoint(), VKPointMake(8, 4));

    // A pattern the document lacks draws nothing, as a fill layer too.
    OMPSDPatternFill pattern;
    pattern.setPatternReference(std::make_shared<OMPSDPatternReference>("abc", "Missing"));
    EXPECT_FALSE(QFRenderNodeForFill(pattern, box, document, *layer));
    EXPECT_TRUE(log.contains("Unable to find pattern with identifier: abc"));
    EXPECT_FALSE(QFPatternFillContentBuilder(*layer, kGrey));
}

TEST(QFImageProviderForPattern, GrayAndIndexedTilesReadAsRGB) {
    OMPSDRect rect{0, 0, 1, 2};
    // The two samples of a channel, in whole levels.
    auto read = [&](const std::shared_ptr<const BNImageProvider>& provider, BNChannel channel) {
        float values[2] = {-1, -1};
        provider->readFloatData(values, sizeof(float), sizeof values, channel,
                                VKRectMake(0, 0, 2, 1), *BNRenderingContext::create());
        return std::vector<long>{std::lround(values[0] * 255), std::lround(values[1] * 255)};
    };
    auto gray = QFImageProviderForPattern(
        OMPSDPattern("g", "Gray", OMPSDDocument::grayscale,
                     {makePlane(0, rect, {51, 255}), makePlane(-1, rect, {255, 0})}));
    ASSERT_TRUE(gray);
    for (BNChannel c : {BNChannelRed, BNChannelGreen, BNChannelBlue})
        EXPECT_EQ(read(gray, c), (std::vector<long>{51, 255}));
    EXPECT_EQ(read(gray, BNChannelOpacity), (std::vector<long>{255, 0}));

    std::vector<uint8_t> table(3 * 256, 0);
    table[3 * 2 + 0] = 255;  // index 2: red
    table[3 * 7 + 2] = 51;   // index 7: dark blue
    auto indices = makePlane(0, rect, {2, 7});
    auto indexed = QFImageProviderForPattern(
        OMPSDPattern("i", "Indexed", OMPSDDocument::indexed, {indices}, table));
    ASSERT_TRUE(indexed);
    EXPECT_EQ(read(indexed, BNChannelRed), (std::vector<long>{255, 0}));
    EXPECT_EQ(read(indexed, BNChannelBlue), (std::vector<long>{0, 51}));
    // A mode without RGB planes: nothing.
    EXPECT_FALSE(
        QFImageProviderForPattern(OMPSDPattern("c", "CMYK", OMPSDDocument::cmyk, {indices})));

    // A damaged tile that claims 65536 by 65536 samples over the two it
    // stores: nothing, before its 16 GiB of floats are asked for.
    lf::LogCapture log;
    auto claimed = makePlane(0, OMPSDRect{0, 0, 65536, 65536}, {51, 255});
    EXPECT_FALSE(QFImageProviderForPattern(
        OMPSDPattern("d", "Damaged", OMPSDDocument::grayscale, {claimed})));
    EXPECT_TRUE(log.contains("Pattern 'Damaged': test plane"));
}

TEST(QFVectorMaskPaths, MasksWithoutSubpathsAreTheirInitialFill) {
    for (bool filled : {true, false}) {
        LayerBlueprint blueprint;
        blueprint.blocks = {{"vmsk", vectorMaskBlock({}, filled)}};
        auto layer = blueprint.make();
        BNRenderNodePtr mask = QFFilledVectorMaskNode(*layer, *layer->vectorMask(), false);
        if (filled)
            EXPECT_EQ(renderMaskValue(mask, 5, 5), 1.0f);
        else
            EXPECT_FALSE(mask);
        QFVectorMaskPaths paths;
        EXPECT_FALSE(QFVectorMaskPathsAndOperations(*layer->vectorMask(), 10, 10, &paths));
    }
    // Subpaths grouped by their operations, in the render graph's numbers.
    std::vector<OMPSDPoint> square{{0, 0}, {0.5, 0}, {0.5, 0.5}, {0, 0.5}};
    LayerBlueprint blueprint;
    blueprint.blocks = {{"vmsk", vectorMaskBlock({{1, square}, {2, square}, {0, square}})}};
    QFVectorMaskPaths paths;
    ASSERT_TRUE(QFVectorMaskPathsAndOperations(*blueprint.make()->vectorMask(), 10, 10, &paths));
    EXPECT_EQ(paths.operations, (std::vector<int>{VKBooleanOperationAdd, VKBooleanOperationSubtract,
                                                  VKBooleanOperationExclude}));
    EXPECT_EQ(paths.paths.front()->bounds().size.width, 5);
}
