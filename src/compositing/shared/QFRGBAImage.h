#pragma once
// QFRGBAImage: the 8-bit image a tiled render fills, handed to its caller
// whole instead of copied.
//
// Rows of width * 4 bytes, row 0 at the top; each pixel R, G, B and coverage
// (8 bits a component, 32 bits a pixel, in that byte order, coverage last),
// colour premultiplied by coverage or straight as the image says, in its
// colour profile. The pixels come zero-filled from calloc, so a large image
// costs no pass over its memory before the first tile touches it.
//
// Threads: the tiles of a render write disjoint parts of the image from
// several threads; once the render has reported its last tile the image is
// read only and may be read from any thread.

#include "rendergraph/core/BNColorProfile.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

class QFRGBAImage {
public:
    // A zero-filled image, or null when its size overflows or its memory
    // cannot be had.
    static std::shared_ptr<QFRGBAImage> create(uint64_t width, uint64_t height,
                                               bool premultiplied = true,
                                               std::shared_ptr<const BNColorProfile> profile = {});

    uint64_t width() const { return width_; }
    uint64_t height() const { return height_; }
    uint64_t bytesPerRow() const { return width_ * 4; }
    uint64_t byteCount() const { return bytesPerRow() * height_; }
    const uint8_t* bytes() const { return bytes_.get(); }
    uint8_t* mutableBytes() { return bytes_.get(); }
    std::span<const uint8_t> span() const { return {bytes_.get(), byteCount()}; }
    const uint8_t* row(uint64_t y) const { return bytes_.get() + y * bytesPerRow(); }
    uint8_t* mutableRow(uint64_t y) { return bytes_.get() + y * bytesPerRow(); }
    bool isPremultiplied() const { return premultiplied_; }
    const std::shared_ptr<const BNColorProfile>& colorProfile() const { return profile_; }

    // The same size, alpha form and bytes.
    friend bool operator==(const QFRGBAImage& a, const QFRGBAImage& b);

private:
    struct Free {
        void operator()(uint8_t* bytes) const { std::free(bytes); }
    };
    QFRGBAImage(std::unique_ptr<uint8_t[], Free> bytes, uint64_t width, uint64_t height,
                bool premultiplied, std::shared_ptr<const BNColorProfile> profile);

    std::unique_ptr<uint8_t[], Free> bytes_;
    uint64_t width_, height_;
    bool premultiplied_;
    std::shared_ptr<const BNColorProfile> profile_;
};
