// Values decoded from the real documents: adjustments, fills, vector masks,
// patterns and colours, checked against what Photoshop shows for them (the
// numbers come from the documents' dialogs as saved; comments say which).
#include "PSDTestSupport.h"
#include "psd/OMPSDDocument.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using lf::test::layerNamed;

namespace {

std::shared_ptr<OMPSDDocument> open(const std::string& path) {
    auto document = OMPSDDocument::create(lf::test::readShared("psd/" + path));
    EXPECT_TRUE(document) << path;
    return document ? *document : nullptr;
}

}  // namespace

TEST(ValuesTest, LevelsRecordsScaleLevelsAndGamma) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    auto document = open("adjustments/levels_rgb.psd");
    ASSERT_TRUE(document);
    std::shared_ptr<const OMPSDLevelsList> levels;
    for (const auto& layer : document->allLayers())
        if (auto l = layer->levels(); l && l->recordAtIndex(0).inputFloor > 0.18) levels = l;
    ASSERT_NE(levels, nullptr);
    auto master = levels->recordAtIndex(0);
    EXPECT_DOUBLE_EQ(master.inputFloor, 48 / 255.0);
    EXPECT_DOUBLE_EQ(master.inputCeiling, 135 / 255.0);
    EXPECT_DOUBLE_EQ(master.outputFloor, 74 / 255.0);
    EXPECT_DOUBLE_EQ(master.outputCeiling, 141 / 255.0);
    EXPECT_DOUBLE_EQ(levels->recordAtIndex(3).gamma, 2.12);
    // Past the four channels: the identity record.
    auto identity = levels->recordAtIndex(7);
    EXPECT_EQ(identity.inputCeiling, 1.0);
    EXPECT_EQ(identity.gamma, 1.0);
}

TEST(ValuesTest, CurvesKeepTheirChannelsAndPointsInOrder) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    auto document = open("adjustments/adjustment_backdrop_test.psd");
    ASSERT_TRUE(document);
    auto curves = layerNamed(*document, "Curves 2")->curves();
    ASSERT_NE(curves, nullptr);
    EXPECT_EQ(curves->masterCurve(), nullptr);
    EXPECT_EQ(curves->redCurve(), nullptr);
    ASSERT_NE(curves->greenCurve(), nullptr);
    ASSERT_NE(curves->blueCurve(), nullptr);
    const auto& points = curves->blueCurve()->points();
    ASSERT_EQ(points.size(), 4u);
    EXPECT_DOUBLE_EQ(points[1].horizontal(), 52 / 255.0);
    EXPECT_DOUBLE_EQ(points[1].vertical(), 102 / 255.0);
    EXPECT_TRUE(points[1].isContinuous());
    // A curves layer left at its defaults stores no points.
    auto empty = open("layers/curves.psd")->allLayers()[0]->curves();
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->masterCurve(), nullptr);
}

TEST(ValuesTest, SimpleAdjustmentsDecodeTheirBlocks) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    auto exposure = open("layers/exposure.psd")->allLayers()[0]->exposure();
    ASSERT_NE(exposure, nullptr);
    EXPECT_EQ(exposure->exposure(), 0.0);
    EXPECT_EQ(exposure->gamma(), 1.0);

    auto balance = open("layers/color-balance.psd")->allLayers()[0]->colorBalance();
    ASSERT_NE(balance, nullptr);
    EXPECT_EQ(balance->midtones().cyanRed, 0.0);
    EXPECT_TRUE(balance->preserveLuminosity());

    EXPECT_EQ(open("layers/posterize.psd")->allLayers()[0]->posterizeLevels(), 4);
    EXPECT_DOUBLE_EQ(open("layers/threshold.psd")->allLayers()[0]->threshold(), 128 / 255.0);

    auto vibrance = open("layers/vibrance.psd")->allLayers()[0]->vibrance();
    ASSERT_NE(vibrance, nullptr);
    EXPECT_EQ(vibrance->vibrance(), 0.0);
    EXPECT_EQ(vibrance->saturation(), 0.0);

    // A pixel layer has none of these blocks.
    auto pixel = open("layers/pixel-layer.psd")->allLayers()[0];
    EXPECT_EQ(pixel->levels(), nullptr);
    EXPECT_EQ(pixel->posterizeLevels(), 0);
    EXPECT_EQ(pixel->contentGeneratorExtraData(), nullptr);
}

TEST(ValuesTest, HueSaturationColorizeAndRanges) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    auto document = open("adjustments/huesaturation_colorize_rgb.psd");
    ASSERT_TRUE(document);
    std::shared_ptr<const OMPSDHueSaturationList> colorize;
    for (const auto& layer : document->allLayers())
        if (auto h = layer->hueSaturation(); h && h->colorizationHue() == 31) colorize = h;
    ASSERT_NE(colorize, nullptr);
    EXPECT_TRUE(colorize->shouldColorize());
    EXPECT_DOUBLE_EQ(colorize->colorizationSaturation(), 1.0);
    EXPECT_DOUBLE_EQ(colorize->colorizationLightness(), -0.47);
    // The reds range wraps round 0 degrees.
    EXPECT_EQ(colorize->reds().range0, 315);
    EXPECT_EQ(colorize->reds().range3, 45);
    EXPECT_EQ(colorize->blues().range0, 195);
}

TEST(ValuesTest, BrightnessContrastCurrentAndLegacy) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    auto current = open("layers/brightness-contrast.psd")->allLayers()[0];
    auto data = current->contentGeneratorExtraData();
    ASSERT_NE(data, nullptr);
    int32_t version = 0, brightness = -1, means = 0;
    EXPECT_TRUE(data->decodeInt(&version, "Vrsn"));
    EXPECT_TRUE(data->decodeInt(&brightness, "Brgh"));
    EXPECT_TRUE(data->decodeInt(&means, "means"));
    EXPECT_EQ(version, 1);
    EXPECT_EQ(brightness, 0);
    EXPECT_EQ(means, 127);
    int32_t untouched = 42;
    EXPECT_FALSE(data->decodeInt(&untouched, "nope"));
    EXPECT_EQ(untouched, 42);

    auto legacy = open("adjustments/brightnesscontrast_legacy_grayscale.psd")->allLayers()[1];
    EXPECT_EQ(legacy->contentGeneratorExtraData(), nullptr);
    const auto* brit = legacy->attributesAtomForKey(OMPSDFourCC("brit"));
    ASSERT_NE(brit, nullptr);
    ASSERT_GE(brit->data().size(), 6u);
    EXPECT_EQ(int16_t(brit->data().bytes()[0] << 8 | brit->data().bytes()[1]), -23);
}

TEST(ValuesTest, GradientMapOfVersionsOneAndThree) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    for (const char* path : {"layers/gradient-map.psd", "layers/gradient-map-v3-linear.psd"}) {
        SCOPED_TRACE(path);
        auto map = open(path)->allLayers()[0]->gradientMap();
        ASSERT_NE(map, nullptr);
        const auto& stops = map->gradient()->colorStops();
        ASSERT_EQ(stops.size(), 2u);
        EXPECT_EQ(stops[0].color(), OMPSDColor(1, 0, 0));
        EXPECT_EQ(stops[1].location(), 1.0);
        EXPECT_EQ(stops[1].color(), OMPSDColor(1, 1, 1));
        EXPECT_EQ(map->gradient()->opacityStops().size(), 2u);
        EXPECT_FALSE(map->isReversed());
    }
}

TEST(ValuesTest, VectorMasksKeepOperationsAndDocumentFractions) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    struct Case {
        const char* path;
        uint16_t operations[3];
    } cases[] = {{"path-operations/combine.psd", {1, 1, 1}},
                 {"path-operations/exclude.psd", {1, 0, 0}},
                 {"path-operations/subtract-all.psd", {2, 2, 2}},
                 {"path-operations/intersect-all.psd", {3, 3, 3}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto document = open(c.path);
        auto mask = document->allLayers()[0]->vectorMask();
        ASSERT_NE(mask, nullptr);
        ASSERT_EQ(mask->subpaths().size(), 3u);
        for (int i = 0; i < 3; ++i) {
            const auto& path = mask->subpaths()[i];
            EXPECT_EQ(path.operation(), c.operations[i]);
            EXPECT_TRUE(path.isClosed());
            for (const auto& knot : path.segments()) {
                EXPECT_GE(knot.anchorPoint().x, -0.5);
                EXPECT_LE(knot.anchorPoint().x, 1.5);
            }
        }
        EXPECT_FALSE(mask->isInitiallyFilled());
    }
    // A subpath that continues the previous operation says so.
    auto group = open("path-operations/combine-group.psd")->allLayers()[0]->vectorMask();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->subpaths()[2].operation(), OMPSDPathOperationContinue);
    EXPECT_TRUE(open("layers/curves-with-vectormask.psd")
                    ->allLayers()[0]
                    ->vectorMask()
                    ->isInitiallyFilled());
}

TEST(ValuesTest, PatternsAreFoundByTheFillsIdentifier) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    auto document = open("layers-minimal/pattern-fill.psd");
    auto fill = document->allLayers()[0]->patternFill();
    ASSERT_NE(fill, nullptr);
    ASSERT_EQ(document->patterns().size(), 1u);
    const auto& pattern = *document->patterns()[0];
    EXPECT_EQ(pattern.identifier(), fill->patternReference()->identifier());
    ASSERT_EQ(pattern.channelReferences().size(), 3u);
    for (const auto& plane : pattern.channelReferences()) {
        EXPECT_EQ(plane->rect().width(), 128u);
        EXPECT_EQ(plane->byteArray()->length(), 128u * 128u);
    }
    // Read once and cached: the same objects every time.
    EXPECT_EQ(document->patterns()[0], document->patterns()[0]);
}

TEST(ValuesTest, ColoursOfEveryDescriptorModel) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    // HSB white as the stroke colour of a shape in an RGB document.
    auto hsb = open("descriptors/stroke-color-descriptors-hsb-with-rgb-mode.psd");
    auto stroke = hsb->allLayers().back()->vectorStroke();
    ASSERT_NE(stroke, nullptr);
    ASSERT_EQ(stroke->content()->kind(), OMPSDFill::Kind::color);
    EXPECT_EQ(static_cast<const OMPSDColorFill&>(*stroke->content()).color(), OMPSDColor(1, 1, 1));
    // Grey 59.115 % ink and a CMYK stroke colour.
    auto issue = open("issues/issue397.psd");
    bool sawGray = false;
    for (const auto& layer : issue->allLayers()) {
        auto fill = layer->vectorFill();
        if (!fill || fill->kind() != OMPSDFill::Kind::color) continue;
        const auto& color = static_cast<const OMPSDColorFill&>(*fill).color();
        if (std::abs(color.red() - (1 - 0.59115)) < 1e-4) sawGray = true;
    }
    EXPECT_TRUE(sawGray);
    EXPECT_EQ(OMPSDColor::fromHSB(120, 1, 1), OMPSDColor(0, 1, 0));
    EXPECT_EQ(OMPSDColor::fromCMYK(0, 0, 0, 1), OMPSDColor(0, 0, 0));
    auto lab = OMPSDColor::fromLab(100, 0, 0);  // D50 white, approximately sRGB white
    EXPECT_NEAR(lab.red(), 1, 0.01);
    EXPECT_NEAR(lab.green(), 1, 0.01);
    EXPECT_NEAR(lab.blue(), 1, 0.01);
    auto red = OMPSDColor::fromLab(54.29, 80.8, 69.89);  // sRGB red in D50 Lab
    EXPECT_NEAR(red.red(), 1, 0.02);
    EXPECT_NEAR(red.green(), 0, 0.05);
}

TEST(ValuesTest, SixteenAndThirtyTwoBitPlanes) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    // 16-bit samples are big-endian, 32-bit ones big-endian floats in 0..1.
    for (const char* path : {"16bit5x5.psd", "16bit5x5.psb", "32bit5x5.psd", "32bit5x5.psb"}) {
        SCOPED_TRACE(path);
        auto document = open(path);
        ASSERT_FALSE(document->allLayers().empty());
        for (const auto& layer : document->allLayers()) {
            for (const auto& channel : layer->channelReferences()) {
                auto bytes = channel->byteArray();
                uint64_t samples = channel->rect().width() * channel->rect().height();
                ASSERT_EQ(bytes->length(), samples * document->depth() / 8);
                std::vector<uint8_t> raw(bytes->length());
                ASSERT_TRUE(bytes->copyBytes(raw.data(), {0, raw.size()}));
                if (document->depth() == 32) {
                    for (uint64_t i = 0; i < samples; ++i) {
                        uint32_t bits = uint32_t(raw[4 * i]) << 24 | raw[4 * i + 1] << 16 |
                                        raw[4 * i + 2] << 8 | raw[4 * i + 3];
                        float value = std::bit_cast<float>(bits);
                        EXPECT_GE(value, 0.0f);
                        EXPECT_LE(value, 1.0f);
                    }
                }
            }
        }
    }
}

TEST(ValuesTest, TypeRecordsAndTheWritersVersion) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    // The same type layer saved by Photoshop CS5 and again by CC 2017, with
    // Photoshop's smooth anti-aliasing; masks.psb's type is drawn by the
    // system's LCD text rendering.
    for (const auto& [path, version] : {std::pair{"text.psd", "Adobe Photoshop CS5"},
                                        std::pair{"text.psb", "Adobe Photoshop CC 2017"}}) {
        auto document = open(path);
        ASSERT_TRUE(document);
        auto info = document->versionInfo();
        ASSERT_TRUE(info) << path;
        EXPECT_EQ(info->writerName, "Adobe Photoshop");
        EXPECT_EQ(info->readerName, version);
        EXPECT_TRUE(info->hasRealMergedData);
        auto type = document->layers().back()->typeRecord();
        ASSERT_TRUE(type) << path;
        EXPECT_EQ(type->antiAliasing(), "AnSm");
        EXPECT_FALSE(type->isAntiAliasedByPlatform());
        EXPECT_EQ(document->layers().front()->typeRecord(), nullptr);
    }
    auto masks = open("masks.psb");
    ASSERT_TRUE(masks);
    auto sign = layerNamed(*masks, "sign in");
    ASSERT_TRUE(sign && sign->typeRecord());
    EXPECT_EQ(sign->typeRecord()->antiAliasing(), "antiAliasPlatformLCD");
    EXPECT_TRUE(sign->typeRecord()->isAntiAliasedByPlatform());
}
