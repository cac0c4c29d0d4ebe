#include "rendergraph/adjustments/BNColorizeNode.h"

#include "kernels/LookupKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/adjustments/BNHueCircle.h"
#include "rendergraph/core/BNInputMargin.h"
#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNSurfaceFill.h"

#include <algorithm>
#include <array>

namespace {

constexpr uint32_t kTableCount = 256;

struct ColorizeTables {
    std::array<float, kTableCount> red, green, blue;
};

// The colour of each lightness level: the hue's components pulled toward
// grey by the saturation, darkened toward black below lightness 0.5 and
// lightened toward white above it.
ColorizeTables makeTables(double hueDegrees, double saturation, double lightness) {
    const auto h = static_cast<float>(BNHueInCircle(hueDegrees));
    const auto s = static_cast<float>(saturation);
    const auto l = static_cast<float>(lightness);

    std::array<float, 3> hue;
    if (h < 120.0f)
        hue = {std::min(1.0f, (120.0f - h) / 60.0f), std::min(1.0f, h / 60.0f), 0.0f};
    else if (h < 240.0f)
        hue = {0.0f, std::min(1.0f, (240.0f - h) / 60.0f), std::min(1.0f, (h - 120.0f) / 60.0f)};
    else
        hue = {std::min(1.0f, (h - 240.0f) / 60.0f), 0.0f, std::min(1.0f, (360.0f - h) / 60.0f)};
    for (float& component : hue)
        component = component * 2.0f * s + (1.0f - s);

    ColorizeTables tables;
    std::array<float*, 3> columns = {tables.red.data(), tables.green.data(), tables.blue.data()};
    for (uint32_t i = 0; i < kTableCount; ++i) {
        const float x = float(i) / 255.0f;
        float level = x;
        if (l < 0.0f)
            level = x * (1.0f + l);
        else if (l > 0.0f)
            level = x * (1.0f - l) + l;
        const double li = std::clamp(level, 0.0f, 1.0f);
        for (int c = 0; c < 3; ++c)
            columns[c][i] =
                static_cast<float>(li < 0.5 ? li * hue[c] : (1.0 - li) * hue[c] + 2.0 * li - 1.0);
    }
    return tables;
}

}  // namespace

std::shared_ptr<const BNColorizeNode> BNColorizeNode::create(BNRenderNodePtr input, double hue,
                                                             double saturation, double lightness) {
    const BNChannelMask mask = input ? input->channels() : 0;
    if ((mask & BNChannelMaskRGB) != BNChannelMaskRGB) {
        lf::log("BNColorizeNode input does not contain RGB channels: 0x{:x}", mask);
        return nullptr;
    }
    return make<BNColorizeNode>(std::move(input), hue, saturation, lightness);
}

BNColorizeNode::BNColorizeNode(CreationKey, BNRenderNodePtr input, double hue, double saturation,
                               double lightness)
    : BNRenderNode({std::move(input)}), hue_(hue), saturation_(saturation), lightness_(lightness) {}

void BNColorizeNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "input", 0);
    context.updateValue(hue_);
    context.updateValue(saturation_);
    context.updateValue(lightness_);
}

void BNColorizeNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                             BNRenderingContext&) const {
    const BNSurface& input = *inputs.at(0);
    const float* source = BNInputOverOutput(input, output);
    if (!source || !BNMaskIsFourChannel(input.channels())) {
        // RGB with neither or both of opacity and fill: no kernel reads that
        // layout. Pool memory is never cleared: leave a defined result.
        lf::log("BNColorizeNode: cannot colorize an input of channels 0x{:x}", input.channels());
        BNClearSurface(output);
        return;
    }
    const ColorizeTables tables = makeTables(hue_, saturation_, lightness_);
    BNKernelPlane out(output);
    TarrowColorize(source, out.data, tables.red.data(), tables.green.data(), tables.blue.data(),
                   out.width, out.height, static_cast<uint32_t>(input.bytesPerRow()), out.stride,
                   kTableCount);
}
