#pragma once
// RGBABuffer: 8-bit RGBA pixels in the image library's buffer layout (data,
// height, width, bytes per row), the form in which renders reach the image
// encoder. Pixels are 4 bytes R, G, B, A, rows top to bottom; colour is
// premultiplied by alpha unless `alpha` says otherwise. The buffer does not
// own its pixels.
//
// Straight colour is premultiplied colour divided by its coverage:
// c * 255 / a, rounded half up and capped at 255, and 0 where a is 0 (the
// rule of the image library's unpremultiply).

#include <cstddef>
#include <cstdint>

namespace lf {

enum class RGBAAlpha {
    PremultipliedLast,  // colour premultiplied by the last byte
    Last,               // straight colour, alpha in the last byte
};

struct RGBABuffer {
    const uint8_t* data = nullptr;
    uint64_t height = 0;
    uint64_t width = 0;
    uint64_t rowBytes = 0;
    RGBAAlpha alpha = RGBAAlpha::PremultipliedLast;

    const uint8_t* row(uint64_t y) const { return data + y * rowBytes; }
    // Whether the layout is usable: pixels present and rows long enough.
    bool isValid() const {
        return data != nullptr && width > 0 && height > 0 && rowBytes / 4 >= width;
    }
};

// Writes `pixelCount` pixels of `source` with straight colour into
// `destination` (which may be `source`). Runs of opaque pixels are copied as
// they are, runs of clear ones cleared, and the rest looked up in a table of
// quotients.
void unpremultiplyRGBA(const uint8_t* source, uint8_t* destination, size_t pixelCount);

// The opposite: colour multiplied by alpha, c * a / 255 rounded to nearest.
void premultiplyRGBA(const uint8_t* source, uint8_t* destination, size_t pixelCount);

}  // namespace lf
