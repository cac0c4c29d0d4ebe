#pragma once
// Helpers of the document reader's tests: shared documents as data, PNG
// decoding, and a writer that builds documents byte by byte.
#include "platform/files/Data.h"
#include "psd/OMPSDDocument.h"
#include "psd/OMPSDProperty.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lf::test {

// The bytes of a shared document (e.g. "psd/1layer.psd"); fails the test
// when missing.
lf::Data readShared(const std::string& relativePath);

struct DecodedPNG {
    uint32_t width = 0, height = 0, channels = 0;  // channels 1..4, 8 bits each
    std::vector<uint8_t> pixels;                   // interleaved rows
};
// The first layer of `document` named `name`; fails the test when none is.
std::shared_ptr<OMPSDLayer> layerNamed(const OMPSDDocument& document, const std::string& name);

// Decodes an 8-bit PNG with libpng; false when it cannot.
bool decodePNG(const std::string& path, DecodedPNG* out);

// Big-endian bytes for hand-made documents and blocks.
class ByteWriter {
public:
    ByteWriter& u8(uint8_t v) {
        bytes_.push_back(v);
        return *this;
    }
    ByteWriter& u16(uint16_t v) { return u8(uint8_t(v >> 8)).u8(uint8_t(v)); }
    ByteWriter& u32(uint32_t v) { return u16(uint16_t(v >> 16)).u16(uint16_t(v)); }
    ByteWriter& u64(uint64_t v) { return u32(uint32_t(v >> 32)).u32(uint32_t(v)); }
    ByteWriter& f32(float v);
    ByteWriter& f64(double v);
    ByteWriter& code(const char (&c)[5]) { return u32(OMPSDFourCC(c)); }
    ByteWriter& bytes(const std::vector<uint8_t>& b) {
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        return *this;
    }
    ByteWriter& text(const std::string& s) { return bytes({s.begin(), s.end()}); }
    // A descriptor identifier: 0 and a four-character code, or a long one.
    ByteWriter& identifier(const std::string& id);
    // A Unicode string: count of UTF-16 units, then the units (ASCII only).
    ByteWriter& unicode(const std::string& s);
    // A 4- or 8-byte length followed by `body`.
    ByteWriter& section(const std::vector<uint8_t>& body, bool wide = false);
    const std::vector<uint8_t>& data() const { return bytes_; }
    size_t size() const { return bytes_.size(); }
    lf::Data toData() const { return lf::Data(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

// A document built byte by byte, for the damaged and hostile cases and
// for values no shared document has. build() writes a well-formed PSD or
// PSB of these parts; tests then cut or change its bytes.
struct TestChannel {
    int16_t identifier = 0;
    uint16_t compression = 0;
    std::vector<uint8_t> payload;  // after the compression field
};

struct TestLayer {
    int32_t top = 0, left = 0, bottom = 0, right = 0;
    std::vector<TestChannel> channels;
    std::string name = "Layer";
    const char* blendKey = "norm";
    uint8_t opacity = 255, clipping = 0, flags = 0;
    std::vector<uint8_t> maskData;        // the mask data's bytes after its size
    std::vector<uint8_t> blendingRanges;  // after their length
    std::vector<std::pair<std::string, std::vector<uint8_t>>> blocks;
};

struct TestDocument {
    uint16_t version = 1;
    uint16_t channels = 3, depth = 8, colorMode = 3;
    uint32_t width = 4, height = 4;
    std::vector<uint8_t> colorModeData;
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> resources;
    std::vector<TestLayer> layers;
    bool mergedTransparency = false;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> documentBlocks;
    uint16_t mergedCompression = 0;
    std::vector<uint8_t> merged;  // raw planes; zeros of the right size when empty

    std::vector<uint8_t> build() const;
    lf::Data data() const { return lf::Data(build()); }
};

// `size` bytes of seeded noise.
std::vector<uint8_t> noise(size_t size, uint32_t seed);
// PackBits of `bytes` as literal runs of at most 128 bytes.
std::vector<uint8_t> packBitsLiteral(const std::vector<uint8_t>& bytes);
// A zlib stream of `bytes`.
std::vector<uint8_t> deflateBytes(const std::vector<uint8_t>& bytes);
// A descriptor body: empty name, class, item count, then the items.
std::vector<uint8_t> descriptor(const std::string& classId, uint32_t count,
                                const std::vector<uint8_t>& items);
// Starts a descriptor item: its key and its type code; the value follows.
ByteWriter& item(ByteWriter& out, const std::string& key, const char (&type)[5]);
// A block with a descriptor: version 16 then the descriptor `body` (class
// "null") with `items` already encoded.
std::vector<uint8_t> versionedDescriptor(uint32_t itemCount, const std::vector<uint8_t>& items);

}  // namespace lf::test
