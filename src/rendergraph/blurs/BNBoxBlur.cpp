#include "rendergraph/blurs/BNBoxBlur.h"

#include "rendergraph/core/BNScratchBuffer.h"

#include <algorithm>
#include <cstddef>

namespace {

// Rows whose horizontal running sums run side by side: each sum is a chain
// of dependent additions, so one row alone would wait on every addition.
constexpr size_t kRows = 8;

inline double clampUnit(double value) {
    value = value > 0.0 ? value : 0.0;
    return value < 1.0 ? value : 1.0;
}

// Ring slots advance by one per sample and wrap at the ring's size.
struct RingSlots {
    size_t incoming, outgoing, size;

    explicit RingSlots(uint32_t n)
        : incoming(2 * size_t(n)), outgoing(0), size(2 * size_t(n) + 1) {}
    void advance() {
        incoming = outgoing;
        outgoing = outgoing + 1 == size ? 0 : outgoing + 1;
    }
};

// The box along each of kRows rows of `length` samples. `ring` holds
// (2n + 1) * kRows floats.
void blurRows(float* const* rows, size_t length, uint32_t n, float* ring) {
    const size_t span = 2 * size_t(n);
    const double scale = 1.0 / double(span + 1);
    double sum[kRows] = {};
    for (size_t k = 0; k < span; ++k)
        for (size_t j = 0; j < kRows; ++j) {
            ring[k * kRows + j] = rows[j][k];
            sum[j] += rows[j][k];
        }
    RingSlots slots(n);
    for (size_t k = 0; k + span < length; ++k) {
        float* incoming = ring + slots.incoming * kRows;
        const float* outgoing = ring + slots.outgoing * kRows;
        for (size_t j = 0; j < kRows; ++j) {
            float value = rows[j][k + span];
            incoming[j] = value;
            double total = sum[j] + value;
            rows[j][k + n] = float(clampUnit(total * scale));
            sum[j] = total - outgoing[j];
        }
        slots.advance();
    }
}

// The first 2n rows of the columns' sums.
void startColumns(double* __restrict sum, float* __restrict slot, const float* __restrict row,
                  size_t width) {
    for (size_t x = 0; x < width; ++x) {
        slot[x] = row[x];
        sum[x] += row[x];
    }
}

// One step down every column: `row` comes in, `out` is written, `outgoing`
// leaves the sums.
void stepColumns(double* __restrict sum, float* __restrict incoming,
                 const float* __restrict outgoing, const float* __restrict row,
                 float* __restrict out, size_t width, double scale) {
    for (size_t x = 0; x < width; ++x) {
        float value = row[x];
        incoming[x] = value;
        double total = sum[x] + value;
        out[x] = float(clampUnit(total * scale));
        sum[x] = total - outgoing[x];
    }
}

struct Workspace {
    float* rowRing;     // (2n + 1) * kRows
    float* columnRing;  // (2n + 1) * width
    double* sums;       // width
    float* spareRow;    // width: stands in for rows past the block's end
};

// One box, rows then columns, in one sweep down the block: each group of
// rows is blurred along the rows and at once enters the columns' sums,
// while it is still in the cache. The columns' sums see every row after
// its horizontal pass, as two separate passes would.
void blurBox(float* block, ptrdiff_t rowFloats, size_t width, size_t height, uint32_t n,
             const Workspace& work) {
    const size_t span = 2 * size_t(n);
    const double scale = 1.0 / double(span + 1);
    const bool rowsBlur = width > span, columnsBlur = height > span;
    std::fill(work.sums, work.sums + width, 0.0);
    RingSlots slots(n);
    for (size_t first = 0; first < height; first += kRows) {
        const size_t count = std::min(kRows, height - first);
        float* rows[kRows];
        for (size_t j = 0; j < kRows; ++j)
            rows[j] = j < count ? block + ptrdiff_t(first + j) * rowFloats : work.spareRow;
        if (rowsBlur) blurRows(rows, width, n, work.rowRing);
        if (!columnsBlur) continue;
        for (size_t j = 0; j < count; ++j) {
            size_t y = first + j;
            if (y < span) {
                startColumns(work.sums, work.columnRing + y * width, rows[j], width);
                continue;
            }
            float* out = block + ptrdiff_t(y - n) * rowFloats;
            stepColumns(work.sums, work.columnRing + slots.incoming * width,
                        work.columnRing + slots.outgoing * width, rows[j], out, width, scale);
            slots.advance();
        }
    }
}

}  // namespace

bool BNBoxBlurPlane(float* data, uint64_t width, uint64_t height, uint64_t bytesPerRow,
                    const std::vector<uint32_t>& halfWidths, BNRenderingContext& context) {
    if (halfWidths.empty() || width == 0 || height == 0) return true;
    size_t ringSize = 2 * size_t(*std::max_element(halfWidths.begin(), halfWidths.end())) + 1;
    BNScratchBuffer<float> rowRing(context, ringSize * kRows);
    BNScratchBuffer<float> columnRing(context, ringSize * width);
    BNScratchBuffer<double> sums(context, width);
    BNScratchBuffer<float> spareRow(context, width);
    if (!rowRing.isValid() || !columnRing.isValid() || !sums.isValid() || !spareRow.isValid())
        return false;
    std::fill(spareRow.data(), spareRow.data() + width, 0.0f);
    const Workspace work{rowRing.data(), columnRing.data(), sums.data(), spareRow.data()};
    const auto rowFloats = ptrdiff_t(bytesPerRow / sizeof(float));
    float* block = data;
    for (uint32_t n : halfWidths) {
        blurBox(block, rowFloats, width, height, n, work);
        if (width <= 2 * uint64_t(n) || height <= 2 * uint64_t(n)) break;
        width -= 2 * uint64_t(n);
        height -= 2 * uint64_t(n);
        block += ptrdiff_t(n) * rowFloats + ptrdiff_t(n);
    }
    return true;
}
