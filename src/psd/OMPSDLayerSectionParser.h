#pragma once
// Reads the layer and mask information section of a document: layer
// records and their channels, the group tree, the global layer mask and the
// section's tagged blocks. Used by OMPSDDocument while it opens.
#include "bytearray/BARange.h"
#include "platform/core/Result.h"
#include "platform/files/Data.h"
#include "psd/OMPSDDocument.h"
#include "psd/OMPSDLayer.h"
#include "psd/OMPSDReadWindow.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

class OMPSDBinaryReader;

// What the layer and mask information section holds.
struct OMPSDLayerSection {
    // Top-level layers and groups, bottom-most first; every layer and group
    // in file order (group end markers left out).
    std::vector<std::shared_ptr<OMPSDLayer>> layers, allLayers;
    std::optional<OMPSDGlobalLayerMask> globalLayerMask;
    std::vector<OMPSDAttributesAtom> atoms;
    // The layer count was negative: the merged image's first extra channel
    // is its transparency.
    bool hasMergedTransparency = false;
};

// Tagged blocks ("8BIM" or "8B64", key, length, data) until the reader
// ends. `backing` holds the bytes the reader looks at, starting
// `backingOffset` bytes before the reader's first byte, so the blocks can
// share them. Stops at the first damaged block and sets `damage` to the
// error that says what is wrong (positions count from the reader's start).
std::vector<OMPSDAttributesAtom> OMPSDReadTaggedBlocks(OMPSDBinaryReader& reader,
                                                       const lf::Data& backing,
                                                       size_t backingOffset, bool isPSB,
                                                       lf::Status* damage = nullptr);

class OMPSDLayerSectionParser {
public:
    // The section's bytes (after its length field) are `sectionLength`
    // bytes at `sectionOffset` in the document's byte array. They are read
    // piece by piece: the records and small blocks into memory, while
    // channel data and large blocks stay where they are until used. The
    // layers and channels refer back to `document`, which must be owned by
    // a shared pointer.
    OMPSDLayerSectionParser(const OMPSDDocument& document, uint64_t sectionOffset,
                            uint64_t sectionLength)
        : document_(document),
          sectionOffset_(sectionOffset),
          sectionLength_(sectionLength),
          window_(*document.byteArray()) {}

    // Reads the section; call once.
    lf::Result<OMPSDLayerSection> parse();

private:
    struct ChannelInfo {
        int16_t identifier;
        uint64_t length;
    };
    struct PendingLayer {
        OMPSDLayerRecord record;
        std::vector<ChannelInfo> channels;
    };

    // The section's parts, in order, into `section_`.
    lf::Status parseSection();
    // A layer info structure (the section's own, or an "Lr16"/"Lr32"
    // block's) of `length` bytes at `offset` in the byte array; its errors
    // name it `where`. Read in the steps below, in the format's order.
    lf::Status parseLayerInfo(uint64_t offset, uint64_t length, const std::string& where);
    // The layer count at `offset`, checked against the `length` bytes that
    // hold it; a negative count sets the section's merged transparency.
    lf::Result<size_t> parseLayerCount(uint64_t offset, uint64_t length, const std::string& where);
    // `count` records from `position`, which moves past them.
    lf::Result<std::vector<PendingLayer>> parseRecords(size_t count, uint64_t& position,
                                                       uint64_t end);
    // The record of layer `index` (counted from 0 in file order, bottom-most
    // first, as messages name layers) from `reader`, whose first byte is
    // byte `readerOffset` of `backing` (which the record's blocks then
    // share). Its errors leave the layer for the caller to name.
    lf::Status parseRecord(OMPSDBinaryReader& reader, const lf::Data& backing, size_t readerOffset,
                           size_t index, PendingLayer& layer);
    // The mask data after its size field.
    void parseMaskData(std::span<const uint8_t> bytes, OMPSDLayerRecord& record);
    // The data of layer `index`'s channels from `position`, which moves
    // past it, into the channel references of its record.
    lf::Status parseChannelData(PendingLayer& layer, size_t index, uint64_t& position, uint64_t end,
                                const std::string& where);
    // Where a channel's data lies: its compression method is read now, its
    // samples when the channel is first read.
    lf::Result<OMPSDChannelReference::Source> channelSource(const ChannelInfo& channel,
                                                            uint64_t position, uint64_t end);
    // The layer of a record whose channels are read, with the blending
    // options it gives.
    std::shared_ptr<OMPSDLayer> makeLayer(OMPSDLayerRecord record);
    // The section's tagged blocks from `offset` to the section's end; an
    // error says what ends them early (the blocks before it are kept).
    lf::Status parseDocumentBlocks(uint64_t offset);
    void buildTree(std::vector<std::shared_ptr<OMPSDLayer>> records);

    const OMPSDDocument& document_;
    uint64_t sectionOffset_, sectionLength_;
    OMPSDLayerSection section_;
    // Records and block headers are read through it.
    OMPSDReadWindow window_;
    // Where the layer info blocks lie in the byte array, by key.
    std::vector<std::pair<uint32_t, BARange>> layerInfoBlocks_;
};

// The blending options a record and its blocks give.
std::shared_ptr<const OMPSDBlendingOptions> OMPSDBlendingOptionsForRecord(
    const OMPSDLayerRecord& record);
