#include "rendergraph/core/BNSpanAccumulator.h"

#include "platform/core/Log.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

using int128 = __int128;

int64_t floorDivide(int128 numerator, int64_t denominator) {  // denominator > 0
    int128 quotient = numerator / denominator;
    if (numerator % denominator != 0 && numerator < 0) --quotient;
    return static_cast<int64_t>(quotient);
}

int64_t floorDivide(int64_t numerator, int64_t denominator) {
    return floorDivide(static_cast<int128>(numerator), denominator);
}

// Truth tables of the operations, indexed by the state (bit 1 inside the
// shape so far, bit 0 inside the new shape).
constexpr unsigned kOperationTable[4] = {
    0b1110,  // add
    0b0100,  // subtract: inside so far, not inside the new shape
    0b1000,  // intersect
    0b0110,  // exclude
};

}  // namespace

BNSpanAccumulator::BNSpanAccumulator(int64_t originColumn, int64_t originRow, int32_t columns,
                                     int32_t rows, bool filled)
    : originColumn_(originColumn),
      originRow_(originRow),
      columns_(std::max(columns, 0)),
      rows_(std::max(rows, 0)),
      crossings_(static_cast<size_t>(rows_)),
      spans_(static_cast<size_t>(rows_)) {
    if (filled)
        for (auto& row : spans_)
            row = {0, columns_};
}

void BNSpanAccumulator::addPolyline(const BNFixedPoint* points, size_t count) {
    for (size_t i = 1; i < count; ++i) {
        addEdge(points[i - 1], points[i]);
    }
}

bool BNSpanAccumulator::mayCrossRows(int64_t lowY, int64_t highY) const {
    // addEdge's rows, from the nudged ends: the nudge and the row of a y
    // value only grow with it.
    int64_t lowRow = nudgedY(lowY) >> 5, highRow = nudgedY(highY) >> 5;
    return highRow > originRow_ && lowRow < originRow_ + rows_;
}

void BNSpanAccumulator::addEdge(BNFixedPoint from, BNFixedPoint to) {
    // The nudge (see the header): y values odd, x values apart by an odd
    // amount, so no end point lies on a sample line and no edge is vertical.
    int64_t x0 = from.x + 16, y0 = nudgedY(from.y);
    int64_t x1 = to.x + 16, y1 = nudgedY(to.y);
    if ((x1 | 1) >= (x0 | 1)) {
        x0 &= ~int64_t{1};
        x1 |= 1;
    } else {
        x0 |= 1;
        x1 &= ~int64_t{1};
    }
    if (y0 == y1) return;
    const int32_t direction = y1 > y0 ? 1 : 0;

    // Sample line of row r: y = 32 (r + 1); the edge crosses the rows whose
    // line lies strictly between its ends, clipped to the accumulator.
    int64_t lowRow = std::min(y0, y1) >> 5, highRow = std::max(y0, y1) >> 5;
    lowRow = std::max(lowRow, originRow_);
    highRow = std::min(highRow, originRow_ + rows_);
    if (lowRow >= highRow) return;

    // x at the sample line = x0 + ((line - y0) * (x1 - x0)) / (y1 - y0),
    // kept as an integer part and a remainder over the positive height. The
    // numerator is odd (an odd distance times an odd width) and the height
    // even, so x is never whole: no edge passes exactly through a sample
    // centre, and the integer part alone gives the cell.
    int64_t width = x1 - x0, height = y1 - y0;
    int sign = height < 0 ? -1 : 1;
    height *= sign;
    int128 numerator = static_cast<int128>(32 * (lowRow + 1) - y0) * width * sign;
    int64_t whole = floorDivide(numerator, height);
    int64_t remainder = static_cast<int64_t>(numerator - static_cast<int128>(whole) * height);
    const int64_t step = 32 * width * sign;
    const int64_t stepWhole = floorDivide(step, height);
    const int64_t stepRemainder = step - stepWhole * height;

    for (int64_t row = lowRow; row < highRow; ++row) {
        int64_t cell = (x0 + whole) >> 5;
        int64_t column = std::clamp<int64_t>(cell - originColumn_, -1, int64_t{columns_} + 1);
        crossings_[static_cast<size_t>(row - originRow_)].push_back(
            static_cast<int32_t>(column * 2 + direction));
        whole += stepWhole;
        remainder += stepRemainder;
        if (remainder >= height) {
            remainder -= height;
            ++whole;
        }
    }
}

void BNSpanAccumulator::combine(VKBooleanOperation operation, VKFillRule fillRule) {
    unsigned table = operation >= 0 && operation < 4 ? kOperationTable[operation] : 0;
    // Whether an empty new shape leaves the shape so far as it is.
    bool keepsShape = (table & 0b0101) == 0b0100;
    std::vector<int32_t> merged;
    for (int32_t row = 0; row < rows_; ++row) {
        std::vector<int32_t>& crossings = crossings_[static_cast<size_t>(row)];
        std::vector<int32_t>& spans = spans_[static_cast<size_t>(row)];
        if (crossings.empty() && keepsShape) continue;
        std::sort(crossings.begin(), crossings.end());

        // The new shape's toggles.
        scratch_.clear();
        if (fillRule == VKFillRuleNonZero) {
            int winding = 0;
            for (int32_t crossing : crossings) {
                bool wasInside = winding != 0;
                winding += (crossing & 1) ? 1 : -1;
                if ((winding != 0) != wasInside) scratch_.push_back(crossing >> 1);
            }
        } else {
            for (int32_t crossing : crossings)
                scratch_.push_back(crossing >> 1);
            if (crossings.size() % 2 != 0) {
                std::string values;
                for (int32_t crossing : crossings)
                    values += fmt::format("{}{}", values.empty() ? "" : ", ",
                                          (crossing & 1) ? -(crossing / 34) : crossing / 34);
                lf::log("Odd number of intersections at scanline {}: ({})", row, values);
            }
        }

        // Merge with the shape so far; at equal positions the new shape's
        // toggle comes first. A change of the result at the position of the
        // pending toggle cancels it, so empty runs vanish and abutting runs
        // join.
        merged.clear();
        unsigned state = 0;
        bool inside = false;
        bool hasPending = false;
        int32_t pending = 0;
        size_t a = 0, b = 0;
        while (a < scratch_.size() || b < spans.size()) {
            int32_t position;
            if (b >= spans.size() || (a < scratch_.size() && scratch_[a] <= spans[b])) {
                position = scratch_[a++];
                state ^= 1;
            } else {
                position = spans[b++];
                state ^= 2;
            }
            bool nowInside = ((table >> state) & 1) != 0;
            if (nowInside == inside) continue;
            inside = nowInside;
            if (hasPending && pending == position) {
                hasPending = false;
            } else {
                if (hasPending) merged.push_back(pending);
                pending = position;
                hasPending = true;
            }
        }
        if (hasPending) merged.push_back(pending);
        spans.swap(merged);
        crossings.clear();
    }
}

bool BNSpanAccumulator::writeCoverage(const BNCoverageBitmap& bitmap, double samplesX,
                                      double samplesY) const {
    if (!(samplesX >= 1 && samplesY >= 1) ||
        static_cast<double>(columns_) != static_cast<double>(bitmap.width) * samplesX ||
        static_cast<double>(rows_) != static_cast<double>(bitmap.height) * samplesY) {
        lf::log("Buffer size mismatch");
        return false;
    }
    const auto n = static_cast<int64_t>(samplesX);
    const double scale = 1.0 / (samplesX * samplesY);
    const auto width = static_cast<int64_t>(bitmap.width);
    std::vector<int32_t> counts(bitmap.width, 0);
    uint64_t pixelRow = 0;
    auto flush = [&] {
        float* out = bitmap.data + pixelRow * bitmap.rowStride;
        for (int64_t x = 0; x < width; ++x)
            out[x] = static_cast<float>(counts[static_cast<size_t>(x)] * scale);
        std::fill(counts.begin(), counts.end(), 0);
        ++pixelRow;
    };
    for (int32_t row = 0; row < rows_; ++row) {
        auto rowPixel = static_cast<uint64_t>(std::floor(row / samplesY));
        while (pixelRow < rowPixel)
            flush();
        const std::vector<int32_t>& spans = spans_[static_cast<size_t>(row)];
        for (size_t i = 0; i + 1 < spans.size(); i += 2) {
            int64_t start = spans[i], end = spans[i + 1];
            if (end < 0 || start >= columns_) continue;
            start = std::max<int64_t>(start, 0);
            end = std::min<int64_t>(end, columns_);
            int64_t first = start / n, last = std::min<int64_t>(end, columns_ - 1) / n;
            // A sub-sample count that is not whole can put the last columns
            // past the bitmap's pixels; they are not counted.
            if (first >= width) continue;
            if (last >= width) {
                last = width - 1;
                end = std::min(end, width * n);
            }
            if (first == last) {
                counts[static_cast<size_t>(first)] += static_cast<int32_t>(end - start);
                continue;
            }
            counts[static_cast<size_t>(first)] += static_cast<int32_t>((first + 1) * n - start);
            counts[static_cast<size_t>(last)] += static_cast<int32_t>(end - last * n);
            for (int64_t x = first + 1; x < last; ++x)
                counts[static_cast<size_t>(x)] += static_cast<int32_t>(n);
        }
    }
    while (pixelRow < bitmap.height)
        flush();
    return true;
}
