#include "compositing/shared/QFRGBAImage.h"

#include <algorithm>
#include <cstring>

std::shared_ptr<QFRGBAImage> QFRGBAImage::create(uint64_t width, uint64_t height,
                                                 bool premultiplied,
                                                 std::shared_ptr<const BNColorProfile> profile) {
    uint64_t size = 0;
    if (width > (uint64_t{1} << 40) || __builtin_mul_overflow(width * 4, height, &size))
        return nullptr;
    std::unique_ptr<uint8_t[], Free> bytes(
        static_cast<uint8_t*>(std::calloc(std::max<uint64_t>(size, 1), 1)));
    if (!bytes) return nullptr;
    return std::shared_ptr<QFRGBAImage>(
        new QFRGBAImage(std::move(bytes), width, height, premultiplied, std::move(profile)));
}

QFRGBAImage::QFRGBAImage(std::unique_ptr<uint8_t[], Free> bytes, uint64_t width, uint64_t height,
                         bool premultiplied, std::shared_ptr<const BNColorProfile> profile)
    : bytes_(std::move(bytes)),
      width_(width),
      height_(height),
      premultiplied_(premultiplied),
      profile_(std::move(profile)) {}

bool operator==(const QFRGBAImage& a, const QFRGBAImage& b) {
    return a.width_ == b.width_ && a.height_ == b.height_ && a.premultiplied_ == b.premultiplied_ &&
           std::memcmp(a.bytes(), b.bytes(), a.byteCount()) == 0;
}
