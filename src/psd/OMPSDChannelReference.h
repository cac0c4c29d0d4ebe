#pragma once
// OMPSDChannelReference: one plane of pixels of a document (a layer's
// colour, transparency or mask channel, a plane of the merged image, a
// pattern tile or a smart-object snapshot).
//
// The samples stay compressed in the document until first read. byteArray()
// decompresses them at most once, under the plane's own lock (so that the
// planes of one layer can decompress on several threads at once), and
// hands every caller the same immutable result; any number of threads may
// call it at once.
//
// Samples are rows top to bottom, each exactly rect().width() samples,
// without gaps; 16- and 32-bit samples are big-endian (32-bit ones IEEE
// floats); 1-bit rows are packed to whole bytes.
#include "bytearray/BAByteArray.h"
#include "platform/core/Result.h"
#include "psd/OMPSDRect.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class OMPSDDocument;

enum class OMPSDCompression : uint16_t { raw = 0, rle = 1, zip = 2, zipPrediction = 3 };

class OMPSDChannelReference {
public:
    // Where the compressed samples are.
    struct Source {
        std::shared_ptr<const BAByteArray> byteArray;  // the document's bytes
        BARange range;                                 // compressed samples
        OMPSDCompression compression = OMPSDCompression::raw;
        // RLE row byte counts, one per row (2 bytes each, 4 in PSB files).
        // Layer channels keep them at the start of `range`; the merged
        // image keeps them apart, in `rowCounts`.
        BARange rowCounts;
        bool hasSeparateRowCounts = false;
        bool isPSB = false;
    };

    OMPSDChannelReference(int16_t identifier, OMPSDRect rect, uint64_t depth, Source source,
                          std::shared_ptr<const std::string> owner,
                          std::weak_ptr<const OMPSDDocument> document = {});

    // 0, 1, 2... colour; -1 transparency; -2 user mask; -3 real user mask.
    int16_t identifier() const { return identifier_; }
    const OMPSDRect& rect() const { return rect_; }
    // Bits per sample: 1, 8, 16 or 32.
    uint64_t depth() const { return depth_; }
    OMPSDCompression compression() const { return source_.compression; }
    uint64_t compressedLength() const { return source_.range.length; }
    // Where the compressed samples lie in the source's byte array (row
    // counts of RLE planes left out), and the RLE row counts (empty for
    // other methods). For tools and benchmarks that read them directly.
    BARange compressedRange() const;
    BARange rowCountsRange() const;
    // Names the plane in log lines ("layer 3 'Shape 1' channel -1"): the
    // owner's name (shared by its planes) and the channel.
    std::string debugIdentifier() const;
    std::shared_ptr<const OMPSDDocument> document() const { return document_.lock(); }

    // The decompressed samples. A plane that cannot be decompressed yields
    // an empty byte array (and one console line naming it): readers that
    // check the length against the plane's size then draw nothing.
    std::shared_ptr<const BAByteArray> byteArray() const;
    // The same, or the error that prevented it.
    lf::Result<std::shared_ptr<const BAByteArray>> decompressedByteArray() const;

    // Bytes of one row and of the whole plane; false when they overflow.
    bool planeSize(uint64_t* rowBytes, uint64_t* totalBytes) const;
    // Whether the compressed bytes could hold the whole plane at their
    // method's largest ratio: false for a damaged rectangle that claims
    // more samples than the document stores, before anything is allocated
    // for them.
    bool compressedBytesCanHoldPlane() const;

private:
    lf::Result<std::shared_ptr<const BAByteArray>> decompress() const;
    // The most bytes the compressed samples can decode to; none for an
    // unknown method.
    std::optional<uint64_t> largestDecompressedLength() const;

    int16_t identifier_;
    OMPSDRect rect_;
    uint64_t depth_;
    Source source_;
    std::shared_ptr<const std::string> owner_;
    std::weak_ptr<const OMPSDDocument> document_;
    // Set once under lock_.
    mutable std::mutex lock_;
    mutable std::shared_ptr<const BAByteArray> samples_;
    mutable std::shared_ptr<const lf::Error> error_;
};
