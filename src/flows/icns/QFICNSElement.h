#pragma once
// QFICNSElement: one image of an ICNS icon file, square, of one of the
// sizes the format table below holds, and how its pixels become the
// payloads of the file's records:
//
//   size   payload 1                    payload 2
//   16     "s8mk" mask, raw             "is32" RGB, run-length
//   32     "l8mk" mask, raw             "il32" RGB, run-length
//   128    "t8mk" mask, raw             "it32" RGB, run-length (after 4 zero bytes)
//   256    "ic08" image, PNG
//   512    "ic09" image, PNG
//   1024   "ic10" image, PNG
//
// A mask payload is the alpha plane; an RGB payload is the three colour
// planes one after another, each packed by itself (ICNSPackBits), so no
// packet crosses from one plane into the next. No other sizes exist.
//
// Pixels are width * height * 4 bytes R, G, B, A, alpha not premultiplied,
// rows top to bottom without gaps. Not shared between threads while it is
// being set up.

#include "geometry/VKGeometry.h"
#include "platform/files/Data.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The big-endian value of a four-character code.
constexpr uint32_t QFICNSTypeCode(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 |
           uint32_t(uint8_t(code[2])) << 8 | uint32_t(uint8_t(code[3]));
}

struct QFICNSFormat {
    enum class Kind { rgb, mask, image };
    enum class Encoding { raw, runLength, png };
    struct Payload {
        uint32_t type;
        Kind kind;
        Encoding encoding;
    };

    VKSize size;
    int payloadCount;  // 1 or 2
    Payload payloads[2];

    // The format table, in the order above.
    static const std::vector<QFICNSFormat>& table();
    // The row of exactly `size`, or null.
    static const QFICNSFormat* formatForSize(VKSize size);
};

// Payload data by type code.
using QFICNSPayloads = std::map<uint32_t, lf::Data>;

class QFICNSElement {
public:
    QFICNSElement() = default;
    // An element decoded from the payloads of `format`'s row, in the row's
    // order; null when they do not make one.
    static std::shared_ptr<QFICNSElement> create(const QFICNSFormat& format,
                                                 const std::vector<lf::Data>& payloads);

    // The six sizes of the table, in its order.
    static std::vector<VKSize> supportedSizes();

    VKSize size() const { return size_; }
    void setSize(VKSize size) { size_ = size; }
    const lf::Data& pixelData() const { return pixelData_; }
    void setPixelData(lf::Data pixelData) { pixelData_ = std::move(pixelData); }
    // The ICC profile of the pixels' colour space; empty for none.
    const lf::Data& ICCProfileData() const { return iccProfileData_; }
    void setICCProfileData(lf::Data iccProfileData) { iccProfileData_ = std::move(iccProfileData); }

    // Whether the element can be written: a size of the table and pixel
    // data of exactly that size.
    bool hasPayloads() const;
    // The payloads of the element's row, or none when it cannot be written
    // (or its PNG cannot be encoded).
    std::optional<QFICNSPayloads> keyedPayloads() const;

    std::string description() const;

private:
    VKSize size_;
    lf::Data pixelData_;
    lf::Data iccProfileData_;
};
