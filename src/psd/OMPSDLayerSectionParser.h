#pragma once
// Reads the layer and mask information section into a document: layer
// records and their channels, the group tree, the global layer mask and the
// section's tagged blocks. Used by OMPSDDocument while it opens.
#include "platform/Data.h"
#include "platform/Result.h"
#include "psd/OMPSDLayer.h"

#include <cstdint>
#include <vector>

class OMPSDBinaryReader;
class OMPSDDocument;

// Tagged blocks ("8BIM" or "8B64", key, length, data) until the reader
// ends. `backing` holds the bytes the reader looks at, starting
// `backingOffset` bytes before the reader's first byte, so the blocks can
// share them. Stops at the first damaged block; sets `damaged` then.
std::vector<OMPSDAttributesAtom> OMPSDReadTaggedBlocks(OMPSDBinaryReader& reader,
                                                       const lf::Data& backing,
                                                       size_t backingOffset, bool isPSB,
                                                       bool* damaged = nullptr);

class OMPSDLayerSectionParser {
public:
    // `section` is the section's bytes (after its length), which start at
    // `sectionOffset` in the document's byte array.
    OMPSDLayerSectionParser(OMPSDDocument& document, lf::Data section, uint64_t sectionOffset)
        : document_(document), section_(std::move(section)), sectionOffset_(sectionOffset) {}

    lf::Status parse();

private:
    struct ChannelInfo {
        int16_t identifier;
        uint64_t length;
    };
    struct PendingLayer {
        OMPSDLayerRecord record;
        std::vector<ChannelInfo> channels;
    };

    // A layer info structure (the section's own, or an "Lr16"/"Lr32"
    // block's) at `offset` bytes into the section, `length` long.
    lf::Status parseLayerInfo(size_t offset, uint64_t length);
    lf::Status parseRecord(OMPSDBinaryReader& reader, PendingLayer& layer);
    void parseMaskData(OMPSDBinaryReader& reader, OMPSDLayerRecord& record);
    void buildTree(std::vector<std::shared_ptr<OMPSDLayer>> records);

    OMPSDDocument& document_;
    lf::Data section_;
    uint64_t sectionOffset_;
    size_t infoOffset_ = 0;  // where the layer info being read starts in the section
};

// The blending options a record and its blocks give.
std::shared_ptr<const OMPSDBlendingOptions> OMPSDBlendingOptionsForRecord(
    const OMPSDLayerRecord& record);
