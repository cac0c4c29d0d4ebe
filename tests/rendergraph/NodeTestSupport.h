#pragma once
// Test stand-ins for the tests of the node families: fake providers, a
// node whose pixels are any function of their place, and rendering helpers.

#include "rendergraph/adjustments/BNContourProvider.h"
#include "rendergraph/adjustments/BNHueSaturationAdjustment.h"
#include "rendergraph/core/BNRenderNode.h"
#include "rendergraph/gradients/BNGradientProvider.h"

#include <functional>
#include <memory>
#include <vector>

namespace rendergraph_test {

// A gradient whose entries carry their own index: red i / (count - 1),
// green 1 - red, blue 0.25, opacity `opacity`, premultiplied on request.
class IndexGradientProvider final : public BNGradientProvider {
public:
    explicit IndexGradientProvider(float opacity = 1.0f) : opacity_(opacity) {}
    void generateRGBAGradientValues(float* values, uint64_t count, bool premultiply) const override;

private:
    float opacity_;
};

// The entry index a premultiplied red sample of an IndexGradientProvider
// of full opacity stands for.
int gradientIndexOf(float red);

// A tone curve given by a function of the input level.
class FunctionContourProvider final : public BNContourProvider {
public:
    explicit FunctionContourProvider(std::function<float(float)> curve)
        : curve_(std::move(curve)) {}
    void generateContourValues(float* values, uint64_t count,
                               BNRenderingContext& context) const override;

private:
    std::function<float(float)> curve_;
};

// Shared providers for random graphs, by number (so that a graph's source
// code can name them): gradients 0 (opaque) and 1 (opacity 0.6); tone
// curves 0 (1 - x), 1 (x squared) and 2 (1.2 x - 0.1, beyond 0..1).
std::shared_ptr<const BNGradientProvider> testGradient(int number);
std::shared_ptr<const BNContourProvider> testContour(int number);

// A hue/saturation adjustment with every value set.
BNHueSaturationAdjustment hueSaturationAdjustment(double hue, double saturation, double lightness,
                                                  double range0, double range1, double range2,
                                                  double range3);

// Sample k of a pixel whose centre lies at (x, y) in points.
using SampleFunction = std::function<float(double x, double y, int k)>;

// A generator that writes value(x, y, k) at every pixel centre, at any scale.
// Its identity is its address: two function nodes never share one.
class FunctionNode final : public BNRenderNode {
public:
    static std::shared_ptr<const FunctionNode> create(VKRect bounds, BNChannelMask mask,
                                                      SampleFunction value) {
        return make<FunctionNode>(bounds, mask, std::move(value));
    }
    FunctionNode(CreationKey, VKRect bounds, BNChannelMask mask, SampleFunction value)
        : BNRenderNode({}), bounds_(bounds), mask_(mask), value_(std::move(value)) {}

    const char* className() const override { return "FunctionNode"; }
    VKRect calculateBounds() const override { return bounds_; }
    BNChannelMask channels() const override { return mask_; }
    bool supportsScaleFactor() const override { return true; }
    void updateHashContext(BNHashContext& context) const override;
    void renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                 BNRenderingContext& context) const override;

private:
    VKRect bounds_;
    BNChannelMask mask_;
    SampleFunction value_;
};

// Coverage of the square [x0, x0 + side) x [y0, y0 + side) at a pixel
// centre: 1 inside, 0 outside.
std::shared_ptr<const FunctionNode> squareNode(double x0, double y0, double side,
                                               BNChannelMask mask = 8);

// An opaque-ish RGBA node of one straight colour at opacity a everywhere in
// `bounds`, premultiplied.
std::shared_ptr<const FunctionNode> colorNode(VKRect bounds, float r, float g, float b, float a);

// Renders `node` over `rect` at `scale` with a fresh renderer.
BNSurfacePtr renderOnce(const BNRenderNodePtr& node, VKRect rect, double scale);

// Renders `rect` in tiles of `tile` points (the last row and column
// shorter) and returns the samples of the whole rectangle, row by row, as
// samplesOf would for one render.
std::vector<float> renderInTiles(const BNRenderNodePtr& node, VKRect rect, double scale,
                                 double tile);

}  // namespace rendergraph_test
