// The image provider over document planes and the Blend If provider.
#include "LayerFixtures.h"
#include "compositing/providers/QFBlendingRangesProvider.h"
#include "compositing/providers/QFImageProvider.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNRenderingContext.h"

#include <gtest/gtest.h>

#include <vector>

using namespace compositing_test;

namespace {

// Reads `rect` of `channel` into a packed plane, first filled with -1 so
// that unwritten samples show.
std::vector<float> read(const QFImageProvider& provider, BNChannel channel, VKRect rect) {
    auto width = static_cast<size_t>(rect.size.width),
         height = static_cast<size_t>(rect.size.height);
    std::vector<float> values(width * height, -1.0f);
    auto context = BNRenderingContext::create();
    provider.readFloatData(values.data(), sizeof(float), width * sizeof(float), channel, rect,
                           *context);
    return values;
}

}  // namespace

TEST(QFImageProvider, ChannelsAndBackgroundsFollowTheIdentifiers) {
    OMPSDRect rect{0, 0, 2, 2};
    auto colour = [&](int16_t id) { return constantPlane(id, rect, 10); };

    auto opaque = QFImageProvider::create({colour(0), colour(1), colour(2)});
    EXPECT_EQ(opaque->channels(), BNChannelMaskRGBA);  // opacity added
    EXPECT_EQ(opaque->backgroundValueForChannel(BNChannelOpacity), 1.0f);
    EXPECT_TRUE(VKRectIsNull(opaque->boundsForChannel(BNChannelOpacity)));

    auto transparent = QFImageProvider::create({colour(0), colour(1), colour(2), colour(-1)});
    EXPECT_EQ(
        transparent->channelIdentifiers(),
        (std::vector<BNChannel>{BNChannelRed, BNChannelGreen, BNChannelBlue, BNChannelOpacity}));
    EXPECT_EQ(transparent->channels(), BNChannelMaskRGBA);
    EXPECT_EQ(transparent->backgroundValueForChannel(BNChannelOpacity), 0.0f);

    auto fillOnly = QFImageProvider::create({colour(-1)}, std::vector<BNChannel>{BNChannelFill});
    EXPECT_EQ(fillOnly->channels(), BNChannelMaskFill);

    auto mask = QFImageProvider::create({colour(-2)}, std::vector<BNChannel>{BNChannelOpacity},
                                        std::vector<float>{0.5f});
    EXPECT_EQ(mask->backgroundValueForChannel(BNChannelOpacity), 0.5f);
    EXPECT_TRUE(
        VKRectEqualToRect(mask->boundsForChannel(BNChannelOpacity), VKRectMake(0, 0, 2, 2)));

    EXPECT_FALSE(
        QFImageProvider::create({colour(0)}, std::vector<BNChannel>{BNChannelRed, BNChannelGreen}));
    EXPECT_FALSE(QFImageProvider::create({colour(0)}, std::nullopt, std::vector<float>{0, 0}));
}

TEST(QFImageProvider, ConvertsEightAndSixteenBitSamples) {
    auto eight = QFImageProvider::create({makePlane(0, {0, 0, 1, 2}, {255, 51})});
    auto values8 = read(*eight, BNChannelRed, VKRectMake(0, 0, 2, 1));
    EXPECT_EQ(values8[0], 1.0f);
    EXPECT_FLOAT_EQ(values8[1], 0.2f);

    std::vector<uint8_t> sixteen{0xff, 0xff, 0x80, 0x00};
    auto full = QFImageProvider::create({makePlane(0, {0, 0, 1, 2}, sixteen, 16)});
    auto values = read(*full, BNChannelRed, VKRectMake(0, 0, 2, 1));
    EXPECT_EQ(values[0], 1.0f);
    auto half = QFImageProvider::create({makePlane(0, {0, 0, 1, 2}, sixteen, 16)}, std::nullopt,
                                        std::nullopt, QFImageProviderHalfRange16BitOption);
    EXPECT_FLOAT_EQ(read(*half, BNChannelRed, VKRectMake(1, 0, 1, 1))[0], 1.0000153f);
}

TEST(QFImageProvider, ReadsFromThePlanesOffsetAndStrides) {
    // A 6 x 4 plane at (10, 20) holding row * 10 + column.
    std::vector<uint8_t> samples;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 6; ++column)
            samples.push_back(uint8_t(row * 10 + column));
    auto provider = QFImageProvider::create({makePlane(0, {20, 10, 24, 16}, samples)});
    auto values = read(*provider, BNChannelRed, VKRectMake(13, 22, 2, 2));
    std::vector<float> expected;
    for (int v : {23, 24, 33, 34})
        expected.push_back(static_cast<float>(v) * static_cast<float>(1.0 / 255.0));
    EXPECT_EQ(values, expected);

    // Every other float of an interleaved destination is left alone.
    std::vector<float> interleaved(4, -1.0f);
    auto context = BNRenderingContext::create();
    provider->readFloatData(interleaved.data(), 2 * sizeof(float), 4 * sizeof(float), BNChannelRed,
                            VKRectMake(10, 20, 2, 1), *context);
    EXPECT_EQ(interleaved[1], -1.0f);
    EXPECT_EQ(interleaved[3], -1.0f);
    EXPECT_FLOAT_EQ(interleaved[2], 1.0f / 255.0f);
}

TEST(QFImageProvider, DamagedPlanesReadAsTheBackground) {
    // One byte short of the last row: a log line, and the mask's background
    // value instead of whatever the memory held.
    auto shortPlane = makePlane(-2, {0, 0, 2, 2}, {9, 9, 9});
    auto mask = QFImageProvider::create({shortPlane}, std::vector<BNChannel>{BNChannelOpacity},
                                        std::vector<float>{0.25f});
    lf::LogCapture log;
    EXPECT_EQ(read(*mask, BNChannelOpacity, VKRectMake(0, 0, 2, 2)), std::vector<float>(4, 0.25f));
    EXPECT_TRUE(log.contains("does not contain enough data"));

    // Depths that are not converted, and rectangles outside the plane.
    auto deep = QFImageProvider::create({makePlane(0, {0, 0, 1, 1}, {0, 0, 0, 0}, 32)});
    EXPECT_EQ(read(*deep, BNChannelRed, VKRectMake(0, 0, 1, 1)), std::vector<float>{0.0f});
    auto plane = QFImageProvider::create({constantPlane(0, {0, 0, 2, 2}, 255)});
    EXPECT_EQ(read(*plane, BNChannelRed, VKRectMake(1, 1, 2, 2)), std::vector<float>(4, 0.0f));
}

TEST(QFBlendingRangeCurve, RisesAndFallsOverTheSplitSliders) {
    std::vector<float> values(256);
    QFBlendingRangeCurve({0, 0.5, 1, 1}, values.data(), values.size());
    float s = 1.0f / 255.0f;
    EXPECT_FLOAT_EQ(values[0], static_cast<float>(double(s) / (0.5 + double(s))));
    EXPECT_EQ(values[128], 1.0f);
    EXPECT_EQ(values[255], 1.0f);
    for (size_t i = 1; i < 128; ++i)
        EXPECT_GT(values[i], values[i - 1]);

    QFBlendingRangeCurve({0, 0, 1, 1}, values.data(), values.size());
    EXPECT_EQ(values, std::vector<float>(256, 1.0f));

    // A white range whose sliders are swapped behaves like the sorted one.
    std::vector<float> swapped(256);
    QFBlendingRangeCurve({0, 0, 0.8, 0.6}, values.data(), values.size());
    QFBlendingRangeCurve({0, 0, 0.6, 0.8}, swapped.data(), swapped.size());
    EXPECT_EQ(values, swapped);
    EXPECT_EQ(values[255], 0.0f);
}

TEST(QFBlendingRangesProvider, ReportsRangesOnlyWhereTheyAreNotFull) {
    auto list = std::make_shared<OMPSDBlendingRangesList>();
    list->setGrayDestinationBlendingRange({0, 0, 0, 0});
    list->setGreenSourceBlendingRange({0.2, 0.3, 1, 1});
    QFBlendingRangesProvider source(list, true), destination(list, false);
    EXPECT_FALSE(source.hasGrayBlendingRangeData());
    EXPECT_TRUE(destination.hasGrayBlendingRangeData());
    EXPECT_TRUE(source.hasColorBlendingRangeDataForChannel(1));
    EXPECT_FALSE(destination.hasColorBlendingRangeDataForChannel(1));
    EXPECT_FALSE(source.hasColorBlendingRangeDataForChannel(3));

    QFBlendingRangesProvider none(nullptr, true);
    EXPECT_TRUE(none.hasGrayBlendingRangeData());
    EXPECT_TRUE(none.hasColorBlendingRangeDataForChannel(0));
}
