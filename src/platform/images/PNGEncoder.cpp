#include "platform/images/PNGEncoder.h"

#include "platform/images/ImageEncoder.h"
#include "platform/images/PNGRowFilter.h"
#include "platform/images/ParallelDeflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace lf {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kBytesPerPixel = 4;
// Bands of about this many bytes of image data: enough bands for every
// worker and small enough to balance, large enough that the 32 KiB each one
// filters again for its dictionary costs little.
constexpr size_t kBandBytes = 512 * 1024;
// Rows of at most 64 MiB keep every band within zlib's 32-bit counts.
constexpr uint64_t kMaximumWidth = uint64_t{1} << 24;
constexpr uint64_t kMaximumHeight = 0x7FFFFFFF;

void appendBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// A chunk whose data is the concatenation of `parts`.
void appendChunk(std::vector<uint8_t>& out, std::string_view type,
                 std::initializer_list<std::pair<const uint8_t*, size_t>> parts) {
    size_t length = 0;
    for (const auto& part : parts)
        length += part.second;
    appendBigEndian(out, static_cast<uint32_t>(length));
    const size_t typeStart = out.size();
    out.insert(out.end(), type.begin(), type.end());
    for (const auto& [bytes, size] : parts)
        out.insert(out.end(), bytes, bytes + size);
    uLong crc = crc32(0, out.data() + typeStart, static_cast<uInt>(out.size() - typeStart));
    appendBigEndian(out, static_cast<uint32_t>(crc));
}

void appendHeader(std::vector<uint8_t>& out, const RGBABuffer& pixels) {
    std::vector<uint8_t> header;
    appendBigEndian(header, static_cast<uint32_t>(pixels.width));
    appendBigEndian(header, static_cast<uint32_t>(pixels.height));
    // Bit depth 8, colour type 6 (RGBA), deflate, adaptive filtering, no interlace.
    header.insert(header.end(), {8, 6, 0, 0, 0});
    appendChunk(out, "IHDR", {{header.data(), header.size()}});
}

bool appendProfile(std::vector<uint8_t>& out, const Data& profile) {
    if (profile.empty()) return true;
    uLongf compressedLength = compressBound(static_cast<uLong>(profile.size()));
    std::vector<uint8_t> compressed(compressedLength);
    if (compress2(compressed.data(), &compressedLength, profile.bytes(),
                  static_cast<uLong>(profile.size()), Z_BEST_COMPRESSION) != Z_OK)
        return false;
    // The profile's name (Latin-1, 1 to 79 bytes), its terminator, and
    // compression method 0 (deflate).
    static constexpr uint8_t kNameAndMethod[] = {'I', 'C', 'C', ' ', 'P', 'r', 'o',
                                                 'f', 'i', 'l', 'e', 0,   0};
    appendChunk(out, "iCCP",
                {{kNameAndMethod, sizeof kNameAndMethod}, {compressed.data(), compressedLength}});
    return true;
}

// Produces the filtered rows of bands of `rowsPerBand` rows, straight colour
// converted row by row on the way.
class BandFilter {
public:
    BandFilter(const RGBABuffer& pixels, uint64_t rowsPerBand)
        : pixels_(pixels), rowsPerBand_(rowsPerBand), rowBytes_(pixels.width * kBytesPerPixel) {}

    void produce(size_t index, std::vector<uint8_t>& out, size_t& dictionaryLength) const {
        const uint64_t first = index * rowsPerBand_;
        const uint64_t end = std::min(pixels_.height, first + rowsPerBand_);
        const uint64_t filteredRow = rowBytes_ + 1;
        // Rows before the band that fill the deflate window.
        const uint64_t dictionaryRows =
            std::min<uint64_t>(first, (kDeflateWindow + filteredRow - 1) / filteredRow);
        const uint64_t start = first - dictionaryRows;
        out.resize((end - start) * filteredRow);

        PNGRowFilter filter(rowBytes_);
        std::vector<uint8_t> straight[2];
        const uint8_t* previous =
            start > 0 ? straightRow(start - 1, straight[(start - 1) & 1]) : nullptr;
        for (uint64_t y = start; y < end; ++y) {
            // Rows alternate between the two scratch rows, so the row above
            // stays readable.
            const uint8_t* row = straightRow(y, straight[y & 1]);
            filter.filter(row, previous, out.data() + (y - start) * filteredRow);
            previous = row;
        }
        dictionaryLength = std::min<uint64_t>(dictionaryRows * filteredRow, kDeflateWindow);
        // The dictionary is the window's worth just before the band.
        const size_t skip = dictionaryRows * filteredRow - dictionaryLength;
        if (skip > 0) out.erase(out.begin(), out.begin() + static_cast<ptrdiff_t>(skip));
    }

private:
    // Row `y` with straight colour: the source row itself when it is
    // straight already, else converted into `scratch`.
    const uint8_t* straightRow(uint64_t y, std::vector<uint8_t>& scratch) const {
        if (pixels_.alpha == RGBAAlpha::Last) return pixels_.row(y);
        scratch.resize(rowBytes_);
        unpremultiplyRGBA(pixels_.row(y), scratch.data(), pixels_.width);
        return scratch.data();
    }

    const RGBABuffer& pixels_;
    const uint64_t rowsPerBand_;
    const uint64_t rowBytes_;
};

}  // namespace

Result<Data> encodePNG(const RGBABuffer& pixels, const Data& iccProfile) {
    if (!pixels.isValid() || pixels.width > kMaximumWidth || pixels.height > kMaximumHeight)
        return imageEncoderError(kImageEncoderInvalidPixels, "PNG: no pixels, or too many");

    const uint64_t rowBytes = pixels.width * kBytesPerPixel + 1;
    const uint64_t rowsPerBand = std::max<uint64_t>(1, kBandBytes / rowBytes);
    const size_t bandCount = static_cast<size_t>((pixels.height + rowsPerBand - 1) / rowsPerBand);
    const BandFilter filter(pixels, rowsPerBand);
    auto stream =
        deflateInBands(bandCount, Z_DEFAULT_COMPRESSION, Z_FILTERED,
                       [&](size_t index, std::vector<uint8_t>& bytes, size_t& dictionaryLength) {
                           filter.produce(index, bytes, dictionaryLength);
                       });
    if (!stream) return imageEncoderError(kImageEncoderFailed, "PNG: " + describe(stream.error()));

    std::vector<uint8_t> out;
    out.reserve(stream->size() + iccProfile.size() + 1024);
    out.insert(out.end(), std::begin(kSignature), std::end(kSignature));
    appendHeader(out, pixels);
    if (!appendProfile(out, iccProfile))
        return imageEncoderError(kImageEncoderFailed, "PNG: the ICC profile cannot be compressed");
    // One IDAT chunk per band; the zlib header opens the first and the
    // checksum closes the last.
    static const std::vector<uint8_t> none;
    const auto& pieces = stream->pieces;
    for (size_t i = 1; i + 1 < pieces.size(); ++i) {
        const auto& before = i == 1 ? pieces.front() : none;
        const auto& after = i + 2 == pieces.size() ? pieces.back() : none;
        appendChunk(out, "IDAT",
                    {{before.data(), before.size()},
                     {pieces[i].data(), pieces[i].size()},
                     {after.data(), after.size()}});
    }
    appendChunk(out, "IEND", {});
    return Data(std::move(out));
}

}  // namespace lf
