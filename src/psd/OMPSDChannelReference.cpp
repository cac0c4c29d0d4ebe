#include "psd/OMPSDChannelReference.h"

#include "bytearray/BABTreeByteArray.h"
#include "platform/core/Log.h"
#include "psd/OMPSDDecompression.h"
#include "psd/OMPSDError.h"
#include "psd/OMPSDSource.h"

#include <fmt/format.h>

#include <cerrno>
#include <memory>
#include <new>

OMPSDChannelReference::OMPSDChannelReference(int16_t identifier, OMPSDRect rect, uint64_t depth,
                                             Source source,
                                             std::shared_ptr<const std::string> owner,
                                             std::weak_ptr<const OMPSDDocument> document)
    : identifier_(identifier),
      rect_(rect),
      depth_(depth),
      source_(std::move(source)),
      owner_(std::move(owner)),
      document_(std::move(document)) {}

std::string OMPSDChannelReference::debugIdentifier() const {
    return (owner_ ? *owner_ : std::string("plane")) + " channel " + std::to_string(identifier_);
}

bool OMPSDChannelReference::planeSize(uint64_t* rowBytes, uint64_t* totalBytes) const {
    uint64_t bits = 0;
    if (__builtin_mul_overflow(rect_.width(), depth_, &bits)) return false;
    *rowBytes = bits / 8 + (bits % 8 != 0);
    return !__builtin_mul_overflow(*rowBytes, rect_.height(), totalBytes);
}

std::optional<uint64_t> OMPSDChannelReference::largestDecompressedLength() const {
    const uint64_t compressed = source_.range.length;
    switch (source_.compression) {
        case OMPSDCompression::raw:
            return compressed;
        case OMPSDCompression::rle:
            return OMPSDMaximumPackBitsOutput(compressed);
        case OMPSDCompression::zip:
        case OMPSDCompression::zipPrediction:
            return OMPSDMaximumInflateOutput(compressed);
    }
    return std::nullopt;
}

bool OMPSDChannelReference::compressedBytesCanHoldPlane() const {
    uint64_t rowBytes = 0, total = 0;
    if (!planeSize(&rowBytes, &total)) return false;
    std::optional<uint64_t> limit = largestDecompressedLength();
    return limit && total <= *limit;
}

BARange OMPSDChannelReference::rowCountsRange() const {
    if (source_.compression != OMPSDCompression::rle) return {};
    if (source_.hasSeparateRowCounts) return source_.rowCounts;
    uint64_t length = std::min(rect_.height() * (source_.isPSB ? 4 : 2), source_.range.length);
    return {source_.range.location, length};
}

BARange OMPSDChannelReference::compressedRange() const {
    if (source_.compression != OMPSDCompression::rle || source_.hasSeparateRowCounts)
        return source_.range;
    uint64_t counts = rowCountsRange().length;
    return {source_.range.location + counts, source_.range.length - counts};
}

std::shared_ptr<const BAByteArray> OMPSDChannelReference::byteArray() const {
    auto result = decompressedByteArray();
    if (result) return *result;
    return std::make_shared<BABTreeByteArray>();
}

lf::Result<std::shared_ptr<const BAByteArray>> OMPSDChannelReference::decompressedByteArray()
    const {
    std::lock_guard guard(lock_);
    if (samples_) return samples_;
    if (error_) return *error_;
    auto result = decompress();
    if (result) {
        samples_ = *result;
        return samples_;
    }
    // The decoders' own messages do not name the plane.
    error_ = std::make_shared<const lf::Error>(OMPSDErrorAt(debugIdentifier(), result.error()));
    lf::log("*** Cannot read {}", error_->localizedDescription());
    return *error_;
}

lf::Result<std::shared_ptr<const BAByteArray>> OMPSDChannelReference::decompress() const {
    uint64_t rowBytes = 0, total = 0;
    if (!planeSize(&rowBytes, &total))
        return OMPSDMakeError(OMPSDErrorCorruptData,
                              fmt::format("a plane of {} x {} samples of {} bits overflows",
                                          rect_.width(), rect_.height(), depth_));
    if (depth_ != 1 && depth_ != 8 && depth_ != 16 && depth_ != 32)
        return OMPSDMakeError(OMPSDErrorCorruptData,
                              fmt::format("depth {}, expected 1, 8, 16 or 32", depth_));
    const BAByteArray& bytes = *source_.byteArray;
    uint64_t compressed = source_.range.length;
    if (total == 0) return std::shared_ptr<const BAByteArray>(std::make_shared<BABTreeByteArray>());

    // Refuse before allocating: the compressed bytes must be able to hold
    // the plane at the method's largest ratio.
    std::optional<uint64_t> limit = largestDecompressedLength();
    if (!limit)
        return OMPSDMakeError(
            OMPSDErrorUnsupportedCompression,
            fmt::format("compression {}, expected 0 (raw), 1 (RLE), 2 (zip) or 3 (zip with "
                        "prediction)",
                        int(source_.compression)));
    if (total > *limit)
        return OMPSDMakeError(
            OMPSDErrorTruncated,
            fmt::format("{} bytes of data hold at most {} bytes, the plane takes {}", compressed,
                        *limit, total));

    if (source_.compression == OMPSDCompression::raw) {
        // Raw samples are the plane itself: share them.
        auto plane = bytes.subarray({source_.range.location, total});
        if (!plane)
            return OMPSDMakeError(
                OMPSDErrorReadFailed,
                fmt::format("{} bytes at byte {} cannot be read", total, source_.range.location),
                std::make_shared<const lf::Error>(plane.error()));
        return std::shared_ptr<const BAByteArray>(*plane);
    }
    OMPSD_TRY_ASSIGN(lf::Data input, OMPSDReadBytes(bytes, source_.range));
    // Not cleared first: the decoders write every byte or fail.
    std::unique_ptr<uint8_t[]> plane(new (std::nothrow) uint8_t[total]);
    if (!plane) return lf::Error::posix(ENOMEM, fmt::format("a plane of {} bytes", total));
    std::span<uint8_t> out(plane.get(), total);
    switch (source_.compression) {
        case OMPSDCompression::raw:
            break;  // shared above
        case OMPSDCompression::rle: {
            uint64_t rows = rect_.height();
            uint64_t countSize = source_.isPSB ? 4 : 2;
            auto rowCountsMissing = [&](uint64_t needed, uint64_t present) {
                return OMPSDMakeError(OMPSDErrorTruncated,
                                      fmt::format("{} row byte counts take {} bytes, {} present",
                                                  rows, needed, present));
            };
            lf::Data counts;
            std::span<const uint8_t> data = input.span();
            if (source_.hasSeparateRowCounts) {
                OMPSD_TRY_ASSIGN(counts, OMPSDReadBytes(bytes, source_.rowCounts));
            } else {
                if (rows * countSize > data.size())
                    return rowCountsMissing(rows * countSize, data.size());
                counts = input.subdata(0, rows * countSize);
                data = data.subspan(rows * countSize);
            }
            if (counts.size() < rows * countSize)
                return rowCountsMissing(rows * countSize, counts.size());
            const uint8_t* c = counts.bytes();
            uint64_t offset = 0;
            for (uint64_t row = 0; row < rows; ++row, c += countSize) {
                uint64_t length = countSize == 2 ? (uint64_t(c[0]) << 8 | c[1])
                                                 : (uint64_t(c[0]) << 24 | uint64_t(c[1]) << 16 |
                                                    uint64_t(c[2]) << 8 | c[3]);
                if (length > data.size() - offset)
                    return OMPSDMakeError(OMPSDErrorCompressedDataCorrupt,
                                          fmt::format("RLE row {} of {} bytes, {} left in the data",
                                                      row, length, data.size() - offset));
                // Rows decode in order, so a row may spill into the next ones.
                auto unpacked = OMPSDUnpackBits(
                    data.subspan(offset, length), out.subspan(row * rowBytes, rowBytes),
                    data.size() - offset - length, total - (row + 1) * rowBytes);
                if (!unpacked)
                    return OMPSDErrorAt(fmt::format("RLE row {}", row), unpacked.error());
                offset += length;
            }
            break;
        }
        case OMPSDCompression::zip:
            LF_TRY(OMPSDInflate(input.span(), out));
            break;
        case OMPSDCompression::zipPrediction:
            LF_TRY(OMPSDInflateAndUndoPrediction(input.span(), out, rect_.width(), rect_.height(),
                                                 uint32_t(depth_)));
            break;
    }
    auto array = std::make_shared<BABTreeByteArray>(lf::Data::adopt(std::move(plane), total));
    return std::shared_ptr<const BAByteArray>(std::move(array));
}
