#pragma once
// The rectangle of a layer, mask or channel: four signed 32-bit integers in
// the file's order top, left, bottom, right, in document pixels. A
// rectangle whose bottom is above its top (or right left of its left) is
// empty.
#include <cstdint>

struct OMPSDRect {
    int32_t top = 0, left = 0, bottom = 0, right = 0;

    uint64_t width() const { return right > left ? uint64_t(int64_t(right) - left) : 0; }
    uint64_t height() const { return bottom > top ? uint64_t(int64_t(bottom) - top) : 0; }
    bool isEmpty() const { return width() == 0 || height() == 0; }
    friend bool operator==(const OMPSDRect&, const OMPSDRect&) = default;
};
