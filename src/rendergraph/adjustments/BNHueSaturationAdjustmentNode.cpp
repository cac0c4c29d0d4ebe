#include "rendergraph/adjustments/BNHueSaturationAdjustmentNode.h"

#include "kernels/LookupKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/adjustments/BNHueCircle.h"
#include "rendergraph/core/BNInputMargin.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNSurfaceFill.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int64_t kSteps = BNHueSaturationAdjustmentNode::kHueTableCount;

// Saturation and lightness settings run from -1 to 1; a damaged value is
// kept within that range (NaN counts as 0) so the tables stay finite.
double setting(double value) {
    return value == value ? std::clamp(value, -1.0, 1.0) : 0.0;
}

// The factor that multiplies the chroma: s + 1 up to 0 (grey at -1), then
// 255 / (255 - 254 s), reaching 255 at 1.
float saturationFactor(double saturation) {
    const double s = setting(saturation);
    return static_cast<float>(s <= 0.0 ? s + 1.0 : 255.0 / (255.0 - 254.0 * s));
}

// The table step of a hue in degrees: 1079 steps per 359 degrees (the
// single-precision ratio), rounded. Ranges beyond any real setting are held
// far out so the ramps stay bounded.
int64_t stepOfDegrees(double degrees) {
    if (!(degrees == degrees)) return 0;
    return static_cast<int64_t>(std::round(std::clamp(degrees, -1e5, 1e5) * 3.005571126937866));
}

size_t wrap(int64_t step) {
    return static_cast<size_t>(((step % kSteps) + kSteps) % kSteps);
}

// Adds a linear ramp from a to b over the steps from p up to (not
// including) q, going round the circle when q lies before p.
void addRamp(std::vector<float>& table, int64_t p, int64_t q, float a, float b) {
    const int64_t n = q >= p ? q - p : kSteps + q - p;
    if (n == 0) {
        table[wrap(p)] += a;
        return;
    }
    for (int64_t t = 0; t < n; ++t)
        table[wrap(p + t)] += n == 1 ? a : a + (b - a) * float(t) / float(n - 1);
}

// Adds `value` over a colour range: rising, full, then falling.
void addTrapezoid(std::vector<float>& table, const int64_t (&r)[4], float value) {
    if (r[0] != r[1]) addRamp(table, r[0], r[1], 0.0f, value);
    addRamp(table, r[1], r[2], value, value);
    if (r[2] != r[3]) addRamp(table, r[2], r[3], value, 0.0f);
}

void feed(BNHashContext& context, const BNHueSaturationAdjustment& adjustment) {
    for (double value :
         {adjustment.hue(), adjustment.saturation(), adjustment.lightness(), adjustment.range0(),
          adjustment.range1(), adjustment.range2(), adjustment.range3()})
        context.updateValue(value);
}

}  // namespace

std::shared_ptr<const BNHueSaturationAdjustmentNode> BNHueSaturationAdjustmentNode::create(
    BNRenderNodePtr input, const BNHueSaturationAdjustment& masterAdjustment,
    std::vector<BNHueSaturationAdjustment> secondaryAdjustments) {
    if (!input || input->channels() != BNChannelMaskRGBA) {
        lf::log("BNHueSaturationAdjustmentNode: unsupported input");
        return nullptr;
    }
    return make<BNHueSaturationAdjustmentNode>(std::move(input), masterAdjustment,
                                               std::move(secondaryAdjustments));
}

BNHueSaturationAdjustmentNode::BNHueSaturationAdjustmentNode(
    CreationKey, BNRenderNodePtr input, const BNHueSaturationAdjustment& masterAdjustment,
    std::vector<BNHueSaturationAdjustment> secondaryAdjustments)
    : BNRenderNode({std::move(input)}),
      master_(masterAdjustment),
      adjustments_(std::move(secondaryAdjustments)) {}

void BNHueSaturationAdjustmentNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    // The node owns copies of its adjustments, so their values (not the
    // addresses of objects nobody else shares) identify it.
    feed(context, master_);
    for (const auto& adjustment : adjustments_)
        feed(context, adjustment);
}

BNHueSaturationAdjustmentNode::Tables BNHueSaturationAdjustmentNode::makeTables() const {
    const float master = saturationFactor(master_.saturation());
    Tables tables;
    tables.hue.assign(kSteps, static_cast<float>(master_.hue()));
    tables.saturation.assign(kSteps, master);
    tables.lightness.assign(kSteps, 0.0f);

    for (const auto& adjustment : adjustments_) {
        const int64_t range[4] = {
            stepOfDegrees(adjustment.range0()), stepOfDegrees(adjustment.range1()),
            stepOfDegrees(adjustment.range2()), stepOfDegrees(adjustment.range3())};
        addTrapezoid(tables.hue, range, static_cast<float>(adjustment.hue()));
        addTrapezoid(tables.saturation, range,
                     std::min(master * saturationFactor(adjustment.saturation()) - master, 255.0f));
        addTrapezoid(tables.lightness, range, static_cast<float>(setting(adjustment.lightness())));
        for (float& factor : tables.saturation)
            factor = std::clamp(factor, 0.0f, 255.0f);
    }

    for (int64_t k = 0; k < kSteps; ++k) {
        // Each step shifts the hue of its own place on the circle.
        tables.hue[k] = BNHueInCircle(tables.hue[k] + float(k) * 360.0f / 1079.0f);
        tables.saturation[k] = std::clamp(tables.saturation[k], 0.0f, 255.0f);
        tables.lightness[k] = std::clamp(tables.lightness[k], -1.0f, 1.0f);
    }

    // The master lightness works on 8-bit levels with a whole amount of
    // levels (truncated): v moves a / 255 of the way to white, or to black,
    // rounded.
    const double lightness = setting(master_.lightness());
    const double amount = std::floor(std::fabs(lightness) * 255.0 + 1e-9);
    tables.lightnessLookup.resize(kLightnessLookupCount);
    for (uint32_t i = 0; i < kLightnessLookupCount; ++i) {
        const double v = double(i) * 255.0 / double(kLightnessLookupCount - 1);
        const double level =
            lightness >= 0.0 ? v + (255.0 - v) * amount / 255.0 : v * (255.0 - amount) / 255.0;
        tables.lightnessLookup[i] = static_cast<float>(std::round(level) / 255.0);
    }
    return tables;
}

void BNHueSaturationAdjustmentNode::renderWithOutputSurface(BNSurface& output,
                                                            const BNSurfaceList& inputs,
                                                            BNRenderingContext&) const {
    const BNSurface& input = *inputs.at(0);
    const float* source = BNInputOverOutput(input, output);
    if (!source || input.channels() != BNChannelMaskRGBA) {
        lf::log("BNHueSaturationAdjustmentNode: unsupported input");
        BNClearSurface(output);
        return;
    }
    const Tables tables = makeTables();
    BNKernelPlane out(output);
    TarrowHueSaturation(source, out.data, tables.hue.data(), tables.saturation.data(),
                        tables.lightness.data(), tables.lightnessLookup.data(), out.width,
                        out.height, static_cast<uint32_t>(input.bytesPerRow()), out.stride,
                        kHueTableCount, kLightnessLookupCount);
}
