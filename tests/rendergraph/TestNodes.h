#pragma once
// Small node classes for the renderer's tests: a generator whose pixels
// depend on their position, an averaging node over any number of inputs, and
// an in-place "over" node. They count their renders.

#include "rendergraph/core/BNRenderNode.h"
#include "rendergraph/core/BNRenderingContext.h"

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace rendergraph_test {

struct RenderLog {
    std::atomic<int> renders{0};
    std::vector<VKRect> rects;  // only touched by single-threaded tests
    std::vector<double> scales;
    std::vector<const float*> outputs;  // the data of each output (PatternNode)
    uint64_t systemAllocationsSeen = 0;
};

// Sample k of the pixel at pixel coordinates (px, py) of a generator.
float patternValue(int64_t px, int64_t py, int k, BNChannelMask mask);

// Writes patternValue over its rectangle; bounds `bounds`.
class PatternNode final : public BNRenderNode {
public:
    static std::shared_ptr<const PatternNode> create(VKRect bounds, BNChannelMask mask,
                                                     bool scalable,
                                                     std::shared_ptr<RenderLog> log = nullptr,
                                                     int tag = 0) {
        return make<PatternNode>(bounds, mask, scalable, std::move(log), tag);
    }
    PatternNode(CreationKey, VKRect bounds, BNChannelMask mask, bool scalable,
                std::shared_ptr<RenderLog> log, int tag)
        : BNRenderNode({}),
          bounds_(bounds),
          mask_(mask),
          scalable_(scalable),
          log_(std::move(log)),
          tag_(tag) {}

    const char* className() const override { return "PatternNode"; }
    VKRect calculateBounds() const override { return bounds_; }
    BNChannelMask channels() const override { return mask_; }
    bool supportsScaleFactor() const override { return scalable_; }
    void updateHashContext(BNHashContext& context) const override;
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    VKRect bounds_;
    BNChannelMask mask_;
    bool scalable_;
    std::shared_ptr<RenderLog> log_;
    int tag_;
};

// Averages its inputs, sample by sample (inputs need not cover the output:
// uncovered parts count as 0). The region of interest of every input is the
// rectangle clipped to `clip` (the infinite rectangle by default).
class AverageNode final : public BNRenderNode {
public:
    static std::shared_ptr<const AverageNode> create(std::vector<BNRenderNodePtr> inputs,
                                                     VKRect clip = VKRectInfinite,
                                                     std::shared_ptr<RenderLog> log = nullptr) {
        return make<AverageNode>(std::move(inputs), clip, std::move(log));
    }
    AverageNode(CreationKey, std::vector<BNRenderNodePtr> inputs, VKRect clip,
                std::shared_ptr<RenderLog> log)
        : BNRenderNode(std::move(inputs)), clip_(clip), log_(std::move(log)) {}

    const char* className() const override { return "AverageNode"; }
    bool supportsScaleFactor() const override { return true; }
    VKRect regionOfInterestForInputNodeAtIndex(size_t index, VKRect rect,
                                               double scale) const override {
        return VKRectIntersection(rect, clip_);
    }
    void updateHashContext(BNHashContext& context) const override;
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    VKRect clip_;
    std::shared_ptr<RenderLog> log_;
};

// out = background + foreground / 2, drawn over the background in place
// when the renderer allows it. Both inputs RGBA over the same rectangle.
class OverNode final : public BNRenderNode {
public:
    static std::shared_ptr<const OverNode> create(BNRenderNodePtr background,
                                                  BNRenderNodePtr foreground) {
        return make<OverNode>(std::move(background), std::move(foreground));
    }
    OverNode(CreationKey, BNRenderNodePtr background, BNRenderNodePtr foreground)
        : BNRenderNode({std::move(background), std::move(foreground)}) {}

    const char* className() const override { return "OverNode"; }
    bool supportsScaleFactor() const override { return true; }
    bool rendersInPlaceOverFirstInput() const override { return true; }
    void updateHashContext(BNHashContext& context) const override;
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;
};

// Inside `bounds` (the pixels whose centre lies within) patternValue, or
// `fill` when given; `background` outside, which is also its background
// value. Its bounds are `bounds`; renders at any scale.
class BoundedPatternNode final : public BNRenderNode {
public:
    static std::shared_ptr<const BoundedPatternNode> create(VKRect bounds, BNChannelMask mask,
                                                            int tag = 0,
                                                            std::optional<float> fill = {},
                                                            float background = 0) {
        return make<BoundedPatternNode>(bounds, mask, tag, fill, background);
    }
    BoundedPatternNode(CreationKey, VKRect bounds, BNChannelMask mask, int tag,
                       std::optional<float> fill, float background)
        : BNRenderNode({}),
          bounds_(bounds),
          mask_(mask),
          tag_(tag),
          fill_(fill),
          background_(background) {}

    const char* className() const override { return "BoundedPatternNode"; }
    VKRect calculateBounds() const override { return bounds_; }
    BNChannelMask channels() const override { return mask_; }
    float backgroundValueForChannel(BNChannel) const override { return background_; }
    bool supportsScaleFactor() const override { return true; }
    void updateHashContext(BNHashContext& context) const override;
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    VKRect bounds_;
    BNChannelMask mask_;
    int tag_;
    std::optional<float> fill_;
    float background_;
};

// Every sample of a surface's pixels, row by row (no padding).
std::vector<float> samplesOf(const BNSurface& surface);

}  // namespace rendergraph_test
