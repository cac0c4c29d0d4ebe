#include "rendergraph/adjustments/BNVibranceAdjustmentNode.h"

#include "rendergraph/adjustments/BNStraightColorPixels.h"
#include "rendergraph/core/BNRenderingContext.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr uint32_t kGammaSteps = 1024;
// 1 / 1023 in single precision, summed step by step to make the levels.
constexpr float kGammaLevelStep = 0.0009775171f;

// Tables of pow(level, exponent) over 1024 levels from 0 to 1, with a guard
// entry of 1 after the last.
using GammaTable = std::array<float, kGammaSteps + 1>;
GammaTable gammaTable(float exponent) {
    GammaTable table;
    float level = 0.0f;
    for (uint32_t i = 0; i < kGammaSteps; ++i, level += kGammaLevelStep)
        table[i] = std::pow(level, exponent);
    table[kGammaSteps] = 1.0f;
    return table;
}

float lookUp(const GammaTable& table, float value) {
    const float position = (value > 0.0f ? std::min(value, 1.0f) : 0.0f) * 1023.0f;
    const auto i = static_cast<uint32_t>(position);
    const float f = position - float(i);
    return table[i] * (1.0f - f) + table[i + 1] * f;
}

// The hexagonal hue sector, 0 to 6, of a colour with largest channel mx and
// chroma ch (0 for colours within 0.001 of grey); ties go to red, then green.
float hueSector(const float (&c)[3], float mx, float ch) {
    if (ch < 0.001f) return 0.0f;
    if (mx == c[0]) return c[2] > c[1] ? 6.0f - (c[2] - c[1]) / ch : (c[1] - c[2]) / ch;
    if (mx == c[1]) return 2.0f + (c[2] - c[0]) / ch;
    return 4.0f + (c[0] - c[1]) / ch;
}

// Rebuilds a colour from its sector h, largest channel V and smallest m.
void fromSector(float h, float V, float m, float (&c)[3]) {
    const float ch = V - m;
    if (h < 1.0f) {
        c[0] = V, c[1] = m + h * ch, c[2] = m;
    } else if (h < 2.0f) {
        c[0] = m + ch * (2.0f - h), c[1] = V, c[2] = m;
    } else if (h < 3.0f) {
        c[0] = m, c[1] = V, c[2] = m + ch * (h - 2.0f);
    } else if (h < 4.0f) {
        c[0] = m, c[1] = m + ch * (4.0f - h), c[2] = V;
    } else if (h < 5.0f) {
        c[0] = m + ch * (h - 4.0f), c[1] = m, c[2] = V;
    } else {
        c[0] = V, c[1] = m, c[2] = m + ch * (6.0f - h);
    }
}

// Vibrance and saturation of one linear colour.
void adjust(float (&c)[3], float v, float sat) {
    const float V = std::max({c[0], c[1], c[2]});
    const float m = std::min({c[0], c[1], c[2]});
    const float ch = V - m;
    const float h = hueSector(c, V, ch);
    // Black has no saturation (ch / V would be 0 / 0).
    const float S = V > 0.0f ? ch / V : 0.0f;
    const float q = S * (1.0f - S);
    const float f = std::min(1.0f, 16.0f * V);
    const float fp = (2.0f - f) * f;

    float V2, m2;
    if (v <= 0.0f) {
        const float nv = -v;
        V2 = (1.0f - (1.0f - V) * fp * nv * (2.0f - q) * q) * V;
        m2 = V2 - (fp * (0.5f * S + 0.5f) * S * nv + v + 1.0f) * S * (0.25f * v + 1.0f) * V2;
    } else {
        float h1 = h + 1.0f;
        if (h1 >= 6.0f) h1 -= 6.0f;
        // Weight 1 for hues from 0 to 30 degrees, falling to 0 at 45, rising
        // again from 300 to 360: the skin tones.
        const float w =
            std::min(std::clamp(h1, 0.0f, 1.0f), std::clamp(1.0f - 4.0f * (h1 - 1.5f), 0.0f, 1.0f));
        const float wp = (1.0f - S * S) * w;
        const float k = (v * wp + 1.0f - wp) * v;
        V2 = ((1.0f - V) * fp * k * (2.0f - q) * q * 0.25f + 1.0f) * V;
        m2 = V2 -
             V2 * S / (1.0f - fp * (1.0f - m) * k * (0.8333333f - 0.4047619f * wp) * (1.0f - S));
    }
    fromSector(h, V2, m2, c);

    // Saturation: every channel moves away from the pivot by the factor sat.
    const float P = 0.712f * c[1] + 0.288f * c[0];
    const float r = c[0];
    c[0] = std::clamp(P + (r - P) * sat * 0.7022472f * 1.424f, 0.0f, 1.0f);
    c[1] = std::clamp(P - (r - P) * sat * 0.7022472f * 0.576f, 0.0f, 1.0f);
    c[2] = std::clamp(P + (c[2] - P) * sat * 0.25f * 4.0f, 0.0f, 1.0f);
}

// A setting with NaN (a damaged document) taken as 0.
double finiteSetting(double value) {
    return value == value ? value : 0.0;
}

}  // namespace

std::shared_ptr<const BNVibranceAdjustmentNode> BNVibranceAdjustmentNode::create(
    BNRenderNodePtr input, double vibrance, double saturation) {
    const BNChannelMask mask = input ? input->channels() : 0;
    if (mask != BNChannelMaskRGBA && mask != BNChannelMaskRGBF) {
        lf::log("BNVibranceAdjustmentNode: unsupported input");
        return nullptr;
    }
    return make<BNVibranceAdjustmentNode>(std::move(input), vibrance, saturation);
}

BNVibranceAdjustmentNode::BNVibranceAdjustmentNode(CreationKey, BNRenderNodePtr input,
                                                   double vibrance, double saturation)
    : BNRenderNode({std::move(input)}),
      vibrance_(std::clamp(finiteSetting(vibrance), -1.0, 1.0)),
      saturation_(std::clamp(finiteSetting(saturation) + 1.0, 0.0, 2.0)) {}

void BNVibranceAdjustmentNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    context.updateValue(vibrance_);
    context.updateValue(saturation_);
}

void BNVibranceAdjustmentNode::renderWithOutputSurface(BNSurface& output,
                                                       const BNSurfaceList& inputs,
                                                       BNRenderingContext& context) const {
    // Without a profile the rendering is taken as gamma 2.2, as the tone
    // curves do, rather than a gamma of 0 that would flatten every colour.
    const double gamma = context.colorProfile() ? context.colorProfile()->estimatedGamma() : 2.2;
    const GammaTable decode = gammaTable(static_cast<float>(gamma));
    const GammaTable encode = gammaTable(static_cast<float>(1.0 / gamma));
    const auto v = static_cast<float>(vibrance_);
    const auto sat = static_cast<float>(saturation_);

    BNAdjustStraightColor("BNVibranceAdjustmentNode", *inputs.at(0), output, [&](float(&c)[3]) {
        for (int k = 0; k < 3; ++k)
            c[k] = lookUp(decode, c[k]);
        adjust(c, v, sat);
        for (int k = 0; k < 3; ++k)
            c[k] = lookUp(encode, c[k]);
    });
}
