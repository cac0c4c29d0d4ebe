// Adjustment values and Blend If ranges of a document built byte by byte in
// the layouts Photoshop writes. Every field holds a value of its own, none
// of them a default, so a field read into the wrong place shows; a second
// document leaves out what may be left out and reads the defaults.
#include "PSDTestSupport.h"
#include "psd/OMPSDAdjustments.h"
#include "psd/OMPSDDocument.h"
#include "psd/OMPSDFill.h"

#include <gtest/gtest.h>

#include <array>

using lf::test::ByteWriter;
using lf::test::item;
using lf::test::TestDocument;
using lf::test::TestLayer;

using lf::test::layerNamed;

namespace {

TestLayer layerWithBlock(const std::string& name, const char* key, std::vector<uint8_t> block) {
    TestLayer layer;
    layer.name = name;
    layer.blocks = {{key, std::move(block)}};
    return layer;
}

std::shared_ptr<OMPSDDocument> open(const TestDocument& document) {
    auto opened = OMPSDDocument::create(document.data());
    EXPECT_TRUE(opened) << lf::describe(opened.error());
    return opened ? *opened : nullptr;
}

// Levels: version 2, then 29 records of input floor and ceiling, output
// floor and ceiling and gamma x 100; the first four are master, red, green
// and blue, the rest stay neutral.
const int16_t kLevels[4][5] = {{11, 201, 21, 231, 120},
                               {12, 202, 22, 232, 130},
                               {13, 203, 23, 233, 140},
                               {14, 204, 24, 234, 150}};

std::vector<uint8_t> levelsBlock() {
    ByteWriter out;
    out.u16(2);
    for (int record = 0; record < 29; ++record)
        for (int field = 0; field < 5; ++field)
            out.u16(uint16_t(record < 4 ? kLevels[record][field]
                                        : std::array<int16_t, 5>{0, 255, 0, 255, 100}[field]));
    return out.data();
}

// Curves: a filler byte, version 1, the bit map of the channels stored
// (composite, red, green, blue), then each curve's point count and its
// (output, input) pairs.
const std::vector<std::pair<int, int>> kCurves[4] = {{{30, 0}, {220, 250}},
                                                     {{5, 10}, {128, 100}, {250, 245}},
                                                     {{60, 0}, {190, 255}},
                                                     {{0, 20}, {70, 60}, {180, 200}, {255, 235}}};

std::vector<uint8_t> curvesBlock() {
    ByteWriter out;
    out.u8(0).u16(1).u32(0b1111);
    for (const auto& curve : kCurves) {
        out.u16(uint16_t(curve.size()));
        for (auto [output, input] : curve)
            out.u16(uint16_t(output)).u16(uint16_t(input));
    }
    return out.data();
}

// Hue/saturation: version 2, colorize and a filler byte, colorization hue,
// saturation and lightness, master hue, saturation and lightness, then the
// reds, yellows, greens, cyans, blues and magentas, each four range bounds
// and hue, saturation and lightness.
const int16_t kRanges[6][7] = {
    {310, 340, 20, 50, -5, 7, -3},      {10, 40, 80, 110, -10, 14, -6},
    {70, 100, 140, 170, -16, 21, -9},   {130, 160, 200, 230, -20, 28, -12},
    {190, 220, 260, 290, -25, 35, -19}, {250, 280, 320, 350, -35, 42, -21}};

std::vector<uint8_t> hueSaturationBlock() {
    ByteWriter out;
    out.u16(2).u8(1).u8(0);
    for (int16_t value : {200, 40, -15, -30, 25, 10})
        out.u16(uint16_t(value));
    for (const auto& range : kRanges)
        for (int16_t value : range)
            out.u16(uint16_t(value));
    return out.data();
}

// Gradient map: version 1, reversed, dithered, name, colour stops
// (location of 4096, midpoint percent, colour space and four components,
// two filler bytes), opacity stops (location, midpoint, opacity of 255),
// then the expansion record: count 2, interpolation of 4096, length 32,
// noise mode, seed, two flags, roughness, colour model, minimum and maximum
// colours and two filler bytes.
std::vector<uint8_t> gradientMapBlock() {
    ByteWriter out;
    out.u16(1).u8(1).u8(1).unicode("Dusk");
    out.u16(3);
    out.u32(0).u32(30).u16(0).u16(65535).u16(0).u16(0).u16(0).u16(0);
    out.u32(1638).u32(65).u16(0).u16(0).u16(13107).u16(0).u16(0).u16(0);
    out.u32(4096).u32(40).u16(0).u16(0).u16(0).u16(52428).u16(0).u16(0);
    out.u16(2);
    out.u32(0).u32(35).u16(204);
    out.u32(4096).u32(70).u16(51);
    out.u16(2).u16(3072).u16(32).u16(0).u32(7).u16(0).u16(0).u32(2048).u16(3);
    for (int i = 0; i < 8; ++i)
        out.u16(i < 4 ? 0 : 32768);
    out.u16(0);
    return out.data();
}

}  // namespace

TEST(BuiltAdjustmentsTest, EveryFieldAndBlendIfRangeReadsFromItsOwnPlace) {
    TestDocument document;
    TestLayer pixels;
    pixels.name = "Blend If";
    // Gray source and destination, then source and destination of red,
    // green and blue: black low, black high, white low, white high each.
    for (uint8_t range = 0; range < 8; ++range)
        for (uint8_t value : {uint8_t(1 + 2 * range), uint8_t(2 + 2 * range),
                              uint8_t(250 - 2 * range), uint8_t(251 - 2 * range)})
            pixels.blendingRanges.push_back(value);

    ByteWriter vibrance, brightness;
    item(vibrance, "vibrance", "long").u32(35);
    item(vibrance, "Strt", "long").u32(uint32_t(-20));
    item(brightness, "Vrsn", "long").u32(1);
    item(brightness, "Brgh", "long").u32(37);
    item(brightness, "Cntr", "long").u32(uint32_t(-12));
    item(brightness, "means", "long").u32(140);
    item(brightness, "useLegacy", "bool").u8(1);
    ByteWriter balance;
    for (int16_t value : {11, -12, 13, -21, 22, -23, 31, -32, 33})
        balance.u16(uint16_t(value));
    balance.u8(0).u8(0);  // preserve luminosity off, filler
    // Selective colour: version 1, absolute, an unused record of 99s, then
    // group g's cyan, magenta, yellow and black as 10 g + 1..4, alternately
    // negative.
    ByteWriter selective;
    selective.u16(1).u16(1).u16(99).u16(99).u16(99).u16(99);
    for (int group = 0; group < 9; ++group)
        for (int ink = 1; ink <= 4; ++ink)
            selective.u16(uint16_t((10 * group + ink) * (ink % 2 ? 1 : -1)));

    document.layers = {
        pixels,
        layerWithBlock("Levels", "levl", levelsBlock()),
        layerWithBlock("Curves", "curv", curvesBlock()),
        layerWithBlock("Exposure", "expA",
                       ByteWriter().u16(1).f32(1.5f).f32(-0.0625f).f32(0.75f).data()),
        layerWithBlock("Balance", "blnc", balance.data()),
        layerWithBlock("Hue", "hue2", hueSaturationBlock()),
        layerWithBlock("Selective", "selc", selective.data()),
        layerWithBlock("Vibrance", "vibA", lf::test::versionedDescriptor(2, vibrance.data())),
        layerWithBlock("Posterize", "post", {0, 7, 0, 0}),
        layerWithBlock("Threshold", "thrs", {0, 200, 0, 0}),
        layerWithBlock("Map", "grdm", gradientMapBlock()),
        layerWithBlock("Brightness", "CgEd", lf::test::versionedDescriptor(5, brightness.data())),
    };
    auto d = open(document);
    ASSERT_TRUE(d);

    const auto& ranges = *layerNamed(*d, "Blend If")->blendingOptions()->blendingRanges();
    const OMPSDBlendingRange read[8] = {
        ranges.graySourceBlendingRange(),  ranges.grayDestinationBlendingRange(),
        ranges.redSourceBlendingRange(),   ranges.redDestinationBlendingRange(),
        ranges.greenSourceBlendingRange(), ranges.greenDestinationBlendingRange(),
        ranges.blueSourceBlendingRange(),  ranges.blueDestinationBlendingRange()};
    for (int range = 0; range < 8; ++range) {
        const OMPSDBlendingRange expected{(1 + 2 * range) / 255.0, (2 + 2 * range) / 255.0,
                                          (250 - 2 * range) / 255.0, (251 - 2 * range) / 255.0};
        EXPECT_EQ(read[range], expected) << "range " << range;
    }
    EXPECT_FALSE(ranges.isOpaqueForSource());
    EXPECT_FALSE(ranges.isOpaqueForDestination());

    auto levels = layerNamed(*d, "Levels")->levels();
    ASSERT_NE(levels, nullptr);
    for (int record = 0; record < 4; ++record) {
        const auto r = levels->recordAtIndex(record);
        const auto* stored = kLevels[record];
        EXPECT_EQ((std::array<double, 5>{r.inputFloor, r.inputCeiling, r.outputFloor,
                                         r.outputCeiling, r.gamma}),
                  (std::array<double, 5>{stored[0] / 255.0, stored[1] / 255.0, stored[2] / 255.0,
                                         stored[3] / 255.0, stored[4] / 100.0}))
            << "record " << record;
    }

    auto curves = layerNamed(*d, "Curves")->curves();
    ASSERT_NE(curves, nullptr);
    const std::shared_ptr<const OMPSDContour> channels[4] = {
        curves->masterCurve(), curves->redCurve(), curves->greenCurve(), curves->blueCurve()};
    for (int channel = 0; channel < 4; ++channel) {
        ASSERT_NE(channels[channel], nullptr) << channel;
        const auto& points = channels[channel]->points();
        ASSERT_EQ(points.size(), kCurves[channel].size()) << channel;
        for (size_t i = 0; i < points.size(); ++i) {
            EXPECT_EQ(points[i].horizontal(), kCurves[channel][i].second / 255.0) << channel;
            EXPECT_EQ(points[i].vertical(), kCurves[channel][i].first / 255.0) << channel;
        }
    }

    auto exposure = layerNamed(*d, "Exposure")->exposure();
    ASSERT_NE(exposure, nullptr);
    EXPECT_EQ(exposure->exposure(), 1.5);
    EXPECT_EQ(exposure->offset(), -0.0625);
    EXPECT_EQ(exposure->gamma(), 0.75);

    auto colorBalance = layerNamed(*d, "Balance")->colorBalance();
    ASSERT_NE(colorBalance, nullptr);
    const OMPSDColorBalanceValues tones[3] = {colorBalance->shadows(), colorBalance->midtones(),
                                              colorBalance->highlights()};
    const double expectedTones[3][3] = {
        {0.11, -0.12, 0.13}, {-0.21, 0.22, -0.23}, {0.31, -0.32, 0.33}};
    for (int tone = 0; tone < 3; ++tone)
        EXPECT_EQ(
            (std::array{tones[tone].cyanRed, tones[tone].magentaGreen, tones[tone].yellowBlue}),
            (std::array{expectedTones[tone][0], expectedTones[tone][1], expectedTones[tone][2]}))
            << "tone " << tone;
    EXPECT_FALSE(colorBalance->preserveLuminosity());

    auto selectiveColor = layerNamed(*d, "Selective")->selectiveColor();
    ASSERT_NE(selectiveColor, nullptr);
    EXPECT_TRUE(selectiveColor->isAbsolute());
    for (int group = 0; group < 9; ++group) {
        const OMPSDSelectiveColorValues& v = selectiveColor->groups()[group];
        EXPECT_EQ((std::array{v.cyan, v.magenta, v.yellow, v.black}),
                  (std::array{(10 * group + 1) / 100.0, -(10 * group + 2) / 100.0,
                              (10 * group + 3) / 100.0, -(10 * group + 4) / 100.0}))
            << "group " << group;
    }

    auto hue = layerNamed(*d, "Hue")->hueSaturation();
    ASSERT_NE(hue, nullptr);
    EXPECT_TRUE(hue->shouldColorize());
    EXPECT_EQ(hue->colorizationHue(), 200);
    EXPECT_EQ(hue->colorizationSaturation(), 0.4);
    EXPECT_EQ(hue->colorizationLightness(), -0.15);
    EXPECT_EQ(hue->masterHue(), -30);
    EXPECT_EQ(hue->masterSaturation(), 0.25);
    EXPECT_EQ(hue->masterLightness(), 0.1);
    const OMPSDHueSaturationRange colours[6] = {hue->reds(),  hue->yellows(), hue->greens(),
                                                hue->cyans(), hue->blues(),   hue->magentas()};
    for (int colour = 0; colour < 6; ++colour) {
        const auto& c = colours[colour];
        const auto* stored = kRanges[colour];
        EXPECT_EQ((std::array<double, 7>{c.range0, c.range1, c.range2, c.range3, c.hue,
                                         c.saturation, c.lightness}),
                  (std::array<double, 7>{double(stored[0]), double(stored[1]), double(stored[2]),
                                         double(stored[3]), double(stored[4]), stored[5] / 100.0,
                                         stored[6] / 100.0}))
            << "range " << colour;
    }

    auto vibranceValues = layerNamed(*d, "Vibrance")->vibrance();
    ASSERT_NE(vibranceValues, nullptr);
    EXPECT_EQ(vibranceValues->vibrance(), 35 * 0.01);  // the stored integers times 0.01
    EXPECT_EQ(vibranceValues->saturation(), -20 * 0.01);

    EXPECT_EQ(layerNamed(*d, "Posterize")->posterizeLevels(), 7);
    EXPECT_EQ(layerNamed(*d, "Threshold")->threshold(), 200 / 255.0);

    auto map = layerNamed(*d, "Map")->gradientMap();
    ASSERT_NE(map, nullptr);
    EXPECT_TRUE(map->isReversed());
    EXPECT_TRUE(map->isDithered());
    const auto& gradient = *map->gradient();
    EXPECT_EQ(gradient.name(), "Dusk");
    EXPECT_EQ(gradient.smoothness(), 0.75);
    ASSERT_EQ(gradient.colorStops().size(), 3u);
    const struct {
        double location, midpoint;
        OMPSDColor color;
    } colorStops[] = {{0, 30 * 0.01, OMPSDColor(1, 0, 0)},
                      {1638 / 4096.0, 65 * 0.01, OMPSDColor(0, 0.2, 0)},
                      {1, 40 * 0.01, OMPSDColor(0, 0, 0.8)}};
    for (int i = 0; i < 3; ++i) {
        const auto& stop = gradient.colorStops()[i];
        EXPECT_EQ(stop.location(), colorStops[i].location) << i;
        EXPECT_EQ(stop.midpoint(), colorStops[i].midpoint) << i;
        EXPECT_EQ(stop.color(), colorStops[i].color) << i;
    }
    ASSERT_EQ(gradient.opacityStops().size(), 2u);
    EXPECT_EQ(gradient.opacityStops()[0].midpoint(), 35 * 0.01);
    EXPECT_EQ(gradient.opacityStops()[0].opacity(), 0.8);
    EXPECT_EQ(gradient.opacityStops()[1].location(), 1.0);
    EXPECT_EQ(gradient.opacityStops()[1].midpoint(), 70 * 0.01);
    EXPECT_EQ(gradient.opacityStops()[1].opacity(), 0.2);

    auto settings = layerNamed(*d, "Brightness")->contentGeneratorExtraData();
    ASSERT_NE(settings, nullptr);
    int32_t brightnessValue = 0, contrast = 0, means = 0;
    EXPECT_TRUE(settings->decodeInt(&brightnessValue, "Brgh"));
    EXPECT_TRUE(settings->decodeInt(&contrast, "Cntr"));
    EXPECT_TRUE(settings->decodeInt(&means, "means"));
    EXPECT_EQ((std::array{brightnessValue, contrast, means}), (std::array{37, -12, 140}));
}

TEST(BuiltAdjustmentsTest, WhatIsLeftOutReadsAsTheDefaults) {
    // A layer without blending ranges or fill opacity; a vibrance block
    // without values; a gradient fill whose stops hold no midpoint or
    // opacity and whose settings are all left out.
    ByteWriter colorStop, opacityStop, gradient, fill;
    item(colorStop, "Lctn", "long").u32(2048);
    item(opacityStop, "Lctn", "long").u32(1024);
    item(gradient, "Clrs", "VlLs")
        .u32(1)
        .code("Objc")
        .bytes(lf::test::descriptor("Clrt", 1, colorStop.data()));
    item(gradient, "Trns", "VlLs")
        .u32(1)
        .code("Objc")
        .bytes(lf::test::descriptor("TrnS", 1, opacityStop.data()));
    item(fill, "Grad", "Objc").bytes(lf::test::descriptor("Grdn", 2, gradient.data()));
    // The same with its interpolation method beside the gradient.
    ByteWriter linear = fill;
    item(linear, "gradientsInterpolationMethod", "enum")
        .identifier("gradientInterpolationMethodType")
        .identifier("Lnr ");

    TestDocument document;
    document.layers = {
        layerWithBlock("Plain", "lyid", {0, 0, 0, 5}),
        layerWithBlock("Vibrance", "vibA", lf::test::versionedDescriptor(0, {})),
        layerWithBlock("Gradient", "GdFl", lf::test::versionedDescriptor(1, fill.data())),
        layerWithBlock("Linear", "GdFl", lf::test::versionedDescriptor(2, linear.data()))};
    auto d = open(document);
    ASSERT_TRUE(d);

    const auto& options = *layerNamed(*d, "Plain")->blendingOptions();
    EXPECT_EQ(options.fillOpacity(), 1.0);
    const auto& ranges = *options.blendingRanges();
    const OMPSDBlendingRange full{0, 0, 1, 1};
    for (const OMPSDBlendingRange& range :
         {ranges.graySourceBlendingRange(), ranges.grayDestinationBlendingRange(),
          ranges.redSourceBlendingRange(), ranges.redDestinationBlendingRange(),
          ranges.greenSourceBlendingRange(), ranges.greenDestinationBlendingRange(),
          ranges.blueSourceBlendingRange(), ranges.blueDestinationBlendingRange()})
        EXPECT_EQ(range, full);
    EXPECT_TRUE(ranges.isOpaqueForSource());
    EXPECT_TRUE(ranges.isOpaqueForDestination());

    auto vibrance = layerNamed(*d, "Vibrance")->vibrance();
    ASSERT_NE(vibrance, nullptr);
    EXPECT_EQ(vibrance->vibrance(), 0.0);
    EXPECT_EQ(vibrance->saturation(), 0.0);

    auto gradientFill = layerNamed(*d, "Gradient")->gradientFill();
    ASSERT_NE(gradientFill, nullptr);
    EXPECT_FALSE(gradientFill->isReversed());
    EXPECT_EQ(gradientFill->style(), OMPSDGradientStyleLinear);
    EXPECT_TRUE(gradientFill->isAlignedWithLayer());
    EXPECT_EQ(gradientFill->horizontalOffset(), 0.0);
    EXPECT_EQ(gradientFill->verticalOffset(), 0.0);
    EXPECT_EQ(gradientFill->angle(), 0.0);
    EXPECT_EQ(gradientFill->scale(), 1.0);
    EXPECT_FALSE(gradientFill->isDithered());
    const auto& stops = *gradientFill->gradient();
    EXPECT_EQ(stops.interpolationMethod(), "");
    EXPECT_EQ(layerNamed(*d, "Linear")->gradientFill()->gradient()->interpolationMethod(), "Lnr ");
    EXPECT_EQ(stops.smoothness(), 1.0);
    ASSERT_EQ(stops.colorStops().size(), 1u);
    EXPECT_EQ(stops.colorStops()[0].location(), 0.5);
    EXPECT_EQ(stops.colorStops()[0].midpoint(), 0.5);
    ASSERT_EQ(stops.opacityStops().size(), 1u);
    EXPECT_EQ(stops.opacityStops()[0].location(), 0.25);
    EXPECT_EQ(stops.opacityStops()[0].midpoint(), 0.5);
    EXPECT_EQ(stops.opacityStops()[0].opacity(), 1.0);
}
