// The content builders of fill and adjustment layers and the fill rendering
// they share, on layers built in memory.
#include "LayerFixtures.h"
#include "PSDTestSupport.h"
#include "compositing/QFContentBuilders.h"
#include "compositing/QFCorrectedLightAngle.h"
#include "compositing/QFFillRendering.h"
#include "compositing/QFVectorMaskPaths.h"
#include "platform/Log.h"
#include "rendergraph/BNConstantColorNode.h"
#include "rendergraph/BNContourMappingNode.h"
#include "rendergraph/BNGradientMappingNode.h"
#include "rendergraph/BNLinearGradientNode.h"
#include "rendergraph/BNReflectedGradientNode.h"
#include "rendergraph/BNRenderingContext.h"

#include <gtest/gtest.h>

using namespace compositing_test;
using lf::test::ByteWriter;

namespace {

// An adjustment layer (no pixels of its own) with these blocks.
std::shared_ptr<OMPSDLayer> adjustment(
    std::vector<std::pair<std::string, std::vector<uint8_t>>> blocks) {
    LayerBlueprint blueprint;
    blueprint.name = "Adjustment";
    blueprint.rect = {0, 0, 0, 0};
    blueprint.blocks = std::move(blocks);
    return blueprint.make();
}

std::vector<uint8_t> u16Block(uint16_t value) {
    return ByteWriter().u16(value).data();
}

// A "levl" block: master, red, green, blue records of (input floor, input
// ceiling, output floor, output ceiling) levels and gamma * 100; the rest
// identity.
std::vector<uint8_t> levelsBlock(const std::vector<std::array<int16_t, 5>>& records) {
    ByteWriter out;
    out.u16(2);
    for (size_t i = 0; i < 29; ++i) {
        std::array<int16_t, 5> r =
            i < records.size() ? records[i] : std::array<int16_t, 5>{0, 255, 0, 255, 100};
        for (int16_t v : r)
            out.u16(static_cast<uint16_t>(v));
    }
    return out.data();
}

// A "curv" block of (channel, points as (input, output) levels).
std::vector<uint8_t> curvesBlock(
    const std::vector<std::pair<int, std::vector<std::pair<int, int>>>>& curves) {
    uint32_t channels = 0;
    for (const auto& [channel, points] : curves)
        channels |= 1u << channel;
    ByteWriter out;
    out.u8(0).u16(1).u32(channels);
    for (const auto& [channel, points] : curves) {
        out.u16(static_cast<uint16_t>(points.size()));
        for (const auto& [input, output] : points)
            out.u16(static_cast<uint16_t>(output)).u16(static_cast<uint16_t>(input));
    }
    return out.data();
}

const BNContourMappingNode* contourNode(const BNRenderNode* node) {
    return dynamic_cast<const BNContourMappingNode*>(node);
}
const BNContourMappingNode* contourNode(const BNRenderNodePtr& node) {
    return contourNode(node.get());
}

std::vector<float> contourTable(const BNContourProvider& provider, uint64_t count) {
    std::vector<float> values(count);
    auto context = BNRenderingContext::create();
    provider.generateContourValues(values.data(), count, *context);
    return values;
}

const BNRenderNodePtr kGrey =
    BNConstantColorNode::create({0.25, 0.25, 0.25, 1, 0}, BNChannelMaskRGBA);

}  // namespace

TEST(QFContentBuilderForLayer, TheFirstRowTheLayerHasWins) {
    struct Case {
        std::vector<std::string> keys;
        QFContentBuilder builder;
    } cases[] = {
        {{"levl", "curv"}, QFCurvesContentBuilder},  // curves come before levels
        {{"selc"}, QFIdentityContentBuilder},
        {{"hue "}, QFIdentityContentBuilder},
        {{"hue ", "hue2"}, QFHueSaturationContentBuilder},
        {{"post"}, QFPosterizeContentBuilder},
        {{"GdFl", "SoCo"}, QFSolidColorContentBuilder},
        {{"lnsr"}, nullptr},  // a pixel layer
    };
    for (const Case& c : cases) {
        std::vector<std::pair<std::string, std::vector<uint8_t>>> blocks;
        for (const std::string& key : c.keys)
            blocks.push_back({key, {0, 0}});
        auto layer = adjustment(blocks);
        EXPECT_EQ(QFContentBuilderForLayer(*layer), c.builder) << c.keys.front();
    }
    EXPECT_TRUE(QFIsAdjustmentLayer(*adjustment({{"selc", {}}})));
    EXPECT_FALSE(QFIsAdjustmentLayer(*adjustment({{"SoCo", solidColorBlock(0, 0, 0)}})));
    // Recognised adjustments that are not applied hand their input on.
    EXPECT_EQ(QFIdentityContentBuilder(*adjustment({{"selc", {}}}), kGrey), kGrey);
}

TEST(QFContentBuilders, CurvesAndLevelsMapChannelsBeforeTheMaster) {
    // Only a master curve: one mapping node over the input.
    auto master = adjustment({{"curv", curvesBlock({{0, {{0, 0}, {128, 200}, {255, 255}}}})}});
    BNRenderNodePtr node = QFCurvesContentBuilder(*master, kGrey);
    ASSERT_TRUE(contourNode(node));
    EXPECT_EQ(node->inputNode(0), kGrey.get());

    // Red and master curves: the red one nearer the input; an identity
    // line builds nothing.
    auto both = adjustment({{"curv", curvesBlock({{0, {{0, 0}, {128, 200}, {255, 255}}},
                                                  {1, {{0, 64}, {255, 255}}},
                                                  {2, {{0, 0}, {255, 255}}}})}});
    node = QFCurvesContentBuilder(*both, kGrey);
    ASSERT_TRUE(contourNode(node));
    const BNContourMappingNode* red = contourNode(node->inputNode(0));
    ASSERT_TRUE(red);
    EXPECT_EQ(red->inputNode(0), kGrey.get());
    EXPECT_TRUE(red->providers()[BNChannelRed]);
    EXPECT_FALSE(red->providers()[BNChannelGreen]);
    // Red lifted to 64/255 at black, then the master curve: grey 0.25 comes
    // out redder than green.
    auto pixel = renderPixel(node, 0, 0);
    EXPECT_GT(pixel[0], pixel[1] + 0.05f);

    // Levels: identity records build nothing; all identity is the input.
    EXPECT_EQ(QFLevelsContentBuilder(*adjustment({{"levl", levelsBlock({})}}), kGrey), kGrey);
    auto blueOnly = adjustment({{"levl", levelsBlock({{0, 255, 0, 255, 100},
                                                      {0, 255, 0, 255, 100},
                                                      {0, 255, 0, 255, 100},
                                                      {0, 255, 0, 255, 200}})}});
    node = QFLevelsContentBuilder(*blueOnly, kGrey);
    ASSERT_TRUE(contourNode(node));
    EXPECT_EQ(node->inputNode(0), kGrey.get());
    pixel = renderPixel(node, 0, 0);
    EXPECT_NEAR(pixel[0], 0.25, 1e-3);
    EXPECT_NEAR(pixel[2], 0.5, 2e-3);  // gamma 2: 0.25^(1/2)
}

TEST(QFContentBuilders, PosterizeThresholdAndInvertTables) {
    // Four levels: 0, 1/3, 2/3 and exactly 1 at the top, also where the
    // level reaches 1.
    BNRenderNodePtr posterizeNode =
        QFPosterizeContentBuilder(*adjustment({{"post", u16Block(4)}}), kGrey);
    auto posterize = contourNode(posterizeNode);
    ASSERT_TRUE(posterize);
    auto levels = contourTable(*posterize->providers()[BNChannelRed], 4096);
    EXPECT_EQ(levels[0], 0.0f);
    EXPECT_FLOAT_EQ(levels[1100], 1.0f / 3);
    EXPECT_FLOAT_EQ(levels[2100], 2.0f / 3);
    EXPECT_EQ(levels[3500], 1.0f);
    EXPECT_EQ(levels[4095], 1.0f);
    // Fewer than two levels leave the input alone.
    for (uint16_t n : {0, 1})
        EXPECT_EQ(QFPosterizeContentBuilder(*adjustment({{"post", u16Block(n)}}), kGrey), kGrey);

    // Threshold 128 over 256 entries: 128 black, then white, all opaque.
    BNRenderNodePtr thresholdNode =
        QFThresholdContentBuilder(*adjustment({{"thrs", u16Block(128)}}), kGrey);
    auto threshold = dynamic_cast<const BNGradientMappingNode*>(thresholdNode.get());
    ASSERT_TRUE(threshold);
    std::vector<float> entries(4 * 256);
    threshold->provider()->generateRGBAGradientValues(entries.data(), 256, true);
    EXPECT_EQ(entries[4 * 127], 0.0f);
    EXPECT_EQ(entries[4 * 128], 1.0f);
    EXPECT_EQ(entries[4 * 127 + 3], 1.0f);

    auto inverted = renderPixel(QFInvertContentBuilder(*adjustment({{"nvrt", {}}}), kGrey), 0, 0);
    EXPECT_NEAR(inverted[0], 0.75, 1e-3);
    EXPECT_EQ(inverted[3], 1.0f);

    // A vibrance record that changes nothing builds nothing.
    EXPECT_EQ(QFVibranceContentBuilder(*adjustment({{"vibA", {}}}), kGrey), kGrey);
}

TEST(QFFillGradientEndpoints, AxisThroughTheCentreToTheEdges) {
    struct Case {
        VKRect rect;
        double angle, scale, horizontalOffset;
        VKPoint start, end;
    } cases[] = {
        {VKRectMake(0, 0, 100, 50), 0, 1, 0, {0, 25}, {100, 25}},
        {VKRectMake(0, 0, 100, 50), 90, 1, 0, {50, 50}, {50, 0}},
        {VKRectMake(0, 0, 100, 50), -90, 1, 0, {50, 0}, {50, 50}},
        {VKRectMake(0, 0, 100, 50), 180, 1, 0, {100, 25}, {0, 25}},
        {VKRectMake(0, 0, 100, 50), 540, 1, 0, {100, 25}, {0, 25}},  // folded by a turn
        {VKRectMake(0, 0, 100, 100), 45, 1, 0, {0, 100}, {100, 0}},
        // The stored angle's slope: 50 tan 30 = 28.87, whole pixels.
        {VKRectMake(0, 0, 100, 100), 30, 1, 0, {0, 78}, {100, 21}},
        // A merged image's gradient: 32 tan 10 = 5.64 in a 64-pixel box.
        {VKRectMake(0, 0, 64, 64), 10, 1, 0, {0, 37}, {64, 26}},
        {VKRectMake(0, 0, 101, 50), 0, 0.5, 0, {25, 25}, {75, 25}},
        {VKRectMake(0, 0, 100, 50), 0, 1, 0.1, {10, 25}, {110, 25}},
    };
    for (const Case& c : cases) {
        QFGradientEndpoints axis =
            QFFillGradientEndpoints(c.rect, c.angle, c.scale, c.horizontalOffset, 0);
        EXPECT_TRUE(axis.start == c.start && axis.end == c.end)
            << c.angle << ": (" << axis.start.x << ", " << axis.start.y << ") to (" << axis.end.x
            << ", " << axis.end.y << ")";
    }
}

TEST(QFRenderNodeForFill, GradientsLayOutInTheirBoxAndPatternsNeedTheirTile) {
    auto layer = adjustment({});
    auto fill = std::make_shared<OMPSDGradientFill>();
    fill->setGradient(std::make_shared<OMPSDGradient>());
    fill->setAngle(30);
    VKRect box = VKRectMake(0, 0, 4, 4), document = VKRectMake(0, 0, 8, 8);
    lf::LogCapture log;  // the gradient has no stops

    // A reflected gradient runs from the centre to the end point, mirrored.
    fill->setStyle(OMPSDGradientStyleReflected);
    auto reflected = std::dynamic_pointer_cast<const BNReflectedGradientNode>(
        QFRenderNodeForFill(*fill, box, document, *layer));
    ASSERT_TRUE(reflected);
    EXPECT_EQ(reflected->startPoint(), VKPointMake(0, 4));
    EXPECT_EQ(reflected->endPoint(), VKPointMake(4, 0));

    // Not aligned with the layer, or without bounds: the document is the box.
    fill->setStyle(OMPSDGradientStyleLinear);
    fill->setAngle(0);
    fill->setIsAlignedWithLayer(false);
    for (VKRect layerBounds : {box, VKRectNull}) {
        auto linear = std::dynamic_pointer_cast<const BNLinearGradientNode>(
            QFRenderNodeForFill(*fill, layerBounds, document, *layer));
        ASSERT_TRUE(linear);
        EXPECT_EQ(linear->endPoint(), VKPointMake(8, 4));
    }
    fill->setStyle(OMPSDGradientStyleShapeBurst);
    EXPECT_FALSE(QFRenderNodeForFill(*fill, box, document, *layer));

    // A pattern the document lacks draws nothing, as a fill layer too.
    OMPSDPatternFill pattern;
    pattern.setPatternReference(std::make_shared<OMPSDPatternReference>("abc", "Missing"));
    EXPECT_FALSE(QFRenderNodeForFill(pattern, box, document, *layer));
    EXPECT_TRUE(log.contains("Unable to find pattern with identifier: abc"));
    EXPECT_FALSE(QFPatternFillContentBuilder(*layer, kGrey));
}

TEST(QFImageProviderForPattern, GrayAndIndexedTilesReadAsRGB) {
    OMPSDRect rect{0, 0, 1, 2};
    // The two samples, in whole levels.
    auto read = [&](const BNImageProvider& provider, BNChannel channel) {
        float values[2] = {-1, -1};
        auto context = BNRenderingContext::create();
        provider.readFloatData(values, sizeof(float), 2 * sizeof(float), channel,
                               VKRectMake(0, 0, 2, 1), *context);
        return std::vector<long>{std::lround(values[0] * 255), std::lround(values[1] * 255)};
    };
    auto transparency = makePlane(-1, rect, {255, 0});

    OMPSDPattern gray("g", "Gray", OMPSDDocument::grayscale,
                      {makePlane(0, rect, {51, 255}), transparency});
    auto grayProvider = QFImageProviderForPattern(gray);
    ASSERT_TRUE(grayProvider);
    EXPECT_EQ(grayProvider->channels(), BNChannelMaskRGBA);
    for (BNChannel c : {BNChannelRed, BNChannelGreen, BNChannelBlue})
        EXPECT_EQ(read(*grayProvider, c), (std::vector<long>{51, 255}));
    EXPECT_EQ(read(*grayProvider, BNChannelOpacity), (std::vector<long>{255, 0}));

    std::vector<uint8_t> table(3 * 256, 0);
    table[3 * 2 + 0] = 255;  // index 2: red
    table[3 * 7 + 2] = 51;   // index 7: dark blue
    OMPSDPattern indexed("i", "Indexed", OMPSDDocument::indexed, {makePlane(0, rect, {2, 7})},
                         table);
    auto indexedProvider = QFImageProviderForPattern(indexed);
    ASSERT_TRUE(indexedProvider);
    EXPECT_EQ(read(*indexedProvider, BNChannelRed), (std::vector<long>{255, 0}));
    EXPECT_EQ(read(*indexedProvider, BNChannelBlue), (std::vector<long>{0, 51}));
    EXPECT_EQ(indexedProvider->backgroundValueForChannel(BNChannelOpacity), 1.0f);

    // A table of the wrong size, or a mode without RGB planes: nothing.
    EXPECT_FALSE(QFImageProviderForPattern(
        OMPSDPattern("i", "Short", OMPSDDocument::indexed, {makePlane(0, rect, {2, 7})}, {1})));
    EXPECT_FALSE(QFImageProviderForPattern(
        OMPSDPattern("c", "CMYK", OMPSDDocument::cmyk, {makePlane(0, rect, {0, 0})})));
}

TEST(QFCorrectedLightAngle, PullsAnglesTowardsTheQuadrantsDiagonal) {
    struct Case {
        double angle, expected;
    } cases[] = {{30, 33.464098}, {60, 56.535901}, {120, 123.464098}, {-30, 326.535901},
                 {45, 45},        {90, 90},        {360, 360},        {750, 33.464098}};
    for (const Case& c : cases)
        EXPECT_NEAR(QFCorrectedLightAngle(c.angle), c.expected, 1e-6) << c.angle;
}

TEST(QFVectorMaskPaths, MasksWithoutSubpathsAreTheirInitialFill) {
    for (bool filled : {true, false}) {
        LayerBlueprint blueprint;
        blueprint.blocks = {{"vmsk", vectorMaskBlock({}, filled)}};
        auto layer = blueprint.make();
        ASSERT_TRUE(layer->vectorMask());
        BNRenderNodePtr mask = QFFilledVectorMaskNode(*layer, *layer->vectorMask(), false);
        if (filled)
            EXPECT_EQ(renderMaskValue(mask, 5, 5), 1.0f);
        else
            EXPECT_FALSE(mask);
        QFVectorMaskPaths paths;
        EXPECT_FALSE(QFVectorMaskPathsAndOperations(*layer->vectorMask(), 10, 10, &paths));
    }
    // Subpaths grouped by their operations, in the render graph's numbers.
    LayerBlueprint blueprint;
    std::vector<OMPSDPoint> square{{0, 0}, {0.5, 0}, {0.5, 0.5}, {0, 0.5}};
    blueprint.blocks = {{"vmsk", vectorMaskBlock({{1, square}, {2, square}, {0, square}})}};
    auto layer = blueprint.make();
    QFVectorMaskPaths paths;
    ASSERT_TRUE(QFVectorMaskPathsAndOperations(*layer->vectorMask(), 10, 10, &paths));
    EXPECT_EQ(paths.operations, (std::vector<int>{VKBooleanOperationAdd, VKBooleanOperationSubtract,
                                                  VKBooleanOperationExclude}));
    EXPECT_EQ(paths.paths.front()->bounds().size.width, 5);
}
