#include "rendergraph/images/BNPatternNode.h"

#include "kernels/FillCopyScaleKernels.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNScratchBuffer.h"
#include "rendergraph/images/BNImageNode.h"

#include <algorithm>
#include <cmath>
#include <vector>

std::shared_ptr<const BNPatternNode> BNPatternNode::create(
    std::shared_ptr<const BNImageProvider> provider, double scale, VKPoint phase) {
    if (!provider) {
        lf::log("BNPatternNode: missing image provider");
        return nullptr;
    }
    // A scale of 0 would make the tile period 0 output pixels, and an
    // infinite one the step; neither has a pattern to draw.
    if (!(scale > 0 && std::isfinite(scale) && std::isfinite(1.0 / scale))) {
        lf::log("BNPatternNode: the pattern scale must be a positive finite number: {}", scale);
        return nullptr;
    }
    if (!std::isfinite(phase.x) || !std::isfinite(phase.y)) {
        lf::log("BNPatternNode: the phase must be finite: {}, {}", phase.x, phase.y);
        return nullptr;
    }
    return make<BNPatternNode>(std::move(provider), scale, phase);
}

BNPatternNode::BNPatternNode(CreationKey, std::shared_ptr<const BNImageProvider> provider,
                             double scale, VKPoint phase)
    : BNRenderNode({}),
      provider_(std::move(provider)),
      scale_(1.0 / scale),
      inverseScale_(scale),
      phase_(phase) {}

void BNPatternNode::updateHashContext(BNHashContext& context) const {
    BNRenderNode::updateHashContext(context);
    context.updateAddress(provider_.get());
    context.updateValue(scale_);
    context.updateValue(phase_);
}

bool BNPatternNode::adjustPatternValues(float* tile, uint64_t width, uint64_t height,
                                        BNRenderingContext& context, double* step,
                                        double* tileScale) {
    if (*tileScale >= 1.0) return true;
    BNScratchBuffer<float> scratch(context, width * height);
    if (!scratch.isValid()) return false;
    auto w = static_cast<uint32_t>(width), h = static_cast<uint32_t>(height);
    uint32_t stride = w * sizeof(float);
    double scale = *tileScale;
    for (int pass = 0; pass < 3 && scale < 1.0; ++pass) {
        TarrowScaleDown2x1(tile, scratch.data(), w, h, w, h, stride, stride);
        TarrowCopyPlanar(scratch.data(), tile, w, static_cast<int32_t>(h), stride, stride);
        scale *= 2.0;
    }
    *tileScale = scale;
    *step = 1.0 / scale;
    return true;
}

namespace {

// Tiles above this many pixels a side are refused as damaged.
constexpr double kMaximumTileSide = 1 << 20;

// Where a tile position falls: the tile pixel p at or before it, the next
// one q (wrapping), and the fraction f of the way from p to q.
struct TileAxis {
    uint64_t p, q;
    double f;
};

TileAxis tileAxis(double position, uint64_t period) {
    double whole = std::floor(position);
    double f = position - whole;
    double wrapped = std::fmod(whole, static_cast<double>(period));
    if (wrapped < 0) wrapped += static_cast<double>(period);
    // A position that is not finite (a step beyond the range of doubles)
    // pins to the tile's first pixel.
    if (!(wrapped >= 0 && wrapped < static_cast<double>(period))) wrapped = 0, f = 0;
    auto p = static_cast<uint64_t>(wrapped);
    return {p, p + 1 == period ? 0 : p + 1, f};
}

// The phase in output pixels, rounded halves up when `round`.
double phaseInPixels(double phase, double scaleFactor, bool round) {
    double pixels = phase * scaleFactor;
    return round ? std::floor(pixels + 0.5) : pixels;
}

}  // namespace

void BNPatternNode::renderWithOutputSurface(BNSurface& output, const BNSurfaceList&,
                                            BNRenderingContext& context) const {
    const double s = output.scaleFactor();
    const uint64_t width = output.widthInPixels(), height = output.heightInPixels();
    const int n = output.samplesPerPixel();
    const BNChannelMask mask = output.channels();
    bool roundPhase = false;
    for (double wholeScale : {0.125, 0.5, 1.0})
        roundPhase = roundPhase || std::fabs(scale_ - wholeScale) < 0.001;
    const double gx0 = std::floor(output.rect().origin.x * s);
    const double gy0 = std::floor(output.rect().origin.y * s);
    const double phaseX = phaseInPixels(phase_.x, s, roundPhase);
    const double phaseY = phaseInPixels(phase_.y, s, roundPhase);

    for (int i = 0; i < BNChannelCount; ++i) {
        auto channel = static_cast<BNChannel>(i);
        if (!BNMaskHasChannel(mask, channel)) continue;
        const int offset = BNSampleIndexOfChannel(mask, channel);
        const float background = provider_->backgroundValueForChannel(channel);

        // The tile: the channel's stored pixels, or 10 by 10 of its
        // background value when it has none.
        VKRect bounds = provider_->boundsForChannel(channel);
        double tileWidth = std::ceil(VKRectGetWidth(bounds));
        double tileHeight = std::ceil(VKRectGetHeight(bounds));
        bool stored = !VKRectIsEmpty(bounds) && tileWidth > 0 && tileHeight > 0;
        if (stored && !(tileWidth <= kMaximumTileSide && tileHeight <= kMaximumTileSide)) {
            lf::log("BNPatternNode: pattern tile too large: {} by {}", tileWidth, tileHeight);
            stored = false;
        }
        uint64_t tw = stored ? static_cast<uint64_t>(tileWidth) : 10;
        uint64_t th = stored ? static_cast<uint64_t>(tileHeight) : 10;
        BNScratchBuffer<float> tile(context, tw * th);
        double step = scale_ / s, tileScale = s * inverseScale_;
        bool ready = tile.isValid();
        if (ready) {
            // The background first: a provider writes the whole pixels of
            // bounds that are not whole only.
            std::fill(tile.data(), tile.data() + tw * th, background);
            if (stored)
                provider_->readFloatData(tile.data(), sizeof(float), tw * sizeof(float), channel,
                                         bounds, context);
            ready = adjustPatternValues(tile.data(), tw, th, context, &step, &tileScale);
        }
        if (!ready) {
            lf::log("BNPatternNode: no memory for a {} by {} tile", tw, th);
            for (uint64_t r = 0; r < height; ++r)
                for (uint64_t c = 0; c < width; ++c)
                    output.row(r)[c * n + offset] = background;
            continue;
        }

        // The tile columns do not change from row to row.
        std::vector<TileAxis> columns(width);
        for (uint64_t c = 0; c < width; ++c)
            columns[c] = tileAxis((gx0 + static_cast<double>(c) + phaseX) * step, tw);
        for (uint64_t r = 0; r < height; ++r) {
            TileAxis y = tileAxis((gy0 + static_cast<double>(r) + phaseY) * step, th);
            const float* rowA = tile.data() + y.p * tw;
            const float* rowB = tile.data() + y.q * tw;
            float* out = output.row(r) + offset;
            for (uint64_t c = 0; c < width; ++c) {
                const TileAxis& x = columns[c];
                double value = double(rowA[x.p]) * (1 - x.f) * (1 - y.f) +
                               double(rowA[x.q]) * x.f * (1 - y.f) +
                               double(rowB[x.p]) * (1 - x.f) * y.f + double(rowB[x.q]) * x.f * y.f;
                out[c * n] = static_cast<float>(value);
            }
        }
    }
    BNPremultiplySurface(output);
}
