#pragma once
// PNG decoding for icon payloads: any PNG that libpng reads, as 8-bit RGBA
// with straight alpha, rows of width * 4 bytes.

#include "platform/core/Result.h"
#include "platform/files/Data.h"

#include <cstdint>
#include <vector>

namespace lf {

struct DecodedImage {
    uint64_t width = 0;
    uint64_t height = 0;
    std::vector<uint8_t> pixels;  // straight RGBA
};

// An error of the encoder's domain (kImageEncoderFailed) for data that is
// not a readable PNG, or one of more than 64 megapixels, which no icon is.
Result<DecodedImage> decodePNG(const Data& data);

}  // namespace lf
