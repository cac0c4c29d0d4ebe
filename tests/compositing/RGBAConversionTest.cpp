#include "compositing/shared/QFRGBAConversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// The exhaustive reference: an 8-bit premultiplied colour sample divided by
// its 8-bit coverage, rounded and capped at 255; 0 where there is no
// coverage.
uint8_t unpremultipliedByte(uint8_t colour, uint8_t coverage) {
    if (coverage == 0) return 0;
    unsigned value = (unsigned{colour} * 255 + coverage / 2) / coverage;
    return static_cast<uint8_t>(value > 255 ? 255 : value);
}

std::vector<uint8_t> convert(const BNSurface& surface, bool keepPremultiplied) {
    std::vector<uint8_t> out;
    QFCopyUnpremultipliedRGBA(
        surface, keepPremultiplied,
        [&](const uint8_t* bytes, uint64_t w, uint64_t h, uint64_t bytesPerRow) {
            EXPECT_EQ(bytesPerRow, w * 4);
            out.assign(bytes, bytes + bytesPerRow * h);
        });
    return out;
}

}  // namespace

TEST(QFCopyUnpremultipliedRGBA, GreySurfacesBecomeOpaqueGrey) {
    auto grey = BNSurface::create(VKRectMake(0, 0, 3, 1), 1.0, BNChannelMaskOpacity);
    float values[] = {0.5f, 1.0f / 510.0f, 0.0f};  // 127.5 and 0.5 round up (halves away from zero)
    std::copy(values, values + 3, grey->row(0));
    EXPECT_EQ(convert(*grey, true),
              (std::vector<uint8_t>{128, 128, 128, 255, 1, 1, 1, 255, 0, 0, 0, 255}));
}

TEST(QFCopyUnpremultipliedRGBA, ClampsAndMapsNotANumberToZero) {
    auto surface = BNSurface::create(VKRectMake(0, 0, 2, 1), 1.0, BNChannelMaskRGBA);
    float values[] = {1.5f, -0.25f, std::nanf(""), 1.0f, 0.2f, 0.1f, 0.0f, 0.4f};
    std::copy(values, values + 8, surface->row(0));
    EXPECT_EQ(convert(*surface, true), (std::vector<uint8_t>{255, 0, 0, 255, 51, 26, 0, 102}));
    // Unpremultiplied: colour divided by the coverage byte.
    EXPECT_EQ(convert(*surface, false), (std::vector<uint8_t>{255, 0, 0, 255, 128, 65, 0, 102}));
}

TEST(QFCopyUnpremultipliedRGBA, ReadsRowsByTheSurfaceStride) {
    auto surface = BNSurface::create(VKRectMake(0, 0, 1, 2), 2.0, BNChannelMaskRGBF);
    for (uint64_t y = 0; y < 4; ++y)
        for (uint64_t x = 0; x < 2; ++x)
            for (int k = 0; k < 4; ++k)
                surface->sample(x, y, k) = static_cast<float>(y * 2 + x) / 10.0f;
    auto bytes = convert(*surface, true);
    ASSERT_EQ(bytes.size(), 2u * 4u * 4u);
    for (int pixel = 0; pixel < 8; ++pixel)
        EXPECT_EQ(bytes[pixel * 4], static_cast<uint8_t>(std::round(pixel / 10.0f * 255.0f)));
}

// Rows long enough for the converter's blocks and its tail, written into a
// larger image: the asked columns and rows only, the rest untouched.
TEST(QFConvertSurfaceToRGBA, WritesTheAskedPixelsIntoTheDestinationRows) {
    constexpr uint64_t kWidth = 37, kHeight = 3;
    auto surface = BNSurface::create(VKRectMake(0, 0, kWidth, kHeight), 1.0, BNChannelMaskRGBA);
    std::vector<float> samples;
    for (uint64_t i = 0; i < kWidth * 4; ++i)
        samples.push_back(static_cast<float>(static_cast<int>(i) - 20) / 120.0f);
    samples[7] = std::nanf("");
    samples[33] = 0.5f / 255.0f;  // 0.5: a half, rounded up
    samples[65] = 2.5f / 255.0f;
    samples[100] = INFINITY;
    for (uint64_t y = 0; y < kHeight; ++y)
        std::copy(samples.begin(), samples.end(), surface->row(y));
    auto expected = [&](uint64_t i) -> uint8_t {
        float v = samples[i];
        if (!(v > 0)) return 0;
        if (v >= 1) return 255;
        return static_cast<uint8_t>(std::lround(static_cast<double>(v * 255.0f)));
    };

    constexpr uint64_t kStride = 50 * 4, kColumns = 35, kRows = 2;
    std::vector<uint8_t> image(kStride * 4, 7);
    QFConvertSurfaceToRGBA(*surface, true, image.data() + kStride + 8, kStride, kColumns, kRows);
    for (uint64_t y = 0; y < 4; ++y)
        for (uint64_t x = 0; x < kStride; ++x) {
            bool written = y >= 1 && y < 1 + kRows && x >= 8 && x < 8 + kColumns * 4;
            uint8_t want = written ? expected(x - 8) : 7;
            ASSERT_EQ(image[y * kStride + x], want) << "row " << y << " byte " << x;
        }
    EXPECT_EQ(image[kStride + 8 + 33], 1);
    EXPECT_EQ(image[kStride + 8 + 65], 3);
}

// A tile converted to straight colour: every colour level with every
// coverage against the scalar formula, in rows where runs of opaque pixels,
// of clear pixels and of mixed coverages (0, 1, 254 and 255 among them) all
// occur, and a row's end shorter than a run.
TEST(QFConvertSurfaceToRGBA, StraightColourEqualsTheScalarFormulaForEveryLevelAndCoverage) {
    std::vector<std::pair<int, int>> pairs;  // (colour, coverage) levels
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c)
            pairs.emplace_back(c, a);
    for (int a : {0, 1, 254, 255})
        for (int i = 0; i < 8; ++i)
            pairs.emplace_back(36 * i, a);
    constexpr uint64_t kWidth = 259;  // not a whole number of runs
    uint64_t rows = (pairs.size() + kWidth - 1) / kWidth;
    auto surface =
        BNSurface::create(VKRectMake(0, 0, kWidth, double(rows)), 1.0, BNChannelMaskRGBA);
    for (uint64_t y = 0; y < rows; ++y)  // the last row's end stays clear
        std::fill(surface->row(y), surface->row(y) + kWidth * 4, 0.0f);
    std::vector<uint8_t> expected(kWidth * rows * 4, 0);
    for (size_t i = 0; i < pairs.size(); ++i) {
        auto [c, a] = pairs[i];
        int colours[3] = {c, 255 - c, c / 2};
        for (int k = 0; k < 3; ++k) {
            surface->sample(i % kWidth, i / kWidth, k) = float(colours[k]) / 255.0f;
            expected[i * 4 + k] = unpremultipliedByte(uint8_t(colours[k]), uint8_t(a));
        }
        surface->sample(i % kWidth, i / kWidth, 3) = float(a) / 255.0f;
        expected[i * 4 + 3] = uint8_t(a);
    }
    std::vector<uint8_t> straight(expected.size());
    QFConvertSurfaceToRGBA(*surface, false, straight.data(), kWidth * 4, kWidth, rows);
    auto mismatch = std::mismatch(straight.begin(), straight.end(), expected.begin());
    ASSERT_TRUE(mismatch.first == straight.end())
        << "byte " << (mismatch.first - straight.begin()) << ": " << int(*mismatch.first)
        << " instead of " << int(*mismatch.second);

    // The formula itself at the edges of coverage.
    EXPECT_EQ(unpremultipliedByte(0, 0), 0);
    EXPECT_EQ(unpremultipliedByte(7, 0), 0) << "no coverage, no colour";
    EXPECT_EQ(unpremultipliedByte(1, 1), 255);
    EXPECT_EQ(unpremultipliedByte(9, 1), 255) << "colour past its coverage is capped";
    EXPECT_EQ(unpremultipliedByte(127, 254), 128);
    EXPECT_EQ(unpremultipliedByte(200, 255), 200);
}

TEST(QFConvertSurfaceToRGBA, StraightColourIsThePremultipliedBytesDividedByCoverage) {
    constexpr uint64_t kWidth = 29;
    auto surface = BNSurface::create(VKRectMake(0, 0, kWidth, 2), 1.0, BNChannelMaskRGBA);
    for (uint64_t y = 0; y < 2; ++y)
        for (uint64_t x = 0; x < kWidth; ++x) {
            float a = y == 0 ? 1.0f : static_cast<float>(x) / (kWidth - 1);
            for (int k = 0; k < 3; ++k)
                surface->sample(x, y, k) = a * static_cast<float>(x * 3 + k) / (kWidth * 3);
            surface->sample(x, y, 3) = a;
        }
    std::vector<uint8_t> expected = convert(*surface, true);
    for (size_t i = 0; i < expected.size(); i += 4)
        for (int k = 0; k < 3; ++k)
            expected[i + k] = unpremultipliedByte(expected[i + k], expected[i + 3]);
    std::vector<uint8_t> straight(kWidth * 2 * 4);
    QFConvertSurfaceToRGBA(*surface, false, straight.data(), kWidth * 4, kWidth, 2);
    EXPECT_EQ(straight, expected);
}
