#pragma once
// The image encoder: premultiplied 8-bit RGBA in, the bytes of a PNG, JPEG
// or TIFF file out, the type chosen by the lower-cased extension of the
// output's path, so that "Icon.PNG" and "icon.png" are both PNG files. Every
// format embeds the ICC profile it is given.
//
// - PNG: straight RGBA (colour divided by alpha), deflated in bands on the
//   global queue's workers.
// - JPEG: RGB without alpha, taken from the premultiplied colour, which is
//   the image over black: a JPEG has no transparency, so transparent areas
//   come out black and half-transparent edges dark. A designer who wants
//   another background puts a layer under the artwork, and a flow's JPEGs
//   keep looking as they always have. Quality from the lossy compression
//   quality, 0 to 1 (1 is libjpeg's quality 100); no chroma subsampling
//   from 0.9 up.
// - TIFF: uncompressed RGBA with associated (premultiplied) alpha.
//
// Encoding keeps no state: any number of threads may encode at once.

#include "platform/core/Result.h"
#include "platform/files/Data.h"
#include "platform/images/RGBABuffer.h"

#include <optional>
#include <string_view>

namespace lf {

class UserDefaults;

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

// The user default that holds the JPEG quality the user chose.
inline constexpr const char* kCompressionQualityDefaultsKey = "QFCompressionQuality";

// The quality stored under kCompressionQualityDefaultsKey, clamped to 0 to
// 1; 1 when none is stored or it is not a number.
double lossyCompressionQualityFromDefaults(const UserDefaults& defaults);

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
