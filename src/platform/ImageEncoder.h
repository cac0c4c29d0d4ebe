#pragma once
// The image encoder: premultiplied 8-bit RGBA in, the bytes of a PNG, JPEG
// or TIFF file out, the type chosen by the lower-cased extension of the
// output's path as the platform's image destinations choose it. Every
// format embeds the ICC profile it is given.
//
// - PNG: straight RGBA (colour divided by alpha), deflated in bands on the
//   global queue's workers.
// - JPEG: RGB without alpha, taken from the premultiplied colour as the
//   platform does, so transparent areas come out black. Quality from the
//   lossy compression quality, 0 to 1 (1 is libjpeg's quality 100); no
//   chroma subsampling from 0.9 up.
// - TIFF: uncompressed RGBA with associated (premultiplied) alpha.
//
// Encoding keeps no state: any number of threads may encode at once.

#include "platform/Data.h"
#include "platform/RGBABuffer.h"
#include "platform/Result.h"

#include <optional>
#include <string_view>

namespace lf {

enum class ImageType { PNG, JPEG, TIFF };

inline constexpr const char* kImageEncoderErrorDomain = "LFImageEncoderErrorDomain";
enum ImageEncoderErrorCode : int {
    kImageEncoderUnsupportedType = 1,  // no encoder for the path's extension
    kImageEncoderInvalidPixels = 2,    // an empty buffer, or one too large for the format
    kImageEncoderFailed = 3,           // the format library failed; the description says how
};

struct ImageEncodingProperties {
    // 0 (smallest) to 1 (best); values outside are clamped and anything
    // that is not a number counts as 1. Read by JPEG only.
    double lossyCompressionQuality = 1.0;
    // Embedded as it stands when not empty.
    Data iccProfile;
};

// The type for the lower-cased extension of `path` ("png"; "jpg", "jpeg";
// "tif", "tiff"), or none.
std::optional<ImageType> imageTypeForPath(std::string_view path);

Result<Data> encodeImage(const RGBABuffer& pixels, ImageType type,
                         const ImageEncodingProperties& properties = {});

// encodeImage with the type of `path`; an error of kImageEncoderUnsupportedType
// when the extension has no encoder, so that no empty file is ever written
// in its place.
Result<Data> encodeImageForPath(const RGBABuffer& pixels, std::string_view path,
                                const ImageEncodingProperties& properties = {});

// The error of the encoder's domain, with `what` as its description.
Error imageEncoderError(ImageEncoderErrorCode code, const std::string& what);

}  // namespace lf
