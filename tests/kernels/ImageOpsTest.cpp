// The image operations of the blur and pattern nodes: convolution edges
// and offsets, the tent's running sums against a direct sum, conversion
// rounding, premultiplication, box scaling, and the errors of bad
// arguments.
#include "kernels/ImageOps.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace lf;

namespace {

template <class T>
struct Image {
    uint32_t width, height;
    size_t stride;  // elements per row, past the width
    std::vector<T> pixels;
    Image(uint32_t w, uint32_t h, T value = T())
        : width(w), height(h), stride(w + 3), pixels(stride * h, value) {}
    T& at(uint32_t x, uint32_t y) { return pixels[y * stride + x]; }
    ImageBuffer buffer() { return {pixels.data(), height, width, stride * sizeof(T)}; }
};

}  // namespace

TEST(ImageOps, ConvolutionSumsTapsAndCopiesEdgesInPlace) {
    Image<float> source(5, 3);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 5; ++x)
            source.at(x, y) = float(10 * y + x);
    const float kernel[] = {1.0f, 0.0f, 2.0f};  // not symmetric: shows the taps' order
    Image<float> horizontal(5, 3);
    ASSERT_EQ(convolvePlanarF(source.buffer(), horizontal.buffer(), 0, 0, kernel, 1, 3),
              kImageOpNoError);
    EXPECT_EQ(horizontal.at(0, 1), 10.0f);  // the kernel reaches outside: copied
    EXPECT_EQ(horizontal.at(1, 1), 10.0f + 2 * 12.0f);
    EXPECT_EQ(horizontal.at(4, 2), 24.0f);

    // A vertical kernel into a smaller destination, offset by one row.
    Image<float> vertical(5, 1);
    ASSERT_EQ(convolvePlanarF(source.buffer(), vertical.buffer(), 0, 1, kernel, 3, 1),
              kImageOpNoError);
    EXPECT_EQ(vertical.at(2, 0), 2.0f + 2 * 22.0f);
}

TEST(ImageOps, ConvolutionRejectsBadArguments) {
    Image<float> source(4, 4), destination(3, 3);
    const float kernel[4] = {};
    EXPECT_EQ(convolvePlanarF(source.buffer(), destination.buffer(), 0, 0, kernel, 1, 2),
              kImageOpInvalidKernelSize);
    EXPECT_EQ(convolvePlanarF(source.buffer(), destination.buffer(), 2, 0, kernel, 1, 1),
              kImageOpRegionOutsideSource);
    EXPECT_EQ(convolvePlanarF(source.buffer(), destination.buffer(), 0, 0, nullptr, 1, 1),
              kImageOpNullPointer);
    EXPECT_EQ(convolvePlanarF(source.buffer(), source.buffer(), 0, 0, kernel, 1, 1),
              kImageOpOverlap);
}

TEST(ImageOps, TentConvolutionMatchesTheDirectSum) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> level(0, 255);
    Image<uint8_t> source(23, 19);
    for (auto& p : source.pixels)
        p = uint8_t(level(random));
    struct Shape {
        uint32_t rx, ry, offsetX, offsetY, width, height;
    };
    for (Shape s : {Shape{0, 0, 0, 0, 23, 19}, Shape{1, 2, 0, 0, 23, 19}, Shape{3, 3, 3, 3, 17, 13},
                    Shape{5, 1, 2, 4, 20, 10}, Shape{12, 10, 0, 0, 23, 19}}) {
        Image<uint8_t> destination(s.width, s.height);
        std::vector<unsigned char> temp(
            tentConvolvePlanar8TempSize(destination.buffer(), 2 * s.ry + 1, 2 * s.rx + 1));
        ASSERT_EQ(tentConvolvePlanar8(source.buffer(), destination.buffer(), temp.data(), s.offsetX,
                                      s.offsetY, 2 * s.ry + 1, 2 * s.rx + 1),
                  kImageOpNoError);
        const uint64_t divisor = uint64_t(s.rx + 1) * (s.rx + 1) * (s.ry + 1) * (s.ry + 1);
        for (uint32_t y = 0; y < s.height; ++y)
            for (uint32_t x = 0; x < s.width; ++x) {
                const int cx = int(x + s.offsetX), cy = int(y + s.offsetY);
                const int rx = int(s.rx), ry = int(s.ry);
                uint8_t expected = source.at(cx, cy);
                if (cx - rx >= 0 && cx + rx < 23 && cy - ry >= 0 && cy + ry < 19) {
                    uint64_t sum = 0;
                    for (int dy = -ry; dy <= ry; ++dy)
                        for (int dx = -rx; dx <= rx; ++dx)
                            sum += uint64_t(rx + 1 - std::abs(dx)) * (ry + 1 - std::abs(dy)) *
                                   source.at(cx + dx, cy + dy);
                    expected = uint8_t((sum + divisor / 2) / divisor);
                }
                ASSERT_EQ(destination.at(x, y), expected)
                    << "radius " << s.rx << "x" << s.ry << " at " << x << ", " << y;
            }
    }
    // Without a work buffer the call makes its own.
    Image<uint8_t> destination(23, 19);
    EXPECT_EQ(tentConvolvePlanar8(source.buffer(), destination.buffer(), nullptr, 0, 0, 3, 3),
              kImageOpNoError);
}

TEST(ImageOps, ConversionsRoundAndClamp) {
    Image<float> source(6, 1);
    const float values[] = {-0.5f, 0.0f, 0.5f, 1.0f / 510.0f, 1.0f, 7.0f};
    for (uint32_t x = 0; x < 6; ++x)
        source.at(x, 0) = values[x];
    Image<uint8_t> bytes(6, 1);
    ASSERT_EQ(convertPlanarFToPlanar8(source.buffer(), bytes.buffer(), 1.0f, 0.0f),
              kImageOpNoError);
    const uint8_t expected[] = {0, 0, 128, 1, 255, 255};
    for (uint32_t x = 0; x < 6; ++x)
        EXPECT_EQ(bytes.at(x, 0), expected[x]) << x;

    Image<float> back(6, 1);
    ASSERT_EQ(convertPlanar8ToPlanarF(bytes.buffer(), back.buffer(), 1.0f, 0.0f), kImageOpNoError);
    EXPECT_EQ(back.at(2, 0), 128.0f / 255.0f);
    EXPECT_EQ(back.at(4, 0), 1.0f);

    EXPECT_EQ(convertPlanarFToPlanar8(source.buffer(), bytes.buffer(), 0.0f, 0.0f),
              kImageOpInvalidRange);
    Image<uint8_t> narrow(5, 1);
    EXPECT_EQ(convertPlanarFToPlanar8(source.buffer(), narrow.buffer(), 1.0f, 0.0f),
              kImageOpSizeMismatch);
}

TEST(ImageOps, PremultiplyWorksInPlace) {
    Image<float> rgba(8, 2, 0.5f);  // two pixels wide, four floats each
    rgba.width = 2;
    rgba.at(7, 0) = 0.25f;  // second pixel's alpha
    ASSERT_EQ(premultiplyRGBAFFFF(rgba.buffer(), rgba.buffer()), kImageOpNoError);
    EXPECT_EQ(rgba.at(0, 0), 0.25f);
    EXPECT_EQ(rgba.at(3, 0), 0.5f);
    EXPECT_EQ(rgba.at(4, 0), 0.125f);
    EXPECT_EQ(rgba.at(7, 0), 0.25f);
}

TEST(ImageOps, BoxScalingAveragesWhatEachPixelCovers) {
    // 4 by 2 pixels, channel k of pixel (x, y) = 10 * x + y + k.
    std::vector<uint8_t> source(4 * 2 * 4);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            for (int k = 0; k < 4; ++k)
                source[(y * 4 + x) * 4 + k] = uint8_t(10 * x + y + k);
    ImageBuffer in{source.data(), 2, 4, 16};

    std::vector<uint8_t> same(source.size());
    ASSERT_EQ(scaleRGBA8888(in, {same.data(), 2, 4, 16}), kImageOpNoError);
    EXPECT_EQ(same, source);

    // Halved: the mean of each 2 by 2 block, rounded to nearest.
    std::vector<uint8_t> half(2 * 1 * 4);
    ASSERT_EQ(scaleRGBA8888(in, {half.data(), 1, 2, 8}), kImageOpNoError);
    EXPECT_EQ(half[0], 6);   // (0 + 10 + 1 + 11) / 4 = 5.5
    EXPECT_EQ(half[4], 26);  // (20 + 30 + 21 + 31) / 4 = 25.5
    // Three columns of 4: the middle one straddles two source pixels.
    std::vector<uint8_t> third(3 * 2 * 4);
    ASSERT_EQ(scaleRGBA8888(in, {third.data(), 2, 3, 12}), kImageOpNoError);
    EXPECT_EQ(third[4], 15);  // (10 * 2/3 + 20 * 2/3) / (4/3)
    // Doubled: each pixel repeated.
    std::vector<uint8_t> twice(8 * 4 * 4);
    ASSERT_EQ(scaleRGBA8888(in, {twice.data(), 4, 8, 32}), kImageOpNoError);
    EXPECT_EQ(twice[(3 * 8 + 7) * 4 + 2], 10 * 3 + 1 + 2);

    EXPECT_EQ(scaleRGBA8888(in, {twice.data(), 0, 8, 32}), kImageOpSizeMismatch);
    EXPECT_EQ(scaleRGBA8888(in, {nullptr, 4, 8, 32}), kImageOpNullPointer);
    EXPECT_EQ(scaleRGBA8888(in, {source.data() + 4, 1, 1, 4}), kImageOpOverlap);
}
