#include "TestNodes.h"

#include <cmath>

namespace rendergraph_test {

float patternValue(int64_t px, int64_t py, int k, BNChannelMask mask) {
    // Coverage first, colour no greater than coverage (premultiplied).
    float coverage = static_cast<float>(((px * 3 + py * 5) % 11 + 1)) / 12.0f;
    int samples = BNSamplesPerPixel(mask);
    if (k == samples - 1) return coverage;
    return coverage * static_cast<float>(((px + py * 7 + k * 3) % 13)) / 13.0f;
}

void PatternNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    context.updateValue(bounds_);
    context.updateValue(mask_);
    context.updateFlag(scalable_);
    context.updateValue(tag_);
}

void PatternNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList&,
                                          BNRenderingContext& context) const {
    if (log_) {
        ++log_->renders;
        log_->rects.push_back(output.rect());
        log_->scales.push_back(output.scaleFactor());
        log_->outputs.push_back(output.data());
    }
    auto originX = static_cast<int64_t>(std::floor(output.rect().origin.x * output.scaleFactor()));
    auto originY = static_cast<int64_t>(std::floor(output.rect().origin.y * output.scaleFactor()));
    int n = output.samplesPerPixel();
    for (uint64_t y = 0; y < output.heightInPixels(); ++y)
        for (uint64_t x = 0; x < output.widthInPixels(); ++x)
            for (int k = 0; k < n; ++k)
                output.row(y)[x * n + k] = patternValue(
                    originX + static_cast<int64_t>(x), originY + static_cast<int64_t>(y), k, mask_);
}

void BoundedPatternNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    context.updateValue(bounds_);
    context.updateValue(mask_);
    context.updateValue(tag_);
    context.updateValue(fill_.value_or(-1.0f));
    context.updateValue(background_);
}

void BoundedPatternNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList&,
                                                 BNRenderingContext&) const {
    double s = output.scaleFactor();
    auto originX = static_cast<int64_t>(std::floor(output.rect().origin.x * s));
    auto originY = static_cast<int64_t>(std::floor(output.rect().origin.y * s));
    int n = output.samplesPerPixel();
    for (uint64_t y = 0; y < output.heightInPixels(); ++y)
        for (uint64_t x = 0; x < output.widthInPixels(); ++x) {
            int64_t px = originX + static_cast<int64_t>(x), py = originY + static_cast<int64_t>(y);
            bool inside = VKRectContainsPoint(bounds_, {(px + 0.5) / s, (py + 0.5) / s});
            for (int k = 0; k < n; ++k)
                output.row(y)[x * n + k] = !inside ? background_
                                           : fill_ ? *fill_
                                                   : patternValue(px + tag_, py, k, mask_);
        }
}

void AverageNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    for (size_t i = 0; i < inputNodes().size(); ++i)
        updateHashContextWithInput(context, "input", i);
    context.updateValue(clip_);
}

void AverageNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                          BNRenderingContext& context) const {
    if (log_) {
        ++log_->renders;
        log_->rects.push_back(output.rect());
        log_->systemAllocationsSeen = context.systemAllocationCount();
    }
    float weight = inputs.empty() ? 0.0f : 1.0f / static_cast<float>(inputs.size());
    double scale = output.scaleFactor();
    for (uint64_t y = 0; y < output.heightInPixels(); ++y)
        for (uint64_t x = 0; x < output.widthInPixels(); ++x)
            for (int k = 0; k < 4; ++k) {
                float sum = 0;
                for (const auto& input : inputs) {
                    if (!input->data()) continue;
                    double dx = (output.rect().origin.x - input->rect().origin.x) * scale;
                    double dy = (output.rect().origin.y - input->rect().origin.y) * scale;
                    int64_t ix = static_cast<int64_t>(x) + std::llround(dx);
                    int64_t iy = static_cast<int64_t>(y) + std::llround(dy);
                    if (ix < 0 || iy < 0 || ix >= static_cast<int64_t>(input->widthInPixels()) ||
                        iy >= static_cast<int64_t>(input->heightInPixels()))
                        continue;
                    sum += input->sample(static_cast<uint64_t>(ix), static_cast<uint64_t>(iy), k);
                }
                output.sample(x, y, k) = sum * weight;
            }
}

void OverNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    updateHashContextWithInput(context, "background", 0);
    updateHashContextWithInput(context, "foreground", 1);
}

void OverNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList& inputs,
                                       BNRenderingContext&) const {
    const BNSurface& background = *inputs[0];
    const BNSurface& foreground = *inputs[1];
    for (uint64_t y = 0; y < output.heightInPixels(); ++y)
        for (uint64_t x = 0; x < output.widthInPixels() * 4; ++x)
            output.row(y)[x] = std::min(1.0f, background.row(y)[x] + foreground.row(y)[x] * 0.5f);
}

std::vector<float> samplesOf(const BNSurface& surface) {
    std::vector<float> samples;
    uint64_t perRow = surface.widthInPixels() * surface.samplesPerPixel();
    for (uint64_t y = 0; y < surface.heightInPixels(); ++y)
        samples.insert(samples.end(), surface.row(y), surface.row(y) + perRow);
    return samples;
}

}  // namespace rendergraph_test
