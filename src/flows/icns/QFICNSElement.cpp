#include "flows/icns/QFICNSElement.h"

#include "flows/icns/ICNSPackBits.h"
#include "kernels/ImageOps.h"
#include "platform/images/ColorProfile.h"
#include "platform/images/ImageEncoder.h"
#include "platform/images/PNGDecoder.h"
#include "platform/images/RGBABuffer.h"

#include <fmt/format.h>

#include <array>

namespace {

using Kind = QFICNSFormat::Kind;
using Encoding = QFICNSFormat::Encoding;

// The "it32" payload begins with four zero bytes before its planes.
constexpr size_t kLargeRGBPrefix = 4;
constexpr double kLargeRGBSize = 128;

size_t rgbPrefixLength(const QFICNSFormat& format) {
    return format.size.width == kLargeRGBSize ? kLargeRGBPrefix : 0;
}

uint64_t pixelCount(VKSize size) {
    return static_cast<uint64_t>(size.width) * static_cast<uint64_t>(size.height);
}

// The R, G, B and A planes of interleaved RGBA pixels.
std::array<std::vector<uint8_t>, 4> planesOfPixels(const lf::Data& pixels, uint64_t count) {
    std::array<std::vector<uint8_t>, 4> planes;
    for (auto& plane : planes)
        plane.resize(count);
    const uint8_t* in = pixels.bytes();
    for (uint64_t i = 0; i < count; ++i)
        for (int k = 0; k < 4; ++k)
            planes[k][i] = in[i * 4 + k];
    return planes;
}

lf::Data encodedPlanes(const QFICNSFormat& format, const QFICNSFormat::Payload& payload,
                       const std::array<std::vector<uint8_t>, 4>& planes) {
    std::vector<const std::vector<uint8_t>*> chosen;
    if (payload.kind == Kind::mask)
        chosen = {&planes[3]};
    else
        chosen = {&planes[0], &planes[1], &planes[2]};
    std::vector<uint8_t> bytes;
    if (payload.encoding == Encoding::runLength) {
        bytes.assign(rgbPrefixLength(format), 0);
        for (const auto* plane : chosen) {
            lf::Data packed = ICNSPackBits::ICNSRLE24_encode(*plane);
            bytes.insert(bytes.end(), packed.bytes(), packed.bytes() + packed.size());
        }
    } else {
        for (const auto* plane : chosen)
            bytes.insert(bytes.end(), plane->begin(), plane->end());
    }
    return lf::Data(std::move(bytes));
}

// A payload's plane bytes: unpacked when run-length encoded (limited to
// `length`), else as they are.
std::optional<lf::Data> planeBytes(const QFICNSFormat& format, const QFICNSFormat::Payload& payload,
                                   const lf::Data& data, uint64_t length) {
    if (payload.encoding != Encoding::runLength) return data;
    size_t prefix = payload.kind == Kind::rgb ? rgbPrefixLength(format) : 0;
    if (data.size() < prefix) return std::nullopt;
    return ICNSPackBits::ICNSRLE24_decodeWithMaximumLength(data.span().subspan(prefix), length);
}

// A PNG payload as straight RGBA of `size`, scaled to it where its own
// size differs.
std::optional<lf::Data> decodedPNG(const lf::Data& payload, VKSize size) {
    auto decoded = lf::decodePNG(payload);
    if (!decoded) return std::nullopt;
    auto width = static_cast<uint32_t>(size.width), height = static_cast<uint32_t>(size.height);
    if (decoded->width == width && decoded->height == height)
        return lf::Data(std::move(decoded->pixels));
    // Scaled as premultiplied colour, so that transparent pixels lend
    // their neighbours no colour.
    std::vector<uint8_t>& source = decoded->pixels;
    lf::premultiplyRGBA(source.data(), source.data(), source.size() / 4);
    std::vector<uint8_t> scaled(pixelCount(size) * 4);
    lf::ImageBuffer in{source.data(), static_cast<uint32_t>(decoded->height),
                       static_cast<uint32_t>(decoded->width), decoded->width * 4};
    lf::ImageBuffer out{scaled.data(), height, width, size_t{width} * 4};
    if (lf::scaleRGBA8888(in, out) != lf::kImageOpNoError) return std::nullopt;
    lf::unpremultiplyRGBA(scaled.data(), scaled.data(), scaled.size() / 4);
    return lf::Data(std::move(scaled));
}

}  // namespace

const std::vector<QFICNSFormat>& QFICNSFormat::table() {
    static const std::vector<QFICNSFormat> formats = {
        {{16, 16},
         2,
         {{QFICNSTypeCode("s8mk"), Kind::mask, Encoding::raw},
          {QFICNSTypeCode("is32"), Kind::rgb, Encoding::runLength}}},
        {{32, 32},
         2,
         {{QFICNSTypeCode("l8mk"), Kind::mask, Encoding::raw},
          {QFICNSTypeCode("il32"), Kind::rgb, Encoding::runLength}}},
        {{128, 128},
         2,
         {{QFICNSTypeCode("t8mk"), Kind::mask, Encoding::raw},
          {QFICNSTypeCode("it32"), Kind::rgb, Encoding::runLength}}},
        {{256, 256}, 1, {{QFICNSTypeCode("ic08"), Kind::image, Encoding::png}, {}}},
        {{512, 512}, 1, {{QFICNSTypeCode("ic09"), Kind::image, Encoding::png}, {}}},
        {{1024, 1024}, 1, {{QFICNSTypeCode("ic10"), Kind::image, Encoding::png}, {}}},
    };
    return formats;
}

const QFICNSFormat* QFICNSFormat::formatForSize(VKSize size) {
    for (const auto& format : table())
        if (format.size == size) return &format;
    return nullptr;
}

std::vector<VKSize> QFICNSElement::supportedSizes() {
    std::vector<VKSize> sizes;
    for (const auto& format : QFICNSFormat::table())
        sizes.push_back(format.size);
    return sizes;
}

bool QFICNSElement::hasPayloads() const {
    return QFICNSFormat::formatForSize(size_) && pixelData_.size() == pixelCount(size_) * 4;
}

std::optional<QFICNSPayloads> QFICNSElement::keyedPayloads() const {
    if (!hasPayloads()) return std::nullopt;
    const QFICNSFormat& format = *QFICNSFormat::formatForSize(size_);
    QFICNSPayloads payloads;
    if (format.payloadCount == 2) {
        auto planes = planesOfPixels(pixelData_, pixelCount(size_));
        for (int i = 0; i < 2; ++i)
            payloads[format.payloads[i].type] = encodedPlanes(format, format.payloads[i], planes);
        return payloads;
    }
    // The colour space the PNG declares: the element's profile where it
    // describes RGB, else none (device RGB).
    lf::ImageEncodingProperties properties;
    auto profile = lf::ColorProfile::createWithICCData(iccProfileData_);
    if (profile && profile->isUsableForRGB()) properties.iccProfile = iccProfileData_;
    auto side = static_cast<uint64_t>(size_.width);
    lf::RGBABuffer pixels{pixelData_.bytes(), static_cast<uint64_t>(size_.height), side, side * 4,
                          lf::RGBAAlpha::Last};
    auto png = lf::encodeImage(pixels, lf::ImageType::PNG, properties);
    if (!png) return std::nullopt;
    payloads[format.payloads[0].type] = std::move(*png);
    return payloads;
}

std::shared_ptr<QFICNSElement> QFICNSElement::create(const QFICNSFormat& format,
                                                     const std::vector<lf::Data>& payloads) {
    if (payloads.size() != static_cast<size_t>(format.payloadCount)) return nullptr;
    auto element = std::make_shared<QFICNSElement>();
    element->setSize(format.size);
    uint64_t pixels = pixelCount(format.size);

    if (format.payloadCount == 1) {
        const auto& payload = format.payloads[0];
        if (payload.kind != Kind::image) return nullptr;
        if (payload.encoding != Encoding::png) {
            element->setPixelData(payloads[0]);
            return element;
        }
        auto decoded = decodedPNG(payloads[0], format.size);
        if (!decoded) return nullptr;
        element->setPixelData(std::move(*decoded));
        return element;
    }

    std::optional<lf::Data> mask, rgb;
    for (int i = 0; i < 2; ++i) {
        const auto& payload = format.payloads[i];
        uint64_t length = payload.kind == Kind::rgb ? pixels * 3 : pixels;
        (payload.kind == Kind::rgb ? rgb : mask) = planeBytes(format, payload, payloads[i], length);
    }
    if (!mask || !rgb || mask->size() != pixels || rgb->size() != pixels * 3) return nullptr;
    std::vector<uint8_t> interleaved(pixels * 4);
    const uint8_t* colour = rgb->bytes();
    for (uint64_t i = 0; i < pixels; ++i) {
        for (int k = 0; k < 3; ++k)
            interleaved[i * 4 + k] = colour[k * pixels + i];
        interleaved[i * 4 + 3] = mask->bytes()[i];
    }
    element->setPixelData(lf::Data(std::move(interleaved)));
    return element;
}

std::string QFICNSElement::description() const {
    return fmt::format("<QFICNSElement: {}, size = {:g} x {:g}>", static_cast<const void*>(this),
                       size_.width, size_.height);
}
