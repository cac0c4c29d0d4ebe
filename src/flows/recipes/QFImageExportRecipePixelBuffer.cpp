#include "flows/recipes/QFImageExportRecipePixelBuffer.h"

#include "geometry/VKGeometryStrings.h"
#include "kernels/ImageOps.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

QFImageExportRecipePixelBuffer::QFImageExportRecipePixelBuffer(
    std::shared_ptr<const QFRGBAImage> image, VKRect rect, double scaleFactor)
    : pixels_(image->bytes()),
      width_(image->width()),
      height_(image->height()),
      rowBytes_(image->bytesPerRow()),
      rect_(rect),
      scaleFactor_(scaleFactor) {
    owner_ = std::move(image);
}

QFImageExportRecipePixelBuffer::QFImageExportRecipePixelBuffer(
    std::shared_ptr<const void> owner, const uint8_t* pixels, uint64_t width, uint64_t height,
    uint64_t rowBytes, const QFImageExportRecipePixelBuffer& like)
    : owner_(std::move(owner)),
      pixels_(pixels),
      width_(width),
      height_(height),
      rowBytes_(rowBytes),
      rect_(like.rect_),
      scaleFactor_(like.scaleFactor_),
      shouldDownSample_(like.shouldDownSample_) {}

lf::RGBABuffer QFImageExportRecipePixelBuffer::buffer() const {
    return {pixels_, height_, width_, rowBytes_, lf::RGBAAlpha::PremultipliedLast};
}

std::optional<QFImageExportRecipePixelBuffer> QFImageExportRecipePixelBuffer::subBufferWithRect(
    VKRect rect) const {
    double row = (VKRectGetMinY(rect) - VKRectGetMinY(rect_)) * scaleFactor_;
    double column = (VKRectGetMinX(rect) - VKRectGetMinX(rect_)) * scaleFactor_;
    double width = VKRectGetWidth(rect) * scaleFactor_,
           height = VKRectGetHeight(rect) * scaleFactor_;
    // Negative, not a number or far past the pixels: not inside (and not
    // to be converted to an integer).
    if (!(row >= 0 && column >= 0 && width >= 0 && height >= 0 &&
          column + width <= double(width_) + 1 && row + height <= double(height_) + 1))
        return std::nullopt;
    auto rowOffset = uint64_t(row), columnOffset = uint64_t(column);
    auto newWidth = uint64_t(width), newHeight = uint64_t(height);
    if (columnOffset + newWidth > width_ || rowOffset + newHeight > height_) return std::nullopt;
    QFImageExportRecipePixelBuffer cut(owner_, pixels_ + rowOffset * rowBytes_ + columnOffset * 4,
                                       newWidth, newHeight, rowBytes_, *this);
    cut.rect_ = rect;
    return cut;
}

std::optional<QFImageExportRecipePixelBuffer> QFImageExportRecipePixelBuffer::withNewPixels(
    uint64_t width, uint64_t height, uint8_t** pixels) const {
    if (width > std::numeric_limits<uint64_t>::max() / 4 / std::max<uint64_t>(height, 1))
        return std::nullopt;
    std::shared_ptr<uint8_t[]> bytes(new (std::nothrow)
                                         uint8_t[std::max<uint64_t>(width * height * 4, 1)]);
    if (!bytes) return std::nullopt;
    *pixels = bytes.get();
    return QFImageExportRecipePixelBuffer(std::shared_ptr<const void>(bytes, bytes.get()),
                                          bytes.get(), width, height, width * 4, *this);
}

std::optional<QFImageExportRecipePixelBuffer>
QFImageExportRecipePixelBuffer::downSampledPixelBuffer() const {
    uint64_t width = width_ / 2, height = height_ / 2;
    uint8_t* out = nullptr;
    auto half = withNewPixels(width, height, &out);
    if (!half) return std::nullopt;
    for (uint64_t y = 0; y < height; ++y) {
        const uint8_t* upper = pixels_ + 2 * y * rowBytes_;
        const uint8_t* lower = upper + rowBytes_;
        uint8_t* row = out + y * width * 4;
        for (uint64_t i = 0; i < width * 4; ++i) {
            uint64_t x = (i / 4) * 8 + i % 4;  // the block's left byte of this channel
            row[i] = uint8_t((upper[x] + upper[x + 4] + lower[x] + lower[x + 4]) >> 2);
        }
    }
    return half;
}

std::optional<QFImageExportRecipePixelBuffer> QFImageExportRecipePixelBuffer::scaledPixelBuffer(
    uint64_t width, uint64_t height) const {
    constexpr uint64_t kLargest = std::numeric_limits<uint32_t>::max();
    if (width == 0 || height == 0 || width_ == 0 || height_ == 0 || width > kLargest ||
        height > kLargest || width_ > kLargest || height_ > kLargest)
        return std::nullopt;
    uint8_t* out = nullptr;
    auto scaled = withNewPixels(width, height, &out);
    if (!scaled) return std::nullopt;
    lf::ImageBuffer source{const_cast<uint8_t*>(pixels_), uint32_t(height_), uint32_t(width_),
                           rowBytes_};
    lf::ImageBuffer destination{out, uint32_t(height), uint32_t(width), width * 4};
    if (lf::scaleRGBA8888(source, destination) != lf::kImageOpNoError) return std::nullopt;
    return scaled;
}

std::optional<QFImageExportRecipePixelBuffer>
QFImageExportRecipePixelBuffer::pixelBufferLimitedToRect(VKRect rect) const {
    if (VKRectContainsRect(rect, rect_)) return *this;
    // The pixel columns and rows that `rect` touches.
    auto pixelRange = [&](double from, double to, double origin, uint64_t count) {
        double first = std::clamp(std::floor((from - origin) * scaleFactor_), 0.0, double(count));
        double last = std::clamp(std::ceil((to - origin) * scaleFactor_), first, double(count));
        return std::pair(uint64_t(first), uint64_t(last));
    };
    auto [left, right] =
        pixelRange(VKRectGetMinX(rect), VKRectGetMaxX(rect), VKRectGetMinX(rect_), width_);
    auto [top, bottom] =
        pixelRange(VKRectGetMinY(rect), VKRectGetMaxY(rect), VKRectGetMinY(rect_), height_);
    uint8_t* out = nullptr;
    auto limited = withNewPixels(width_, height_, &out);
    if (!limited) return std::nullopt;
    std::fill(out, out + width_ * height_ * 4, uint8_t{0});
    for (uint64_t y = top; y < bottom; ++y)
        std::copy(pixels_ + y * rowBytes_ + left * 4, pixels_ + y * rowBytes_ + right * 4,
                  out + (y * width_ + left) * 4);
    return limited;
}

std::string QFImageExportRecipePixelBuffer::description() const {
    return fmt::format("<PixelBuffer rect: {}, {} x {} pixels>", NSStringFromVKRect(rect_), width_,
                       height_);
}
