#pragma once
// Distance fields of a shape given as a one-channel coverage plane, for the
// bitmap stroke, distance transform and shape-burst gradient nodes.
//
// Distances are counted in pixels and normalised by a stroke width w in
// pixels: one pixel counts u = 1 / (w + 1) and every value is capped at 1,
// so a field reaches 1 one pixel beyond the width. Both computations are
// two raster sweeps of a chamfer mask over the field, linear in the pixel
// count and independent of the width. The sweeps leave a border of two
// pixels at their initial values; planes of fewer than 5 rows or columns
// are not swept at all.
//
// Plain functions over caller-owned memory; no state, any thread.

#include <cstdint>

// How the centred field starts at the shape's edge pixels: anchored at
// their coverage scaled to one pixel's distance, or symmetrically from
// their coverage (-1 to 1).
enum BNDistanceTechnique : int32_t {
    BNDistanceTechniqueEdgeAnchored = 0,
    BNDistanceTechniqueSymmetric = 1,
};

// A float plane: width and height in pixels, rows `rowStride` floats apart.
struct BNDistancePlane {
    uint64_t width = 0;
    uint64_t height = 0;
    uint64_t rowStride = 0;
    float* data = nullptr;
};

struct BNDistancePlanes {
    // The shape's coverage, read only.
    BNDistancePlane input;
    // Receives the distance field: the input's width and height, stride at
    // least the width.
    BNDistancePlane field;
    // When its data is set: receives the stroke band. Its pixel (x, y) lies
    // over field pixel (x + c, y + c), c = ceil(w) + 2, so the field must
    // reach c pixels beyond it on every side. Leave it empty (all zero) when
    // only the field is wanted.
    BNDistancePlane final;
};

// One-sided field: 0 where the shape is absent (`inside`) or present (not
// `inside`), rising by u per pixel away from there up to 1; a partly
// covered pixel starts at its sub-pixel distance. The band in the final
// plane is 1 within w pixels of the zero region (and on the zero region
// itself), ramps to 0 over the next pixel, and is 0 beyond.
void BNOneSidedDistance(bool inside, const BNDistancePlanes& planes, double w);

// Centred field: negative outside the shape and positive inside, both
// growing in size by u per pixel away from the edge, bounded by -1 and 1;
// handed back remapped to 0 (far outside) through 0.5 (the edge) to 1 (deep
// inside). The band in the final plane covers w pixels on each side of the
// edge with a one-pixel ramp at its borders. The technique says how edge
// pixels start; a value other than the enumerators anchors them at the edge.
// The second sweep runs only for widths above 2 pixels.
void BNCentredDistance(BNDistanceTechnique technique, const BNDistancePlanes& planes, double w);

// A stroke width as the nodes use it: a width that is negative, NaN or
// infinite (a damaged document) counts as 0.
inline double BNUsableStrokeWidth(double width) {
    return width > 0.0 && width < 1e300 ? width : 0.0;
}
