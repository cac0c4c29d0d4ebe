#pragma once
// QFImageProvider: the pixels of a document's planes (a layer's colour,
// transparency and mask channels, smart-object snapshots, pattern tiles)
// for the image and pattern nodes. Each plane stands for one render channel;
// 8- and 16-bit big-endian samples are read as straight floats in 0..1
// straight into the caller's surface memory.
//
// Immutable after creation and read by every render call of its graph, from
// several tile threads at once: it keeps no mutable state and holds its
// planes strongly. Decompressed samples are converted where they lie in
// memory; other byte arrays are copied into scratch memory of the calling
// render's context.
//
// Damaged data never shows through: a plane whose bytes are too short for
// the requested rows, a depth other than 8 or 16 or a rectangle outside the
// plane reads as the channel's background value (with a log line for short
// data), never as whatever the caller's memory held before.

#include "psd/OMPSDChannelReference.h"
#include "rendergraph/images/BNImageProvider.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// 16-bit samples scale by 2/65535 instead of 1/65535, so that 32768 reads as
// full intensity (pattern tiles).
inline constexpr uint32_t QFImageProviderHalfRange16BitOption = 1;

class QFImageProvider final : public BNImageProvider {
public:
    using ChannelReferenceList = std::vector<std::shared_ptr<const OMPSDChannelReference>>;

    // Channel references with their render channels and, optionally, one
    // background value each (the value outside the plane's rectangle).
    // Without channels they are derived from the planes' ids: 0, 1, 2 are
    // red, green and blue, every other id is opacity.
    // Null when identifiers or background values are given but their count
    // differs from the references'.
    static std::shared_ptr<const QFImageProvider> create(
        ChannelReferenceList channelReferences,
        std::optional<std::vector<BNChannel>> channelIdentifiers = std::nullopt,
        std::optional<std::vector<float>> backgroundValues = std::nullopt, uint32_t options = 0);
    // Channels 0 to 2 read one plane of 8-bit indices through a colour
    // table (768 bytes: red, green and blue of each of 256 colours), and
    // the opacity comes from `transparency` when given (an indexed pattern
    // tile). Null with a table of another size.
    static std::shared_ptr<const QFImageProvider> createIndexed(
        std::shared_ptr<const OMPSDChannelReference> indices,
        std::shared_ptr<const OMPSDChannelReference> transparency,
        const std::vector<uint8_t>& colorTable);

    const ChannelReferenceList& channelReferences() const { return channelReferences_; }
    const std::vector<BNChannel>& channelIdentifiers() const { return channelIdentifiers_; }
    uint32_t options() const { return options_; }

    // The OR of the identifiers' bits, with opacity added when neither
    // opacity nor fill is among them.
    BNChannelMask channels() const override { return channelMask_; }
    // The plane's rectangle in document pixels; null for a channel without
    // a plane.
    VKRect boundsForChannel(BNChannel channel) const override;
    // The given background value; else 1 for an opacity channel without a
    // plane (a provider without transparency is opaque), else 0.
    float backgroundValueForChannel(BNChannel channel) const override;
    void readFloatData(float* values, uint64_t bytesPerPixel, uint64_t bytesPerRow,
                       BNChannel channel, VKRect rect, BNRenderingContext& context) const override;

private:
    struct Key {};

public:
    QFImageProvider(Key, ChannelReferenceList channelReferences,
                    std::vector<BNChannel> channelIdentifiers,
                    std::optional<std::vector<float>> backgroundValues, uint32_t options);

private:
    // The position of the first plane standing for `channel`, if any.
    std::optional<size_t> channelIndexForChannel(BNChannel channel) const;
    const OMPSDChannelReference* channelReferenceForChannel(BNChannel channel) const;
    void fillBackground(float* values, uint64_t bytesPerPixel, uint64_t bytesPerRow,
                        BNChannel channel, uint64_t columns, uint64_t rows) const;

    ChannelReferenceList channelReferences_;
    std::vector<BNChannel> channelIdentifiers_;
    // Of an indexed provider: the colours as fractions, three per index.
    std::vector<float> colorTable_;
    std::optional<std::vector<float>> backgroundValues_;
    BNChannelMask channelMask_ = 0;
    uint32_t options_ = 0;
};
