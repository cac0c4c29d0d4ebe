#include "compositing/providers/QFPSDContourProvider.h"

#include "compositing/providers/QFContourLevels.h"

#include <algorithm>
#include <cmath>

namespace {

// One piece's points and tangents, in buffers sized by the largest piece.
struct Piece {
    std::vector<double> x, y, d, scratch;
    size_t n = 0;

    explicit Piece(size_t maxPoints)
        : x(maxPoints), y(maxPoints), d(maxPoints), scratch(3 * maxPoints) {}

    void load(const OMPSDContour& contour) {
        n = contour.points().size();
        for (size_t i = 0; i < n; ++i) {
            x[i] = contour.points()[i].horizontal();
            y[i] = contour.points()[i].vertical();
        }
        QFContourSplineTangents(x.data(), y.data(), n, d.data(), scratch.data());
    }

    // The cubic Hermite segment from point i to point i + 1 at `at`.
    double value(size_t i, double at) const {
        double w = x[i + 1] - x[i], m0 = d[i] * w, m1 = d[i + 1] * w;
        double t = (at - x[i]) / w;
        return y[i] + m0 * t + (3 * (y[i + 1] - y[i]) - 2 * m0 - m1) * t * t +
               (2 * (y[i] - y[i + 1]) + m0 + m1) * t * t * t;
    }
};

}  // namespace

void QFContourSplineTangents(const double* x, const double* y, size_t n, double* tangents,
                             double* scratch) {
    if (n < 2) return;
    if (n == 2) {
        tangents[0] = tangents[1] = (y[1] - y[0]) / (x[1] - x[0]);
        return;
    }
    // The tridiagonal system of the natural spline's tangents, rows
    // l_i D_(i-1) + D_i + u_i D_(i+1) = r_i, solved by forward elimination
    // and back substitution (diagonally dominant: no pivoting needed).
    double* upper = scratch;          // n - 1 values
    double* right = scratch + n - 1;  // n values
    auto h = [&](size_t i) { return x[i + 1] - x[i]; };
    auto s = [&](size_t i) { return (y[i + 1] - y[i]) / h(i); };
    upper[0] = 0.5;
    right[0] = 1.5 * s(0);
    for (size_t i = 1; i < n; ++i) {
        double lower, diagonalUpper, r;
        if (i < n - 1) {
            double sum = h(i - 1) + h(i);
            lower = h(i) / (2 * sum);
            diagonalUpper = h(i - 1) / (2 * sum);
            r = 1.5 * (s(i - 1) * h(i) + s(i) * h(i - 1)) / sum;
        } else {
            lower = 0.5;
            diagonalUpper = 0;
            r = 1.5 * s(n - 2);
        }
        double pivot = 1 - lower * upper[i - 1];
        if (i < n - 1) upper[i] = diagonalUpper / pivot;
        right[i] = (r - lower * right[i - 1]) / pivot;
    }
    tangents[n - 1] = right[n - 1];
    for (size_t i = n - 1; i-- > 0;)
        tangents[i] = right[i] - upper[i] * tangents[i + 1];
}

QFPSDContourProvider::QFPSDContourProvider(const OMPSDContour& contour)
    : pieces_(contour.continuousPieces()) {
    // Every piece must advance strictly to the right; the pieces follow
    // each other.
    canEvaluate_ = !pieces_.empty();
    double last = -INFINITY;
    for (const auto& piece : pieces_) {
        maxPoints_ = std::max(maxPoints_, piece->points().size());
        const auto& points = piece->points();
        if (points.size() < 2 || points.front().horizontal() < last) canEvaluate_ = false;
        for (size_t i = 0; i + 1 < points.size(); ++i)
            if (!(points[i + 1].horizontal() > points[i].horizontal())) canEvaluate_ = false;
        for (const auto& point : points)
            if (!std::isfinite(point.horizontal()) || !std::isfinite(point.vertical()))
                canEvaluate_ = false;
        last = points.empty() ? last : points.back().horizontal();
    }
}

void QFPSDContourProvider::generateContourValues(float* values, uint64_t count,
                                                 BNRenderingContext&) const {
    if (!canEvaluate_) {
        QFWriteIdentityContour(values, count);
        return;
    }
    auto clamp01 = [](double v) {
        float f = static_cast<float>(v);
        return std::min(std::max(f, 0.0f), 1.0f);
    };
    double step = count > 1 ? 1.0 / static_cast<double>(count - 1) : 0.0;
    Piece piece(maxPoints_);
    size_t pieceIndex = 0, segment = 0;
    piece.load(*pieces_[0]);
    double x = 0;
    uint64_t k = 0;
    // Before the first point: the first point's level.
    for (; k < count && x < piece.x[0]; ++k, x += step)
        values[k] = clamp01(piece.y[0]);
    while (k < count) {
        if (x > piece.x[piece.n - 1]) {
            if (++pieceIndex == pieces_.size()) break;
            piece.load(*pieces_[pieceIndex]);
            for (; k < count && x < piece.x[0]; ++k, x += step)
                values[k] = clamp01(piece.y[0]);
            segment = 0;
            continue;
        }
        if (x > piece.x[segment + 1] && segment + 2 < piece.n) ++segment;
        values[k] = clamp01(piece.value(segment, x));
        ++k;
        x += step;
    }
    // After the last point: the last level written (the last point's when
    // every point lies left of the first level).
    float tail = k > 0 ? values[k - 1] : clamp01(piece.y[piece.n - 1]);
    std::fill(values + k, values + count, tail);
}
