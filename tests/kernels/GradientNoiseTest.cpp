// The reference gradient and noise kernels: positions, table indices, and the
// dither and noise counters computed here from their stated rules.
#include "PlaneFixture.h"
#include "kernels/KernelRuntime.h"
#include "kernels/TarrowKernelSet.h"

#include <gtest/gtest.h>

#include <algorithm>

using kernels_test::k;
using kernels_test::TestPlane;

namespace {

constexpr uint32_t kCount = 4096;

// Entry i holds i in every channel, so a pixel shows which entry it took.
const std::vector<float>& indexTable() {
    static const std::vector<float> table = [] {
        std::vector<float> t;
        for (uint32_t i = 0; i < kCount; ++i)
            t.insert(t.end(), 4, float(i));
        return t;
    }();
    return table;
}

}  // namespace

TEST(GradientKernels, PositionsFollowTheGeometry) {
    const float* table = indexTable().data();
    // Radial, radius 10 at scale 2: column 20 reaches the last entry.
    TestPlane radial(21, 1, 4);
    k().radialGradient(radial.data(), table, 0, 0, 21, 1, radial.stride(), kCount, false, 0, 0, 20);
    EXPECT_EQ(radial.at(0, 0), 0.0f);
    EXPECT_EQ(radial.at(20, 0), 4095.0f);

    // Angular, angle 0: straight right is the seam (entry 0), left is half way.
    TestPlane angular(21, 1, 4);
    k().angularGradient(angular.data(), table, 0, 10, 21, 1, angular.stride(), kCount, false, 10,
                        10, 0);
    EXPECT_EQ(angular.at(15, 0), 0.0f);
    EXPECT_EQ(angular.at(5, 0), 2047.0f);

    // Diamond, angle 45, radius 10: the last entry from dx = 7.08 on.
    TestPlane diamond(9, 1, 4);
    k().diamondGradient(diamond.data(), table, 0, 0, 9, 1, diamond.stride(), kCount, false, 0, 0,
                        45, 10);
    EXPECT_LT(diamond.at(7, 0), 4095.0f);
    EXPECT_EQ(diamond.at(8, 0), 4095.0f);

    // Reflected from (0, 0) to (100, 0): entry 0 midway, the last at both ends.
    TestPlane reflected(101, 1, 4);
    k().reflectedGradient(reflected.data(), table, 0, 0, 101, 1, reflected.stride(), kCount, false,
                          0, 0, 100, 0);
    EXPECT_EQ(reflected.at(50, 0), 0.0f);
    EXPECT_EQ(reflected.at(0, 0), 4095.0f);
    EXPECT_EQ(reflected.at(100, 0), 4095.0f);

    // Linear: a quarter of the way is entry 1023; coinciding points show entry 0.
    TestPlane linear(101, 1, 4);
    k().linearGradient(linear.data(), table, 0, 0, 101, 1, linear.stride(), kCount, false, 0, 0,
                       100, 0);
    EXPECT_EQ(linear.at(25, 0), 1023.0f);
    k().linearGradient(linear.data(), table, 0, 0, 101, 1, linear.stride(), kCount, false, 3, 3, 3,
                       3);
    EXPECT_EQ(linear.at(50, 0), 0.0f);
}

TEST(GradientKernels, DitherFollowsItsCounterToWholeLevels) {
    // Channels of level 0, level 3, half way between levels 127 and 128,
    // and 1. Dither adds up to one level (two for the diamond) and takes the
    // result down to a whole level: 0 and 1 stay exact, and so does a whole
    // level under the plain dither.
    std::vector<float> table;
    for (uint32_t i = 0; i < kCount; ++i)
        table.insert(table.end(), {0.0f, 3 / 255.0f, 0.5f, 1.0f});
    const uint8_t* noise = TarrowGetNoiseTable();
    const int32_t x0 = -7, y0 = 13;
    TestPlane out(5, 3, 4), diamond(5, 3, 4);
    k().radialGradient(out.data(), table.data(), x0, y0, 5, 3, out.stride(), kCount, true, 0, 0,
                       50);
    k().diamondGradient(diamond.data(), table.data(), x0, y0, 5, 3, diamond.stride(), kCount, true,
                        0, 0, 0, 50);
    for (uint32_t j = 0; j < 3; ++j)
        for (uint32_t i = 0; i < 5; ++i) {
            const uint32_t counter =
                uint32_t(x0) + uint32_t(y0) * 1103515245u + 12345u + j * 1103515245u + 4 * i;
            auto n = [&](uint32_t c) { return int(noise[(counter + c) % kTarrowNoiseTableSize]); };
            const float plain[4] = {0, 3, n(2) < 128 ? 127.0f : 128.0f, 255};
            for (uint32_t c = 0; c < 4; ++c) {
                EXPECT_EQ(out.at(i, j, c), plain[c] / 255.0f) << c;
                const double lifted = std::min(255.0, table[c] * 255.0 + n(c) / 128.0);
                if (std::abs(lifted - std::round(lifted)) > 0.01) {  // not at a level's edge
                    EXPECT_EQ(std::lround(diamond.at(i, j, c) * 255), std::floor(lifted)) << c;
                }
            }
        }
}

TEST(NoiseKernels, NoiseFollowsItsCounterAndContinuesAcrossTiles) {
    const uint8_t* table = TarrowGetNoiseTable();
    TestPlane in(8, 2, 1);
    in.fill(0.5f);
    in.at(3, 1) = 0.0f;
    TestPlane whole(8, 2, 1), tile(4, 2, 1);
    const int32_t x = 100, y = -20;
    k().addNoisePlanar(in.data(), whole.data(), x, y, 8, 2, 0.3f, in.stride(), whole.stride());
    for (uint32_t r = 0; r < 2; ++r)
        for (uint32_t c = 0; c < 8; ++c) {
            const int32_t h = int32_t((uint32_t(y) + r) * 1103515245u + 12345u) >> 3;
            const uint32_t index = ((uint32_t(x) + c) ^ uint32_t(h)) * 1103515245u + 12345u;
            const float n = float(int8_t(table[(index >> 3) & 0x3FFF]));
            const float expected = r == 1 && c == 3 ? 0.0f : 0.5f + n * 0.3f / 128.0f;
            EXPECT_EQ(whole.at(c, r), std::clamp(expected, 0.0f, 1.0f));
        }
    // The right half rendered as its own tile continues the same pattern.
    k().addNoisePlanar(&in.at(4, 0), tile.data(), x + 4, y, 4, 2, 0.3f, in.stride(), tile.stride());
    for (uint32_t r = 0; r < 2; ++r)
        for (uint32_t c = 0; c < 4; ++c)
            EXPECT_EQ(tile.at(c, r), whole.at(c + 4, r));
}

TEST(NoiseKernels, RGBANoiseKeepsZeroOpacityAtZero) {
    TestPlane in(2, 1, 4), out(2, 1, 4);
    in.fill(0.5f);
    in.at(1, 0, 3) = 0.0f;
    k().addNoiseRGBA(in.data(), out.data(), 0, 0, 2, 1, 0.0f, 0.0f, 0.0f, 1.0f, in.stride(),
                     out.stride());
    EXPECT_EQ(out.at(0, 0, 0), 0.5f);  // colour amounts 0
    EXPECT_EQ(out.at(1, 0, 3), 0.0f);
    k().addNoiseRGBA(in.data(), out.data(), 0, 0, 2, 1, 1.0f, 0.0f, 0.0f, 1.0f, in.stride(),
                     out.stride());
    EXPECT_EQ(out.at(0, 0, 0) - 0.5f, out.at(0, 0, 3) - 0.5f);  // one n per pixel
}
