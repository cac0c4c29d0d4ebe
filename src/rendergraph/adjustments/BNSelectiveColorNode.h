#pragma once
// BNSelectiveColorNode: the selective colour adjustment. Each pixel belongs
// to colour groups by weights: the group of its largest channel (reds,
// greens or blues) by the largest minus the middle channel; the group of
// the two largest (yellows, cyans or magentas) by the middle minus the
// smallest; whites by how far its smallest channel lies above one half,
// blacks by how far its largest lies below, and neutrals by how close both
// lie to one half. Each group changes cyan (taken from red), magenta (from
// green), yellow (from blue) and black (from all three) by its values
// times its weight: by the values themselves (absolute), or by the values
// times the ink the channel already holds, one less the channel
// (relative). The changes of all groups are worked out from the pixel as
// it comes and added up. RGBA or RGB-with-fill input; renders at any
// scale.

#include "rendergraph/core/BNRenderNode.h"

#include <array>

struct BNSelectiveColorAdjustment {
    // Group order: reds, yellows, greens, cyans, blues, magentas, whites,
    // neutrals, blacks; each cyan, magenta, yellow and black, -1..1.
    using Inks = std::array<float, 4>;
    std::array<Inks, 9> groups{};
    bool isAbsolute = false;
};

class BNSelectiveColorNode final : public BNRenderNode {
public:
    // Null, with a log line, unless the input is RGBA or RGB with fill.
    static std::shared_ptr<const BNSelectiveColorNode> create(
        BNRenderNodePtr input, const BNSelectiveColorAdjustment& adjustment);
    BNSelectiveColorNode(CreationKey, BNRenderNodePtr input,
                         const BNSelectiveColorAdjustment& adjustment);

    const BNSelectiveColorAdjustment& adjustment() const { return adjustment_; }

    const char* className() const override { return "BNSelectiveColorNode"; }
    BNChannelMask channels() const override { return inputNode(0)->channels(); }
    void updateHashContext(BNHashContext& context) const override;
    bool supportsScaleFactor() const override { return true; }
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

    // One unpremultiplied colour adjusted, each channel within 0..1.
    static void adjustColor(const BNSelectiveColorAdjustment& adjustment, float (&color)[3]);

private:
    BNSelectiveColorAdjustment adjustment_;
};
