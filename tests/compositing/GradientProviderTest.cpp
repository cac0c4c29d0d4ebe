// The gradient tables of document gradients, against values worked out by
// hand.
#include "compositing/QFGradientProvider.h"
#include "platform/Log.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

using Entry = std::array<float, 4>;

// The provider's table, with a not-a-number guard entry that must stay.
std::vector<Entry> table(const BNGradientProvider& provider, uint64_t count = 4096,
                         bool premultiply = false) {
    std::vector<Entry> entries(count + 1, Entry{NAN, NAN, NAN, NAN});
    provider.generateRGBAGradientValues(entries[0].data(), count, premultiply);
    EXPECT_TRUE(std::isnan(entries[count][0])) << "wrote past the table";
    entries.pop_back();
    for (const Entry& e : entries)
        for (float v : e)
            if (!(v >= 0 && v <= 1)) {
                ADD_FAILURE() << "value " << v << " outside 0..1";
                return entries;
            }
    return entries;
}

// The entry at position x of a table.
Entry at(const std::vector<Entry>& entries, double x) {
    return entries[static_cast<size_t>(std::lround(x * (entries.size() - 1)))];
}

struct Stop {
    double location, midpoint, value;
};

// A gray gradient of colour stops (value as gray) and opacity stops.
std::shared_ptr<const OMPSDGradient> gradient(const std::vector<Stop>& colors,
                                              const std::vector<Stop>& opacities,
                                              double smoothness) {
    auto g = std::make_shared<OMPSDGradient>();
    std::vector<OMPSDGradientColorStop> colorStops;
    for (const Stop& s : colors)
        colorStops.emplace_back(s.location, s.midpoint, OMPSDColor(s.value, s.value, s.value));
    std::vector<OMPSDGradientOpacityStop> opacityStops;
    for (const Stop& s : opacities)
        opacityStops.emplace_back(s.location, s.midpoint, s.value);
    g->setColorStops(colorStops);
    g->setOpacityStops(opacityStops);
    g->setSmoothness(smoothness);
    return g;
}

const std::vector<Stop> kOpaque{{0, 0.5, 1}, {1, 0.5, 1}};

}  // namespace

TEST(QFGradientProvider, LinearRampsWithMidpoints) {
    // Black to white without smoothing: entry k is (x, x, x, 1).
    auto ramp = table(QFGradientProvider(gradient({{0, 0.5, 0}, {1, 0.5, 1}}, kOpaque, 0), false));
    for (size_t k = 0; k < ramp.size(); k += 97)
        ASSERT_NEAR(ramp[k][0], k / 4095.0, 1e-6) << k;
    EXPECT_EQ(ramp.back(), (Entry{1, 1, 1, 1}));

    // A midpoint of 0.25 on the white stop: half grey at 0.25, three
    // quarters at 0.625.
    auto early =
        table(QFGradientProvider(gradient({{0, 0.5, 0}, {1, 0.25, 1}}, kOpaque, 0), false));
    EXPECT_NEAR(at(early, 0.25)[0], 0.5, 1e-3);
    EXPECT_NEAR(at(early, 0.625)[0], 0.75, 1e-3);

    // Stops inside the range: flat before the first and after the last.
    auto inner =
        table(QFGradientProvider(gradient({{0.2, 0.5, 0.4}, {0.8, 0.5, 0.6}}, kOpaque, 0), false));
    EXPECT_FLOAT_EQ(at(inner, 0.1)[0], 0.4f);
    EXPECT_FLOAT_EQ(at(inner, 0.9)[0], 0.6f);
    EXPECT_NEAR(at(inner, 0.5)[0], 0.5, 1e-3);
}

TEST(QFGradientProvider, SmoothCurvesPassThroughTheStopsWithinTheirRange) {
    std::vector<Stop> stops{{0, 0.5, 0}, {0.5, 0.5, 1}, {1, 0.5, 0.2}};
    auto smooth = table(QFGradientProvider(gradient(stops, kOpaque, 1), false));
    EXPECT_FLOAT_EQ(at(smooth, 0.5)[0], 1.0f);
    EXPECT_FLOAT_EQ(smooth.back()[0], 0.2f);
    // Between two stops the curve stays within their values; with
    // smoothness 1 and two stops it is Catmull-Rom: 0.5 u + 1.5 u^2 - u^3.
    for (size_t k = 2048; k < smooth.size(); ++k)
        ASSERT_TRUE(smooth[k][0] >= 0.2f && smooth[k][0] <= 1.0f) << k;
    auto pair = table(QFGradientProvider(gradient({{0, 0.5, 0}, {1, 0.5, 1}}, kOpaque, 1), false));
    EXPECT_NEAR(at(pair, 0.25)[0], 0.125 + 0.09375 - 0.015625, 1e-3);
}

TEST(QFGradientProvider, OpacityPremultipliesAndReversing) {
    std::vector<Stop> white{{0, 0.5, 1}, {1, 0.5, 1}}, fading{{0, 0.5, 1}, {1, 0.5, 0}};
    QFGradientProvider provider(gradient(white, fading, 0), false);
    auto premultiplied = table(provider, 4096, true);
    EXPECT_NEAR(at(premultiplied, 0.75)[0], 0.25, 1e-3);
    EXPECT_NEAR(at(premultiplied, 0.75)[3], 0.25, 1e-3);
    EXPECT_NEAR(premultiplied.back()[0], 0, 1e-9);
    EXPECT_NEAR(premultiplied.back()[3], 0, 1e-9);
    EXPECT_NEAR(at(table(provider), 0.75)[0], 1, 1e-6);  // straight

    auto forward = table(provider, 4096),
         reversed = table(QFGradientProvider(gradient(white, fading, 0), true));
    EXPECT_EQ(reversed.front(), forward.back());
    EXPECT_EQ(reversed[1000], forward[4095 - 1000]);

    // One entry: the start only.
    EXPECT_EQ(table(provider, 1).front(), (Entry{1, 1, 1, 1}));
}

TEST(QFGradientProvider, NoiseGradientsAndSingleStopsStillGiveTables) {
    // A noise gradient has no stops: black to white, opaque, said once.
    lf::LogCapture log;
    auto noise = std::make_shared<OMPSDGradient>();
    noise->setName("Noise");
    noise->setIsNoise(true);
    QFGradientProvider provider(noise, false);
    auto neutral = table(provider);
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.contains("'Noise'"));
    EXPECT_EQ(neutral.front(), (Entry{0, 0, 0, 1}));
    EXPECT_EQ(neutral.back(), (Entry{1, 1, 1, 1}));
    table(provider);
    EXPECT_EQ(log.lines().size(), 1u);

    // One colour stop and one opacity stop: flat.
    auto flat = table(QFGradientProvider(gradient({{0.3, 0.5, 0.6}}, {{0.7, 0.5, 0.5}}, 1), false));
    for (const Entry& e : flat)
        ASSERT_EQ(e, (Entry{0.6f, 0.6f, 0.6f, 0.5f}));

    // Two stops at one place make a hard edge without a gap.
    auto edge = table(QFGradientProvider(
        gradient({{0, 0.5, 0}, {0.5, 0.5, 0}, {0.5, 0.5, 1}, {1, 0.5, 1}}, kOpaque, 1), false));
    EXPECT_EQ(at(edge, 0.49)[0], 0.0f);
    EXPECT_EQ(at(edge, 0.51)[0], 1.0f);
}

TEST(QFBlockGradientProvider, CallsItsFunctionOrWritesTransparency) {
    QFBlockGradientProvider red([](float* values, uint64_t count, bool) {
        for (uint64_t k = 0; k < count; ++k) {
            Entry e{1, 0, 0, 1};
            std::copy(e.begin(), e.end(), values + 4 * k);
        }
    });
    EXPECT_EQ(table(red, 4).front(), (Entry{1, 0, 0, 1}));
    EXPECT_EQ(table(QFBlockGradientProvider(nullptr), 4).back(), (Entry{0, 0, 0, 0}));
}
