#pragma once
// QFImageExportRecipePixelBuffer: 8-bit RGBA pixels with premultiplied
// alpha, rows top to bottom, that cover a rectangle of the document at a
// scale factor (pixels per document unit).
//
// A buffer shares its pixels: a sub-buffer is a view of its source's rows
// (a render is cut into outputs without copying), and the pixels stay alive
// as long as any buffer shows them. Derived buffers keep the source's
// rectangle, scale and down-sampling flag. A value, read only once made;
// safe to read from any thread.

#include "compositing/shared/QFRGBAImage.h"
#include "geometry/VKGeometry.h"
#include "platform/images/RGBABuffer.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QFImageExportRecipePixelBuffer {
public:
    // The whole of a rendered image, covering `rect` at `scaleFactor`.
    QFImageExportRecipePixelBuffer(std::shared_ptr<const QFRGBAImage> image, VKRect rect,
                                   double scaleFactor);

    uint64_t widthInPixels() const { return width_; }
    uint64_t heightInPixels() const { return height_; }
    uint64_t rowBytes() const { return rowBytes_; }
    VKRect rect() const { return rect_; }
    double scaleFactor() const { return scaleFactor_; }
    const uint8_t* pixelData() const { return pixels_; }
    bool shouldDownSample() const { return shouldDownSample_; }
    void setShouldDownSample(bool downSample) { shouldDownSample_ = downSample; }
    // The pixels as a descriptor, for trimming and encoding.
    lf::RGBABuffer buffer() const;

    // The pixels of `rect` (document units; offsets and size are `rect`
    // scaled, truncated), or none when it does not lie inside the buffer.
    std::optional<QFImageExportRecipePixelBuffer> subBufferWithRect(VKRect rect) const;
    // Half the width and height (whole divisions): each byte the sum of its
    // 2 by 2 block shifted right by 2; none without memory.
    std::optional<QFImageExportRecipePixelBuffer> downSampledPixelBuffer() const;
    // Box-filtered to exactly `width` by `height` pixels (ImageOps'
    // scaleRGBA8888); none for an empty size or without memory.
    std::optional<QFImageExportRecipePixelBuffer> scaledPixelBuffer(uint64_t width,
                                                                    uint64_t height) const;

    // The same pixels with everything outside `rect` (document units)
    // transparent, pixels that `rect` covers in part kept; the buffer itself
    // when `rect` holds it; none without memory.
    std::optional<QFImageExportRecipePixelBuffer> pixelBufferLimitedToRect(VKRect rect) const;

    std::string description() const;

private:
    QFImageExportRecipePixelBuffer(std::shared_ptr<const void> owner, const uint8_t* pixels,
                                   uint64_t width, uint64_t height, uint64_t rowBytes,
                                   const QFImageExportRecipePixelBuffer& like);
    // New pixels of `width` by `height`, rows of width * 4 bytes, left for
    // the caller to fill; none without memory.
    std::optional<QFImageExportRecipePixelBuffer> withNewPixels(uint64_t width, uint64_t height,
                                                                uint8_t** pixels) const;

    std::shared_ptr<const void> owner_;  // keeps the pixels alive
    const uint8_t* pixels_ = nullptr;
    uint64_t width_ = 0, height_ = 0, rowBytes_ = 0;
    VKRect rect_;
    double scaleFactor_ = 1;
    bool shouldDownSample_ = false;
};
