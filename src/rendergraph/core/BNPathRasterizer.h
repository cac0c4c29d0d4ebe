#pragma once
// The scanline path rasteriser: turns compound paths into an anti-aliased
// coverage plane, one float per pixel holding the share of the pixel's
// sub-samples that lie inside the shape (16 by 16 sub-samples unless the
// rendering context says otherwise).
//
// Points are converted once to fixed point, 1/32 of a sub-sample, absolute:
// X = (round(x * 32) * round(scale * samplesX * 32)) >> 5, likewise Y. From
// there on everything is integer: curves are split where they turn in y and
// then in x, flattened by midpoint subdivision until within about one
// sub-sample of their chords, and every line records one crossing per
// sub-sample row it passes (BNSpanAccumulator.h). Each compound path is
// resolved by its own fill rule and merged into the shape so far by its
// boolean operation; the result is counted per pixel at the end. Because the
// grid is absolute, a shape rasterised in tiles gives the same pixels as in
// one piece.
//
// Each call builds and drops its own objects; the paths and the style are
// only read, so any number of calls may run at once.

#include "geometry/VKCompoundPath.h"
#include "geometry/VKStrokeStyle.h"
#include "rendergraph/core/BNSpanAccumulator.h"

#include <array>
#include <memory>
#include <optional>
#include <vector>

using BNCompoundPathList = std::vector<std::shared_ptr<const VKCompoundPath>>;

// Rasterises the compound paths, each combined with the shape so far by its
// operation, into `bitmap`, whose first pixel is at (originX, originY) in
// points. The shape starts full when the first operation is subtract or
// intersect, empty when it is add, and as `initiallyFilled` says otherwise.
// Sub-sample counts below 1 become 17 by 5. Returns false without writing
// when there are no paths, the counts of paths and operations differ, or
// the bitmap's size times the sub-sample counts is not whole ("Buffer size
// mismatch").
bool BNRasterizeCompoundPaths(const BNCompoundPathList& compoundPaths,
                              const std::vector<VKBooleanOperation>& operations,
                              bool initiallyFilled, const BNCoverageBitmap& bitmap, double originX,
                              double originY, double scaleFactor, double samplesX, double samplesY);

// Rasterises the stroke of every path of `compoundPath` with `style`, and:
// with shouldFill, the fill of the compound path too; otherwise, when every
// path is closed, an inside stroke is cut to the shape and an outside stroke
// to its exterior. One-sided strokes lie on the filled (inside) or empty
// (outside) side of every path, holes included (VKCompoundPath::holes).
// With shouldOverprint, an undashed inside stroke of closed paths is drawn
// as a centred stroke of twice the width, uncut. Returns false as
// BNRasterizeCompoundPaths does for a bitmap of the wrong size.
bool BNRasterizeStrokedCompoundPath(const VKCompoundPath& compoundPath, const VKStrokeStyle& style,
                                    bool shouldFill, bool shouldOverprint,
                                    const BNCoverageBitmap& bitmap, double originX, double originY,
                                    double scaleFactor, double samplesX, double samplesY);

// What BNRasterizeStrokedCompoundPath draws, with the strokes already
// outlined: outlining is the costly part and depends on neither the bitmap
// nor the scale, so a node outlines once and rasterises every tile from it.
// Immutable once made; any number of threads may rasterise it at once.
struct BNStrokeOutline {
    // The outline of each path's stroke (non-zero), added one after another.
    std::vector<VKCompoundPath> strokes;
    // Then the compound path itself, combined by `shapeOperation`: add for
    // the fill, intersect or subtract to cut an inside or outside stroke;
    // none when it does not take part.
    VKCompoundPath shape;
    std::optional<VKBooleanOperation> shapeOperation;
};
BNStrokeOutline BNStrokeOutlineOfCompoundPath(const VKCompoundPath& compoundPath,
                                              const VKStrokeStyle& style, bool shouldFill,
                                              bool shouldOverprint);
bool BNRasterizeStrokeOutline(const BNStrokeOutline& outline, const BNCoverageBitmap& bitmap,
                              double originX, double originY, double scaleFactor, double samplesX,
                              double samplesY);

class BNPathRasterizer {
public:
    BNPathRasterizer(uint64_t width, uint64_t height, bool filled, double originX, double originY,
                     double scaleFactor, double samplesX, double samplesY);

    // Adds the fill of `compoundPath` by its fill rule, combined by
    // `operation`. Open paths are closed by a straight line.
    void addCompoundPath(const VKCompoundPath& compoundPath, VKBooleanOperation operation);
    // Adds the stroke outline of `path` (filled non-zero), combined by add.
    void addStrokedPath(const VKPath& path, const VKStrokeStyle& style);
    bool writeCoverage(const BNCoverageBitmap& bitmap) const;

    // A point in the rasteriser's fixed point.
    BNFixedPoint fixedPoint(VKPoint point) const;

private:
    using Cubic = std::array<BNFixedPoint, 4>;

    static int64_t fixedCoordinate(double value, int64_t factor);
    void addSegment(const VKPathSegment& segment);

    double samplesX_;
    double samplesY_;
    int64_t xFactor_;
    int64_t yFactor_;
    BNSpanAccumulator spans_;
    // Scratch of addSegment, kept to spare an allocation per segment.
    std::vector<Cubic> monotonicInY_;
    std::vector<Cubic> pieces_;
    std::vector<BNFixedPoint> points_;
};
