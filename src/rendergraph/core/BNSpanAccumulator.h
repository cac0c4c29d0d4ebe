#pragma once
// BNSpanAccumulator: the integer core of the path rasteriser
// (BNPathRasterizer.h). It records where edges cross the sample lines of a
// grid of sub-samples, resolves the crossings of one compound path into
// inside runs by its fill rule, merges those runs into the shape built so
// far by a boolean operation, and finally counts the covered sub-samples of
// every pixel.
//
// Coordinates. Points are in fixed point, absolute, in 1/32 of a sub-sample
// (BNFixedPoint). Sub-sample column c has its centre at x = 32c + 16, row r
// at y = 32r + 16; the accumulator keeps the rows and columns from its
// origin on. A run covers the sub-samples whose centres lie between its two
// edges. So that no end point lies exactly on a sample line, each edge is
// nudged before it is recorded: half a sub-sample is added to both
// coordinates, the lowest bit of both y values is set, and of the two x
// values the smaller loses its lowest bit and the larger gains it. Then no
// edge is vertical or passes exactly through a sample centre either.
//
// Every product of coordinates is formed in 128 bits, so edges of any
// length that fit the fixed-point range give exact crossings, and the work
// per edge is bounded by the rows it crosses within the accumulator.
//
// One object per rasterisation, used by one thread.

#include "geometry/VKCompoundPath.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct BNFixedPoint {
    int64_t x;
    int64_t y;

    friend bool operator==(BNFixedPoint a, BNFixedPoint b) { return a.x == b.x && a.y == b.y; }
};

// The target of the rasteriser: a one-channel float plane.
struct BNCoverageBitmap {
    uint64_t width;      // pixels per row
    uint64_t height;     // rows
    uint64_t rowStride;  // floats from one row to the next
    float* data;
};

class BNSpanAccumulator {
public:
    // A grid of `columns` by `rows` sub-samples whose first column and row
    // are `originColumn` and `originRow`. Filled, every row starts inside
    // from column 0 to `columns`; otherwise empty.
    BNSpanAccumulator(int64_t originColumn, int64_t originRow, int32_t columns, int32_t rows,
                      bool filled);

    int32_t columns() const { return columns_; }
    int32_t rows() const { return rows_; }

    // Records the crossings of the polyline through `points` (its edges, in
    // order; it is not closed here).
    void addPolyline(const BNFixedPoint* points, size_t count);
    // False when no edge between points whose y values lie from `lowY` to
    // `highY` can record a crossing: such edges end above the first row or
    // start below the last.
    bool mayCrossRows(int64_t lowY, int64_t highY) const;

    // Resolves the recorded crossings by the fill rule (0 non-zero, any
    // other even-odd) and merges them into the shape by the operation (0 add,
    // 1 subtract, 2 intersect, 3 exclude; any other empties the shape).
    // Clears the crossings.
    void combine(VKBooleanOperation operation, VKFillRule fillRule);

    // The toggle positions of row `row`: ascending, a run from each
    // even-indexed one up to (not including) the next.
    const std::vector<int32_t>& spansOfRow(int32_t row) const { return spans_[row]; }

    // Writes the covered share of every pixel, 0 to 1, into the bitmap.
    // With `samplesX` by `samplesY` sub-samples per pixel, the grid must be
    // exactly width * samplesX by height * samplesY; otherwise logs "Buffer
    // size mismatch" and returns false without writing.
    bool writeCoverage(const BNCoverageBitmap& bitmap, double samplesX, double samplesY) const;

private:
    // A y value as addEdge records it: moved half a sub-sample down, odd.
    static int64_t nudgedY(int64_t y) { return (y + 16) | 1; }
    void addEdge(BNFixedPoint from, BNFixedPoint to);

    int64_t originColumn_;
    int64_t originRow_;
    int32_t columns_;
    int32_t rows_;
    // Per row: (column - originColumn) * 2 + (1 for an edge running towards
    // increasing y), columns clamped to [-1, columns + 1].
    std::vector<std::vector<int32_t>> crossings_;
    std::vector<std::vector<int32_t>> spans_;
    std::vector<int32_t> scratch_;
};
