#pragma once
// The picture in the benchmarks' documents (BenchDocuments.h): the layer
// records in file order, bottom first, and each layer's pixels and mask.
// Bounds and features are fractions of the canvas, so that every size of
// document shows the same picture.

#include <cstdint>
#include <utility>
#include <vector>

namespace bench_documents {

enum class Paint {
    photo,
    gradient,
    ellipse,
    roundedRect,
    mountains,
    texture,
    stripes,
    vignette,
    grain
};
enum class Entry { layer, groupStart, groupEnd };

// One record, in file order (bottom first). Bounds are fractions of the
// canvas; a group's end record carries the group's name and blend mode.
struct Plan {
    Entry entry;
    const char* name;
    Paint paint = Paint::photo;
    float x0 = 0, y0 = 0, x1 = 1, y1 = 1;
    const char* blend = "norm";
    uint8_t opacity = 255, fill = 255;
    bool clipped = false, hidden = false, masked = false;
    uint32_t colour = 0x808080;
};

// The records, bottom first: a background, groups of landscape, cards and
// finishing layers, a hidden draft, and a title, a glow and a logo on top.
std::vector<Plan> composition();

// The two records of a pass-through group tagged "picture.png" around all
// of composition()'s: its divider, to go first, and its end, to go last.
// Exporting a document so tagged renders the whole picture.
std::pair<Plan, Plan> taggedPictureGroup();

struct Rect {
    int32_t top, left, bottom, right;
    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
};

struct Pixel {
    float r, g, b, a;
};

// The pixel of a layer at canvas position (x, y) inside its rectangle.
Pixel paint(const Plan& plan, const Rect& rect, uint32_t seed, int32_t x, int32_t y,
            uint32_t canvasWidth, uint32_t canvasHeight);

// The user mask: a ramp across the layer.
float maskValue(const Rect& rect, int32_t x, int32_t y);

inline float clamp01(float v) {
    return v < 0 ? 0 : v > 1 ? 1 : v;
}

}  // namespace bench_documents
