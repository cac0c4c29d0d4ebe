#pragma once
// Parts of a surface named by rectangles in points, for nodes that treat the
// part of their output an input covers apart from the rest: where a
// rectangle's pixels lie within a surface, rectangles grown to whole pixels,
// the rectangles that cover one rectangle less another, and filling or
// copying the pixels of a rectangle.
//
// A rectangle's pixels are found as a subsurface's are: the rectangle and
// the surface's rectangle are scaled and made integral, and the pixels
// between their edges are the rectangle's, clipped to the surface.

#include "rendergraph/core/BNKernelPlane.h"
#include "rendergraph/core/BNSurface.h"

#include <cstdint>
#include <vector>

struct BNPixelRect {
    uint64_t x = 0;
    uint64_t y = 0;
    uint64_t width = 0;
    uint64_t height = 0;

    bool isEmpty() const { return width == 0 || height == 0; }
};

// The pixels of `rect` within `surface`, clipped to the surface; empty for
// a null or empty rectangle.
BNPixelRect BNPixelRectOfRect(const BNSurface& surface, VKRect rect);

// `rect` grown outwards to whole pixels at `scaleFactor`, and at whole
// scale factors to whole points as well: a node that renders at scale 1
// only, behind a scale node, is then never asked for part of a pixel. Null
// and infinite rectangles come back unchanged.
VKRect BNRectAlignedToPixels(VKRect rect, double scaleFactor);

// `rect` intersected with `bounds` grown to whole pixels, or `rect` itself
// when `bounds` is infinite: the part of `rect` a node with those bounds
// may cover, on the pixel grid when `rect` is.
VKRect BNRectWithinBounds(VKRect rect, VKRect bounds, double scaleFactor);

// Rectangles that cover `outer` less `inner` without overlapping.
std::vector<VKRect> BNRectsOutside(VKRect outer, VKRect inner);

// Sets sample `sampleIndex` (0 for the first channel of the surface's
// mask) of every pixel of `rect` to `value`.
void BNFillSampleInRect(BNSurface& surface, VKRect rect, int sampleIndex, float value);

// Sets every pixel of `rect` to `values`, one per sample of the surface.
void BNFillPixelsInRect(BNSurface& surface, VKRect rect, const float* values);

// Copies the pixels of `rect` from `source` into `destination`; both have
// the same channels and scale and hold `rect`.
void BNCopyRect(const BNSurface& source, BNSurface& destination, VKRect rect);

// The pixels of `rect` within `surface` as the kernels take them.
BNKernelPlane BNKernelPlaneOfRect(const BNSurface& surface, VKRect rect);
