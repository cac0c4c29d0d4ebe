#include "platform/images/PNGDecoder.h"

#include "platform/images/ImageEncoder.h"

#include <png.h>

#include <string>

namespace lf {
namespace {

constexpr uint64_t kMaximumPixels = uint64_t{1} << 26;

struct ImageReader {
    png_image image{};
    ImageReader() { image.version = PNG_IMAGE_VERSION; }
    ~ImageReader() { png_image_free(&image); }
    ImageReader(const ImageReader&) = delete;
    ImageReader& operator=(const ImageReader&) = delete;
};

Error decodeError(const png_image& image) {
    return imageEncoderError(kImageEncoderFailed, std::string("PNG: ") + image.message);
}

}  // namespace

Result<DecodedImage> decodePNG(const Data& data) {
    ImageReader reader;
    if (!png_image_begin_read_from_memory(&reader.image, data.bytes(), data.size()))
        return decodeError(reader.image);
    // 16-bit samples without a gamma chunk are gamma-encoded like 8-bit
    // ones, as image editors write them; libpng would take them as linear
    // light and brighten every colour on the way to 8 bits. (Set after the
    // header is read, which clears the flags.)
    reader.image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
    reader.image.format = PNG_FORMAT_RGBA;
    DecodedImage decoded;
    decoded.width = reader.image.width;
    decoded.height = reader.image.height;
    if (decoded.width * decoded.height > kMaximumPixels)
        return imageEncoderError(kImageEncoderFailed, "PNG: the image is too large");
    decoded.pixels.resize(PNG_IMAGE_SIZE(reader.image));
    if (!png_image_finish_read(&reader.image, nullptr, decoded.pixels.data(), 0, nullptr))
        return decodeError(reader.image);
    return decoded;
}

}  // namespace lf
