#include "compositing/providers/QFImageProvider.h"

#include "bytearray/BAByteSource.h"
#include "platform/core/Log.h"
#include "rendergraph/core/BNRenderingContext.h"

#include <cmath>

namespace {

// Whole pixels along one axis: the count truncated, 0 for negative or
// not-a-number counts (and capped, so that the conversion stays defined).
uint64_t wholeCount(double count) {
    if (!(count > 0)) return 0;
    return count >= 0x1p62 ? uint64_t{1} << 62 : static_cast<uint64_t>(count);
}

float* valueAt(float* values, uint64_t bytesPerPixel, uint64_t bytesPerRow, uint64_t column,
               uint64_t row) {
    // Samples are floats: strides keep to whole floats.
    auto* base = reinterpret_cast<uint8_t*>(values);
    return reinterpret_cast<float*>(base + row * (bytesPerRow & ~uint64_t{3}) +
                                    column * (bytesPerPixel & ~uint64_t{3}));
}

}  // namespace

std::shared_ptr<const QFImageProvider> QFImageProvider::create(
    ChannelReferenceList channelReferences,
    std::optional<std::vector<BNChannel>> channelIdentifiers,
    std::optional<std::vector<float>> backgroundValues, uint32_t options) {
    if (backgroundValues && backgroundValues->size() != channelReferences.size()) return nullptr;
    std::vector<BNChannel> identifiers;
    if (channelIdentifiers) {
        if (channelIdentifiers->size() != channelReferences.size()) return nullptr;
        identifiers = std::move(*channelIdentifiers);
    } else {
        for (const auto& reference : channelReferences) {
            int id = reference ? reference->identifier() : -1;
            identifiers.push_back(id >= 0 && id <= 2 ? BNChannel(id) : BNChannelOpacity);
        }
    }
    return std::make_shared<QFImageProvider>(Key{}, std::move(channelReferences),
                                             std::move(identifiers), std::move(backgroundValues),
                                             options);
}

std::shared_ptr<const QFImageProvider> QFImageProvider::createIndexed(
    std::shared_ptr<const OMPSDChannelReference> indices,
    std::shared_ptr<const OMPSDChannelReference> transparency,
    const std::vector<uint8_t>& colorTable) {
    if (colorTable.size() != 3 * 256) return nullptr;
    ChannelReferenceList references{indices, indices, indices};
    std::vector<BNChannel> identifiers{BNChannelRed, BNChannelGreen, BNChannelBlue};
    if (transparency) {
        references.push_back(std::move(transparency));
        identifiers.push_back(BNChannelOpacity);
    }
    auto provider = std::make_shared<QFImageProvider>(Key{}, std::move(references),
                                                      std::move(identifiers), std::nullopt, 0);
    for (uint8_t component : colorTable)
        provider->colorTable_.push_back(static_cast<float>(component) * (1.0f / 255.0f));
    return provider;
}

QFImageProvider::QFImageProvider(Key, ChannelReferenceList channelReferences,
                                 std::vector<BNChannel> channelIdentifiers,
                                 std::optional<std::vector<float>> backgroundValues,
                                 uint32_t options)
    : channelReferences_(std::move(channelReferences)),
      channelIdentifiers_(std::move(channelIdentifiers)),
      backgroundValues_(std::move(backgroundValues)),
      options_(options) {
    for (BNChannel identifier : channelIdentifiers_)
        channelMask_ |= 1 << (identifier & 31);
    if (!(channelMask_ & (BNChannelMaskOpacity | BNChannelMaskFill)))
        channelMask_ |= BNChannelMaskOpacity;
}

std::optional<size_t> QFImageProvider::channelIndexForChannel(BNChannel channel) const {
    for (size_t i = 0; i < channelIdentifiers_.size(); ++i)
        if (channelIdentifiers_[i] == channel) return i;
    return std::nullopt;
}

const OMPSDChannelReference* QFImageProvider::channelReferenceForChannel(BNChannel channel) const {
    auto index = channelIndexForChannel(channel);
    if (!index || *index >= channelReferences_.size()) return nullptr;
    return channelReferences_[*index].get();
}

VKRect QFImageProvider::boundsForChannel(BNChannel channel) const {
    const OMPSDChannelReference* reference = channelReferenceForChannel(channel);
    if (!reference) return VKRectNull;
    const OMPSDRect& r = reference->rect();
    return VKRectMake(r.left, r.top, static_cast<double>(r.width()),
                      static_cast<double>(r.height()));
}

float QFImageProvider::backgroundValueForChannel(BNChannel channel) const {
    auto index = channelIndexForChannel(channel);
    if (index && backgroundValues_ && *index < backgroundValues_->size())
        return (*backgroundValues_)[*index];
    return channel == BNChannelOpacity && !index ? 1.0f : 0.0f;
}

void QFImageProvider::fillBackground(float* values, uint64_t bytesPerPixel, uint64_t bytesPerRow,
                                     BNChannel channel, uint64_t columns, uint64_t rows) const {
    float background = backgroundValueForChannel(channel);
    for (uint64_t r = 0; r < rows; ++r)
        for (uint64_t k = 0; k < columns; ++k)
            *valueAt(values, bytesPerPixel, bytesPerRow, k, r) = background;
}

void QFImageProvider::readFloatData(float* values, uint64_t bytesPerPixel, uint64_t bytesPerRow,
                                    BNChannel channel, VKRect rect,
                                    BNRenderingContext& context) const {
    uint64_t columns = wholeCount(rect.size.width), rows = wholeCount(rect.size.height);
    auto background = [&] {
        fillBackground(values, bytesPerPixel, bytesPerRow, channel, columns, rows);
    };
    const OMPSDChannelReference* reference = channelReferenceForChannel(channel);
    if (!reference || columns == 0 || rows == 0) return background();

    // Plane-relative position; the rectangle must lie inside the plane.
    const OMPSDRect& plane = reference->rect();
    double x = rect.origin.x - plane.left, y = rect.origin.y - plane.top;
    uint64_t planeWidth = plane.width(), planeHeight = plane.height();
    if (!(x >= 0 && y >= 0) || x + static_cast<double>(columns) > static_cast<double>(planeWidth) ||
        y + static_cast<double>(rows) > static_cast<double>(planeHeight))
        return background();
    uint64_t firstColumn = static_cast<uint64_t>(x), firstRow = static_cast<uint64_t>(y);

    uint64_t depth = reference->depth() == 0 ? 8 : reference->depth();
    if (depth != 8 && depth != 16) return background();
    uint64_t bytesPerSample = depth / 8;

    // The bytes of whole plane rows, firstRow to firstRow + rows - 1.
    uint64_t rowBytes = planeWidth * bytesPerSample, offset = 0, size = 0;
    if (__builtin_mul_overflow(rowBytes, firstRow, &offset) ||
        __builtin_mul_overflow(rowBytes, rows, &size))
        return background();
    std::shared_ptr<const BAByteArray> bytes = reference->byteArray();
    uint64_t available = bytes ? bytes->length() : 0;
    if (!BARange{offset, size}.fitsWithin(available)) {
        lf::log(
            "*** Channel reference does not contain enough data!: {} ({} bytes required, {} "
            "available)",
            reference->debugIdentifier(), offset + size, available);
        return background();
    }
    // Read in place where the samples lie in memory; else copy the rows
    // into scratch memory of this render.
    std::optional<lf::Data> inPlace = BADataInRange(*bytes, {offset, size});
    uint8_t* scratch = nullptr;
    const uint8_t* rowBytesAt = inPlace ? inPlace->bytes() : nullptr;
    if (!rowBytesAt) {
        scratch = static_cast<uint8_t*>(context.allocateMemoryWithSize(size));
        if (!scratch) return background();
        if (!bytes->copyBytes(scratch, BARange{offset, size})) {
            context.releaseMemory(scratch);
            return background();
        }
        rowBytesAt = scratch;
    }

    for (uint64_t r = 0; r < rows; ++r) {
        const uint8_t* source = rowBytesAt + r * rowBytes + firstColumn * bytesPerSample;
        if (depth == 16) {
            const float scale = (options_ & QFImageProviderHalfRange16BitOption)
                                    ? static_cast<float>(2.0 / 65535.0)
                                    : static_cast<float>(1.0 / 65535.0);
            for (uint64_t k = 0; k < columns; ++k, source += 2) {
                auto sample = static_cast<float>((unsigned{source[0]} << 8) | source[1]);
                *valueAt(values, bytesPerPixel, bytesPerRow, k, r) = sample * scale;
            }
        } else if (!colorTable_.empty() && channel <= BNChannelBlue) {
            for (uint64_t k = 0; k < columns; ++k)
                *valueAt(values, bytesPerPixel, bytesPerRow, k, r) =
                    colorTable_[3 * size_t{source[k]} + channel];
        } else {
            const float scale = static_cast<float>(1.0 / 255.0);
            for (uint64_t k = 0; k < columns; ++k)
                *valueAt(values, bytesPerPixel, bytesPerRow, k, r) =
                    static_cast<float>(source[k]) * scale;
        }
    }
    if (scratch) context.releaseMemory(scratch);
}
