#include "platform/images/ImageEncoder.h"

#include "platform/images/JPEGEncoder.h"
#include "platform/images/PNGEncoder.h"
#include "platform/images/TIFFEncoder.h"
#include "platform/settings/UserDefaults.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace lf {
namespace {

std::string lowerCasedExtension(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    // A name that only starts with a dot (".png") has no extension.
    if (dot == std::string_view::npos || dot == 0) return {};
    std::string extension(name.substr(dot + 1));
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return extension;
}

double sanitisedQuality(double quality) {
    if (std::isnan(quality)) return 1.0;
    return std::clamp(quality, 0.0, 1.0);
}

}  // namespace

Error imageEncoderError(ImageEncoderErrorCode code, const std::string& what) {
    return Error(kImageEncoderErrorDomain, code, {{kLocalizedDescriptionKey, what}});
}

double lossyCompressionQualityFromDefaults(const UserDefaults& defaults) {
    return sanitisedQuality(defaults.numberForKey(kCompressionQualityDefaultsKey).value_or(1.0));
}

std::optional<ImageType> imageTypeForPath(std::string_view path) {
    const std::string extension = lowerCasedExtension(path);
    if (extension == "png") return ImageType::PNG;
    if (extension == "jpg" || extension == "jpeg") return ImageType::JPEG;
    if (extension == "tif" || extension == "tiff") return ImageType::TIFF;
    return std::nullopt;
}

Result<Data> encodeImage(const RGBABuffer& pixels, ImageType type,
                         const ImageEncodingProperties& properties) {
    switch (type) {
        case ImageType::PNG:
            return encodePNG(pixels, properties.iccProfile);
        case ImageType::JPEG:
            return encodeJPEG(pixels, sanitisedQuality(properties.lossyCompressionQuality),
                              properties.iccProfile);
        case ImageType::TIFF:
            return encodeTIFF(pixels, properties.iccProfile);
    }
    return imageEncoderError(kImageEncoderUnsupportedType, "unknown image type");
}

Result<Data> encodeImageForPath(const RGBABuffer& pixels, std::string_view path,
                                const ImageEncodingProperties& properties) {
    auto type = imageTypeForPath(path);
    if (!type)
        return imageEncoderError(kImageEncoderUnsupportedType,
                                 "no image encoder for " + std::string(path));
    return encodeImage(pixels, *type, properties);
}

}  // namespace lf
