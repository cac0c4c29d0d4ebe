#include "flows/scanner/QFLayerExportBounds.h"

#include "compositing/content/QFLayerShapeBounds.h"
#include "compositing/effects/QFEffectRendering.h"
#include "compositing/shared/QFLayerList.h"
#include "platform/core/Log.h"
#include "rendergraph/blurs/BNGaussianBlurNode.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// A mask whose outside value is (nearly) full reveals everything outside
// its rectangle, so it bounds nothing.
bool maskHidesOutside(const QFMaskChannel& mask) {
    return std::fabs(mask.backgroundValue - 1.0) > 0.0001;
}

bool effectsAreVisible(const OMPSDLayer& layer) {
    auto effects = layer.effects();
    return effects && effects->isVisible();
}

VKRect boundsForLayer(const OMPSDLayer& layer, bool includeEffects, int depth) {
    VKRect bounds = layer.isGroup() ? VKRectNull : QFLayerShapeBounds(layer);
    if (auto mask = QFMaskChannelForLayer(layer, false); mask && maskHidesOutside(*mask)) {
        VKRect masked = QFTightMaskRect(*mask->channel);
        double feather = layer.maskFeatherAmount();
        if (feather > 0) {
            double e = BNGaussianBlurNode::expansionForBlurRadius(feather);
            masked = VKRectInset(masked, -e, -e);
        }
        if (layer.isGroup() && !effectsAreVisible(layer)) return masked;
        bounds = masked;
    }
    if (layer.isGroup() && depth < QFMaximumGroupDepth) {
        for (const auto& sublayer : layer.sublayers()) {
            if (sublayer->clipping() != 0) continue;
            VKRect sub = boundsForLayer(*sublayer, includeEffects, depth + 1);
            if (!VKRectIsEmpty(sub)) bounds = VKRectUnion(bounds, sub);
        }
    }
    if (VKRectIsNull(bounds)) return VKRectNull;
    auto effects = layer.effects();
    if (includeEffects && effects && effects->isEnabled()) {
        // Each effect sees the rectangle grown by the effects before it.
        for (const auto& effect : effects->orderedEffects())
            if (effect->isEnabled())
                bounds = VKRectUnion(bounds, boundsWithLayerShapeBounds(*effect, bounds, layer));
    }
    return bounds;
}

}  // namespace

VKRect QFExportBoundsForLayer(const OMPSDLayer& layer, bool includeEffects) {
    return boundsForLayer(layer, includeEffects, 0);
}

std::optional<VKRect> QFGroupMaskBounds(const OMPSDLayer& layer) {
    if (!layer.isGroup()) return std::nullopt;
    if (layer.vectorMask() && layer.vectorMaskIsEnabled() && !effectsAreVisible(layer))
        return QFVectorMaskBoundsForLayer(layer);
    if (auto mask = QFMaskChannelForLayer(layer, true); mask && maskHidesOutside(*mask))
        return QFTightMaskRect(*mask->channel);
    return std::nullopt;
}

std::optional<QFMaskChannel> QFMaskChannelForLayer(const OMPSDLayer& layer, bool countDisabled) {
    if (auto real = layer.channelReferenceForIdentifier(-3)) {
        if (!layer.realMaskIsEnabled() && !countDisabled) return std::nullopt;
        return QFMaskChannel{std::move(real), layer.realMaskBackgroundColor()};
    }
    if (auto user = layer.channelReferenceForIdentifier(-2)) {
        if (layer.maskIsPrerenderedVectorMask()) return std::nullopt;
        if (!layer.maskIsEnabled() && !countDisabled) return std::nullopt;
        return QFMaskChannel{std::move(user), layer.maskBackgroundColor()};
    }
    return std::nullopt;
}

VKRect QFTightMaskRect(const OMPSDChannelReference& channel) {
    const OMPSDRect& r = channel.rect();
    int64_t width = int64_t{r.right} - r.left, height = int64_t{r.bottom} - r.top;
    VKRect whole = VKRectMake(r.left, r.top, double(width), double(height));
    if (width <= 0 || height <= 0) return VKRectNull;
    uint64_t sampleBytes = channel.depth() == 16 ? 2 : channel.depth() == 32 ? 4 : 1;
    uint64_t required = uint64_t(width) * uint64_t(height) * sampleBytes;
    auto samples = channel.byteArray();
    uint64_t available = samples ? samples->length() : 0;
    std::vector<uint8_t> bytes(available >= required ? required : 0);
    if (available < required || !samples->copyBytes(bytes.data(), BARange{0, required})) {
        lf::log(
            "*** Channel reference does not contain enough data!: {} ({} bytes required, {} "
            "available)",
            channel.debugIdentifier(), required, available);
        return whole;
    }
    int64_t top = height, bottom = -1, left = width, right = -1;
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t* row = bytes.data() + uint64_t(y) * uint64_t(width) * sampleBytes;
        for (int64_t x = 0; x < width; ++x) {
            bool nonZero = false;
            for (uint64_t b = 0; b < sampleBytes; ++b)
                nonZero |= row[uint64_t(x) * sampleBytes + b] != 0;
            if (!nonZero) continue;
            top = std::min(top, y);
            bottom = y;
            left = std::min(left, x);
            right = std::max(right, x);
        }
    }
    if (bottom < 0) return VKRectNull;
    return VKRectMake(double(r.left + left), double(r.top + top), double(right - left + 1),
                      double(bottom - top + 1));
}
