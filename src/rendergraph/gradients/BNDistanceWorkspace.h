#pragma once
// The working planes of the nodes that compute distance fields (bitmap
// stroke, distance transform, shape-burst gradient) for one render: their
// input surface trimmed to the margin the computations need around the
// output, and a scratch field of the trimmed size borrowed from the
// rendering context for as long as the workspace lives.
//
// The computations (BNDistance.h) read the field c = ceil(w) + 2 pixels
// beyond every output pixel, w the stroke width in output pixels. The input
// covers the node's region of interest, which may reach further (its margin
// is counted in whole points); the surplus rows and columns are skipped.

#include "geometry/VKStrokeStyle.h"
#include "rendergraph/core/BNRenderingContext.h"
#include "rendergraph/core/BNScratchBuffer.h"
#include "rendergraph/core/BNSurface.h"
#include "rendergraph/gradients/BNDistance.h"

#include <cmath>
#include <optional>

class BNDistanceWorkspace {
public:
    // Fails (isValid() false) when the input does not hold the output with a
    // margin of c pixels on every side, or the pool has no memory.
    BNDistanceWorkspace(const BNSurface& input, const BNSurface& output,
                        BNRenderingContext& context, double w);
    BNDistanceWorkspace(const BNDistanceWorkspace&) = delete;
    BNDistanceWorkspace& operator=(const BNDistanceWorkspace&) = delete;

    bool isValid() const { return field_.has_value() && field_->isValid(); }

    // Computes the field for a stroke position: centred on the edge (with
    // `technique`), or one-sided, inside the shape for an inside position
    // and outside it for any other. When `band` is given, the stroke band
    // goes into that one-channel surface of the output's size.
    void computeForPosition(VKStrokePosition position, BNDistanceTechnique technique,
                            const BNSurface* band);

    // The field value over output pixel (x, y), and the row stride of the
    // field in floats.
    const float* fieldAtOutputPixel(uint64_t x, uint64_t y) const;
    uint64_t fieldStride() const { return trimmed_.width; }

    // The field's margin around the output: ceil(w) + 2 pixels.
    static uint64_t marginForWidth(double w) { return static_cast<uint64_t>(std::ceil(w)) + 2; }

private:
    double w_;
    BNDistancePlane trimmed_;
    uint64_t margin_ = 0;
    std::optional<BNScratchBuffer<float>> field_;
};
