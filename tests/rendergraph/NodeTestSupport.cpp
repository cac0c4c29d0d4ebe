#include "NodeTestSupport.h"

#include "TestNodes.h"
#include "rendergraph/core/BNRenderer.h"

#include <cmath>

namespace rendergraph_test {

void IndexGradientProvider::generateRGBAGradientValues(float* values, uint64_t count,
                                                       bool premultiply) const {
    for (uint64_t i = 0; i < count; ++i) {
        const float red = float(i) / float(count - 1);
        const float k = premultiply ? opacity_ : 1.0f;
        values[4 * i + 0] = red * k;
        values[4 * i + 1] = (1.0f - red) * k;
        values[4 * i + 2] = 0.25f * k;
        values[4 * i + 3] = opacity_;
    }
}

int gradientIndexOf(float red) {
    return static_cast<int>(std::lround(red * 4095.0f));
}

void FunctionContourProvider::generateContourValues(float* values, uint64_t count,
                                                    BNRenderingContext&) const {
    for (uint64_t i = 0; i < count; ++i)
        values[i] = curve_(float(i) / float(count - 1));
}

std::shared_ptr<const BNGradientProvider> testGradient(int number) {
    static const std::shared_ptr<const BNGradientProvider> gradients[] = {
        std::make_shared<IndexGradientProvider>(1.0f),
        std::make_shared<IndexGradientProvider>(0.6f)};
    return gradients[number];
}

std::shared_ptr<const BNContourProvider> testContour(int number) {
    static const std::shared_ptr<const BNContourProvider> curves[] = {
        std::make_shared<FunctionContourProvider>([](float x) { return 1.0f - x; }),
        std::make_shared<FunctionContourProvider>([](float x) { return x * x; }),
        std::make_shared<FunctionContourProvider>([](float x) { return 1.2f * x - 0.1f; })};
    return curves[number];
}

BNHueSaturationAdjustment hueSaturationAdjustment(double hue, double saturation, double lightness,
                                                  double range0, double range1, double range2,
                                                  double range3) {
    BNHueSaturationAdjustment adjustment;
    adjustment.setHue(hue);
    adjustment.setSaturation(saturation);
    adjustment.setLightness(lightness);
    adjustment.setRange0(range0);
    adjustment.setRange1(range1);
    adjustment.setRange2(range2);
    adjustment.setRange3(range3);
    return adjustment;
}

void FunctionNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    context.updateAddress(this);
}

void FunctionNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList&,
                                           BNRenderingContext&) const {
    const double s = output.scaleFactor();
    const int n = output.samplesPerPixel();
    for (uint64_t y = 0; y < output.heightInPixels(); ++y)
        for (uint64_t x = 0; x < output.widthInPixels(); ++x)
            for (int k = 0; k < n; ++k)
                output.sample(x, y, k) = value_(output.rect().origin.x + (double(x) + 0.5) / s,
                                                output.rect().origin.y + (double(y) + 0.5) / s, k);
}

std::shared_ptr<const FunctionNode> squareNode(double x0, double y0, double side,
                                               BNChannelMask mask) {
    return FunctionNode::create(VKRectMake(x0, y0, side, side), mask, [=](double x, double y, int) {
        return x >= x0 && x < x0 + side && y >= y0 && y < y0 + side ? 1.0f : 0.0f;
    });
}

std::shared_ptr<const FunctionNode> colorNode(VKRect bounds, float r, float g, float b, float a) {
    return FunctionNode::create(bounds, BNChannelMaskRGBA, [=](double, double, int k) {
        const float straight[4] = {r, g, b, 1.0f};
        return straight[k] * a;
    });
}

BNSurfacePtr renderOnce(const BNRenderNodePtr& node, VKRect rect, double scale) {
    return BNRenderer().renderNode(node, rect, scale);
}

std::vector<float> renderInTiles(const BNRenderNodePtr& node, VKRect rect, double scale,
                                 double tile) {
    const auto width = static_cast<uint64_t>(rect.size.width * scale);
    const auto height = static_cast<uint64_t>(rect.size.height * scale);
    const int n = BNSamplesPerPixel(node->channels());
    std::vector<float> samples(width * height * n);
    for (double top = 0; top < rect.size.height; top += tile)
        for (double left = 0; left < rect.size.width; left += tile) {
            const VKRect piece = VKRectMake(rect.origin.x + left, rect.origin.y + top,
                                            std::min(tile, rect.size.width - left),
                                            std::min(tile, rect.size.height - top));
            BNSurfacePtr surface = renderOnce(node, piece, scale);
            if (!surface) return {};
            const auto px = static_cast<uint64_t>(left * scale),
                       py = static_cast<uint64_t>(top * scale);
            for (uint64_t y = 0; y < surface->heightInPixels(); ++y)
                for (uint64_t x = 0; x < surface->widthInPixels() * n; ++x)
                    samples[((py + y) * width + px) * n + x] = surface->row(y)[x];
        }
    return samples;
}

}  // namespace rendergraph_test
