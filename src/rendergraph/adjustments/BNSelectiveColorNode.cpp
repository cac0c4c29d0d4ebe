#include "rendergraph/adjustments/BNSelectiveColorNode.h"

#include "rendergraph/adjustments/BNStraightColorPixels.h"

#include <algorithm>
#include <cmath>

namespace {

enum Group { reds, yellows, greens, cyans, blues, magentas, whites, neutrals, blacks };

// A setting kept within -1..1 (NaN, from a damaged document, counts as 0).
float setting(float value) {
    return value == value ? std::clamp(value, -1.0f, 1.0f) : 0.0f;
}

}  // namespace

std::shared_ptr<const BNSelectiveColorNode> BNSelectiveColorNode::create(
    BNRenderNodePtr input, const BNSelectiveColorAdjustment& adjustment) {
    const BNChannelMask mask = input ? input->channels() : 0;
    if (mask != BNChannelMaskRGBA && mask != BNChannelMaskRGBF) {
        lf::log("BNSelectiveColorNode: unsupported input");
        return nullptr;
    }
    return make<BNSelectiveColorNode>(std::move(input), adjustment);
}

BNSelectiveColorNode::BNSelectiveColorNode(CreationKey, BNRenderNodePtr input,
                                           const BNSelectiveColorAdjustment& adjustment)
    : BNRenderNode({std::move(input)}), adjustment_(adjustment) {
    for (auto& inks : adjustment_.groups)
        for (float& value : inks)
            value = setting(value);
}

void BNSelectiveColorNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    context.updateValue(static_cast<uint64_t>(adjustment_.isAbsolute));
    for (const auto& inks : adjustment_.groups)
        for (float value : inks)
            context.updateValue(static_cast<double>(value));
}

void BNSelectiveColorNode::adjustColor(const BNSelectiveColorAdjustment& adjustment,
                                       float (&color)[3]) {
    float c[3];
    for (int k = 0; k < 3; ++k)
        c[k] = std::clamp(color[k], 0.0f, 1.0f);
    // The channels from largest to smallest; ties keep red, green, blue.
    int order[3] = {0, 1, 2};
    std::stable_sort(order, order + 3, [&](int a, int b) { return c[a] > c[b]; });
    const float mx = c[order[0]], md = c[order[1]], mn = c[order[2]];

    float weights[9] = {};
    constexpr Group byLargest[3] = {reds, greens, blues};
    constexpr Group bySmallest[3] = {cyans, magentas, yellows};  // the other two's mix
    weights[byLargest[order[0]]] = mx - md;
    weights[bySmallest[order[2]]] = md - mn;
    weights[whites] = std::max(0.0f, 2.0f * mn - 1.0f);
    weights[blacks] = std::max(0.0f, 1.0f - 2.0f * mx);
    weights[neutrals] = std::max(0.0f, 1.0f - (std::fabs(mx - 0.5f) + std::fabs(mn - 0.5f)));

    for (int k = 0; k < 3; ++k) {
        float change = 0.0f;
        for (int g = 0; g < 9; ++g) {
            const auto& inks = adjustment.groups[g];
            change += weights[g] * (inks[k] + inks[3]);
        }
        // More ink is less light; relative changes scale the ink the
        // channel holds.
        if (!adjustment.isAbsolute) change *= 1.0f - c[k];
        color[k] = std::clamp(c[k] - change, 0.0f, 1.0f);
    }
}

void BNSelectiveColorNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                                   BNRenderingContext&) const {
    BNAdjustStraightColor("BNSelectiveColorNode", *inputs.at(0), output,
                          [&](float(&c)[3]) { adjustColor(adjustment_, c); });
}
