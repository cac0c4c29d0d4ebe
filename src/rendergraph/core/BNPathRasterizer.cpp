#include "rendergraph/core/BNPathRasterizer.h"

#include "geometry/VKPathAccumulator.h"
#include "geometry/VKPathStroker.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace {

using int128 = __int128;

// Far beyond any document, and small enough that every product of two
// coordinate differences, and every curve evaluation, fits in 128 bits.
constexpr double kPointLimit = 68719476736.0;  // 2^36 in 1/32 of a point
constexpr int64_t kFactorLimit = int64_t{1} << 16;
constexpr double kGridLimit = 268435456.0;  // sub-samples along one side of a bitmap

// Parameters of the curve splits: t = k / 2^30.
constexpr int kParameterBits = 30;
constexpr int64_t kParameterOne = int64_t{1} << kParameterBits;
constexpr int kFlatteningDepth = 7;

int64_t clampedRound(double value, double limit) {
    if (!(value == value)) return 0;
    return static_cast<int64_t>(std::round(std::clamp(value, -limit, limit)));
}

// A bitmap origin in sub-samples, truncated toward zero.
int64_t originSubsample(double subsamples) {
    if (!(subsamples == subsamples)) return 0;
    return static_cast<int64_t>(std::trunc(std::clamp(subsamples, -1e15, 1e15)));
}

int32_t gridSize(double subsamples) {
    return subsamples >= 0 && subsamples < kGridLimit ? static_cast<int32_t>(subsamples) : -1;
}

using Cubic = std::array<BNFixedPoint, 4>;

// a + t (b - a), t = k / 2^30, rounded to the nearest unit (halves up).
int64_t interpolate(int64_t a, int64_t b, int64_t k) {
    int128 offset = static_cast<int128>(k) * (b - a) + (kParameterOne >> 1);
    return a + static_cast<int64_t>(offset >> kParameterBits);
}

BNFixedPoint interpolate(BNFixedPoint a, BNFixedPoint b, int64_t k) {
    return {interpolate(a.x, b.x, k), interpolate(a.y, b.y, k)};
}

// De Casteljau's split at t = k / 2^30.
void split(const Cubic& c, int64_t k, Cubic& left, Cubic& right) {
    BNFixedPoint p01 = interpolate(c[0], c[1], k), p12 = interpolate(c[1], c[2], k),
                 p23 = interpolate(c[2], c[3], k);
    BNFixedPoint p012 = interpolate(p01, p12, k), p123 = interpolate(p12, p23, k);
    BNFixedPoint p0123 = interpolate(p012, p123, k);
    left = {c[0], p01, p012, p0123};
    right = {p0123, p123, p23, c[3]};
}

// The quadratic d0 (1 - t)^2 + 2 d1 t (1 - t) + d2 t^2 at t = k / 2^30,
// times 2^60.
int128 quadraticAt(int64_t d0, int64_t d1, int64_t d2, int64_t k) {
    int128 s = kParameterOne - k, t = k;
    return d0 * s * s + 2 * d1 * t * s + d2 * t * t;
}

// The first t = k / 2^30 in (0, 1) at which the quadratic with control
// values d0, d1, d2 (the derivative of one coordinate of a cubic) has
// changed sign, found by bisection; none when it keeps its sign.
std::optional<int64_t> firstSignChange(int64_t d0, int64_t d1, int64_t d2) {
    if (d0 < 0) {
        d0 = -d0;
        d1 = -d1;
        d2 = -d2;
    }
    if (d0 == 0 && d2 == 0) return std::nullopt;
    if (d0 == 0 && d2 < 0 && d1 <= 0) return std::nullopt;
    if (d0 == 0 && d2 > 0 && d1 >= 0) return std::nullopt;
    if (d2 >= 0 && d1 >= 0) return std::nullopt;

    // sign(k) is the sign of the function that changes; it is `startSign`
    // at `low` and not at `high`.
    auto bisect = [](auto sign, int startSign, int64_t low, int64_t high) {
        while (high - low > 1) {
            int64_t middle = low + (high - low) / 2;
            (sign(middle) == startSign ? low : high) = middle;
        }
        return high;
    };
    auto signOf = [](int128 value) { return value > 0 ? 1 : value < 0 ? -1 : 0; };

    if (d0 == 0) {
        // The quadratic is t (2 d1 (1 - t) + d2 t); the second factor, a
        // line, changes sign once.
        auto line = [&](int64_t k) {
            return signOf(static_cast<int128>(2 * d1) * (kParameterOne - k) +
                          static_cast<int128>(d2) * k);
        };
        return bisect(line, d1 > 0 ? 1 : -1, 0, kParameterOne);
    }
    auto quadratic = [&](int64_t k) { return signOf(quadraticAt(d0, d1, d2, k)); };
    if (d2 < 0) return bisect(quadratic, 1, 0, kParameterOne);
    // d0 > 0, d2 >= 0, d1 < 0: positive at both ends; it changes sign only
    // if its lowest point, at t = (d0 - d1) / (d0 - 2 d1 + d2), lies below 0.
    int128 numerator = static_cast<int128>(d0) - d1;
    int128 denominator = static_cast<int128>(d0) - 2 * static_cast<int128>(d1) + d2;
    auto lowest = static_cast<int64_t>(numerator * kParameterOne / denominator);
    for (int64_t k : {lowest, lowest + 1})
        if (k < kParameterOne && quadratic(k) < 0) return bisect(quadratic, 1, 0, k);
    return std::nullopt;
}

// Splits a cubic where one coordinate turns, into one to three pieces
// monotonic in it.
template <typename Coordinate>
void splitAtTurns(const Cubic& cubic, Coordinate coordinate, std::vector<Cubic>& pieces) {
    auto differences = [&](const Cubic& c, bool fromRest) {
        return std::array<int64_t, 3>{fromRest ? 0 : coordinate(c[1]) - coordinate(c[0]),
                                      coordinate(c[2]) - coordinate(c[1]),
                                      coordinate(c[3]) - coordinate(c[2])};
    };
    auto d = differences(cubic, false);
    std::optional<int64_t> first = firstSignChange(d[0], d[1], d[2]);
    if (!first) {
        pieces.push_back(cubic);
        return;
    }
    Cubic left, right;
    split(cubic, *first, left, right);
    pieces.push_back(left);
    // The derivative is zero where the first split was made.
    d = differences(right, true);
    std::optional<int64_t> second = firstSignChange(d[0], d[1], d[2]);
    if (!second) {
        pieces.push_back(right);
        return;
    }
    Cubic middle, last;
    split(right, *second, middle, last);
    pieces.push_back(middle);
    pieces.push_back(last);
}

int64_t saturated32(int128 value) {
    return value > INT32_MAX || value < INT32_MIN ? INT32_MAX : static_cast<int64_t>(value);
}

BNFixedPoint cellOf(BNFixedPoint p) {
    return {p.x >> 5, p.y >> 5};
}

// Appends the end points of lines within about one sub-sample of the cubic.
void flattenCubic(const Cubic& c, int depth, std::vector<BNFixedPoint>& points) {
    if (depth == 0) {
        points.push_back(c[3]);
        return;
    }
    BNFixedPoint c0 = cellOf(c[0]), c1 = cellOf(c[1]), c2 = cellOf(c[2]), c3 = cellOf(c[3]);
    if (c1 == c0 && c2 == c3) {
        points.push_back(c[3]);
        return;
    }
    int64_t dx = c3.x - c0.x, dy = c3.y - c0.y;
    int64_t adx = std::llabs(dx), ady = std::llabs(dy);
    int64_t d = std::max(adx, ady) + std::min(adx, ady) / 2;
    if (d == 0) {
        points.push_back(c[3]);
        return;
    }
    int64_t e1 =
        saturated32(static_cast<int128>(c1.y - c0.y) * dx - static_cast<int128>(c1.x - c0.x) * dy);
    int64_t e2 =
        saturated32(static_cast<int128>(c2.y - c3.y) * dx - static_cast<int128>(c2.x - c3.x) * dy);
    if (std::llabs(e1) <= d && std::llabs(e2) <= d) {
        points.push_back(c[3]);
        return;
    }
    auto half = [](int64_t sum, int shift) { return (sum + (int64_t{1} << (shift - 1))) >> shift; };
    auto mix = [&](int64_t w0, int64_t w1, int64_t w2, int64_t w3, int shift) {
        return BNFixedPoint{half(w0 * c[0].x + w1 * c[1].x + w2 * c[2].x + w3 * c[3].x, shift),
                            half(w0 * c[0].y + w1 * c[1].y + w2 * c[2].y + w3 * c[3].y, shift)};
    };
    BNFixedPoint middle = mix(1, 3, 3, 1, 3);
    Cubic left{c[0], mix(1, 1, 0, 0, 1), mix(1, 2, 1, 0, 2), middle};
    Cubic right{middle, mix(0, 1, 2, 1, 2), mix(0, 0, 1, 1, 1), c[3]};
    flattenCubic(left, depth - 1, points);
    flattenCubic(right, depth - 1, points);
}

double sampleCount(double samples, double fallback) {
    return samples < 1.0 ? fallback : samples;
}

bool allClosed(const VKCompoundPath& compoundPath) {
    return std::all_of(compoundPath.paths().begin(), compoundPath.paths().end(),
                       [](const auto& path) { return path && path->isClosed(); });
}

// The outline of the stroke of `path`, to be filled non-zero.
VKCompoundPath strokeOutlineOfPath(const VKPath& path, const VKStrokeStyle& style) {
    auto outline = std::make_shared<VKPathAccumulator>();
    VKPathStroker stroker(outline, style);
    path.applyToPathConsumer(stroker);
    return VKCompoundPath(outline->paths(), VKFillRuleNonZero);
}

}  // namespace

BNPathRasterizer::BNPathRasterizer(uint64_t width, uint64_t height, bool filled, double originX,
                                   double originY, double scaleFactor, double samplesX,
                                   double samplesY)
    : samplesX_(samplesX),
      samplesY_(samplesY),
      xFactor_(
          std::clamp<int64_t>(clampedRound(scaleFactor * samplesX * 32, 1e18), 0, kFactorLimit)),
      yFactor_(
          std::clamp<int64_t>(clampedRound(scaleFactor * samplesY * 32, 1e18), 0, kFactorLimit)),
      spans_(originSubsample(originX * samplesX * scaleFactor),
             originSubsample(originY * samplesY * scaleFactor),
             gridSize(static_cast<double>(width) * samplesX),
             gridSize(static_cast<double>(height) * samplesY), filled) {}

int64_t BNPathRasterizer::fixedCoordinate(double value, int64_t factor) {
    int128 product = static_cast<int128>(clampedRound(value * 32, kPointLimit)) * factor;
    return static_cast<int64_t>(product >> 5);
}

BNFixedPoint BNPathRasterizer::fixedPoint(VKPoint point) const {
    return {fixedCoordinate(point.x, xFactor_), fixedCoordinate(point.y, yFactor_)};
}

void BNPathRasterizer::addSegment(const VKPathSegment& segment) {
    const VKPoint points[4] = {segment.start, segment.controlPoint1, segment.controlPoint2,
                               segment.end};
    Cubic cubic;
    int64_t lowY = INT64_MAX, highY = INT64_MIN;
    for (size_t i = 0; i < 4; ++i) {
        cubic[i].y = fixedCoordinate(points[i].y, yFactor_);
        lowY = std::min(lowY, cubic[i].y);
        highY = std::max(highY, cubic[i].y);
    }
    // Splitting and flattening round to points between the control points,
    // so a segment whose control points lie wholly above or below the rows
    // (a tile's share of a long outline, mostly) records nothing.
    if (!spans_.mayCrossRows(lowY, highY)) return;
    for (size_t i = 0; i < 4; ++i)
        cubic[i].x = fixedCoordinate(points[i].x, xFactor_);

    monotonicInY_.clear();
    pieces_.clear();
    splitAtTurns(
        cubic, [](BNFixedPoint p) { return p.y; }, monotonicInY_);
    for (const Cubic& piece : monotonicInY_)
        splitAtTurns(
            piece, [](BNFixedPoint p) { return p.x; }, pieces_);
    for (const Cubic& piece : pieces_) {
        points_.clear();
        points_.push_back(piece[0]);
        flattenCubic(piece, kFlatteningDepth, points_);
        spans_.addPolyline(points_.data(), points_.size());
    }
}

void BNPathRasterizer::addCompoundPath(const VKCompoundPath& compoundPath,
                                       VKBooleanOperation operation) {
    for (const auto& path : compoundPath.paths()) {
        if (!path) continue;
        size_t segments = path->numberOfSegments();
        for (size_t i = 0; i < segments; ++i)
            addSegment(path->segmentAtIndex(i));
        if (!path->isClosed() && segments > 0) {
            BNFixedPoint closing[2] = {fixedPoint(path->segmentAtIndex(segments - 1).end),
                                       fixedPoint(path->segmentAtIndex(0).start)};
            spans_.addPolyline(closing, 2);
        }
    }
    spans_.combine(operation, compoundPath.fillRule());
}

void BNPathRasterizer::addStrokedPath(const VKPath& path, const VKStrokeStyle& style) {
    addCompoundPath(strokeOutlineOfPath(path, style), VKBooleanOperationAdd);
}

bool BNPathRasterizer::writeCoverage(const BNCoverageBitmap& bitmap) const {
    return spans_.writeCoverage(bitmap, samplesX_, samplesY_);
}

bool BNRasterizeCompoundPaths(const BNCompoundPathList& compoundPaths,
                              const std::vector<VKBooleanOperation>& operations,
                              bool initiallyFilled, const BNCoverageBitmap& bitmap, double originX,
                              double originY, double scaleFactor, double samplesX,
                              double samplesY) {
    if (compoundPaths.empty() || operations.size() != compoundPaths.size()) return false;
    bool filled = initiallyFilled;
    if (operations[0] == VKBooleanOperationSubtract || operations[0] == VKBooleanOperationIntersect)
        filled = true;
    else if (operations[0] == VKBooleanOperationAdd)
        filled = false;
    BNPathRasterizer rasterizer(bitmap.width, bitmap.height, filled, originX, originY, scaleFactor,
                                sampleCount(samplesX, 17.0), sampleCount(samplesY, 5.0));
    for (size_t i = 0; i < compoundPaths.size(); ++i)
        if (compoundPaths[i]) rasterizer.addCompoundPath(*compoundPaths[i], operations[i]);
    return rasterizer.writeCoverage(bitmap);
}

BNStrokeOutline BNStrokeOutlineOfCompoundPath(const VKCompoundPath& compoundPath,
                                              const VKStrokeStyle& style, bool shouldFill,
                                              bool shouldOverprint) {
    const bool closed = allClosed(compoundPath);
    VKStrokeStyle used = style;
    if (shouldOverprint && style.position() == VKStrokePositionInside && closed &&
        style.dashPattern().empty()) {
        used.setWidth(style.width() * 2);
        used.setPosition(VKStrokePositionCentered);
    }
    BNStrokeOutline outline;
    // The stroker takes a closed path's enclosed side as its inside; a
    // hole's enclosed side is where the shape is empty, so its inside and
    // outside strokes change sides, and every one-sided stroke lies on the
    // filled (inside) or empty (outside) side of its path.
    std::vector<bool> holes;
    VKStrokeStyle aroundHoles = used;
    if (used.position() != VKStrokePositionCentered) {
        holes = compoundPath.holes();
        aroundHoles.setPosition(used.position() == VKStrokePositionInside ? VKStrokePositionOutside
                                                                          : VKStrokePositionInside);
    }
    for (size_t i = 0; i < compoundPath.paths().size(); ++i)
        if (const auto& path = compoundPath.paths()[i])
            outline.strokes.push_back(
                strokeOutlineOfPath(*path, i < holes.size() && holes[i] ? aroundHoles : used));
    outline.shape = compoundPath;
    if (shouldFill) {
        outline.shapeOperation = VKBooleanOperationAdd;
    } else if (!shouldOverprint && closed) {
        if (used.position() == VKStrokePositionInside)
            outline.shapeOperation = VKBooleanOperationIntersect;
        else if (used.position() == VKStrokePositionOutside)
            outline.shapeOperation = VKBooleanOperationSubtract;
    }
    return outline;
}

bool BNRasterizeStrokeOutline(const BNStrokeOutline& outline, const BNCoverageBitmap& bitmap,
                              double originX, double originY, double scaleFactor, double samplesX,
                              double samplesY) {
    BNPathRasterizer rasterizer(bitmap.width, bitmap.height, false, originX, originY, scaleFactor,
                                sampleCount(samplesX, 17.0), sampleCount(samplesY, 5.0));
    for (const VKCompoundPath& stroke : outline.strokes)
        rasterizer.addCompoundPath(stroke, VKBooleanOperationAdd);
    if (outline.shapeOperation) rasterizer.addCompoundPath(outline.shape, *outline.shapeOperation);
    return rasterizer.writeCoverage(bitmap);
}

bool BNRasterizeStrokedCompoundPath(const VKCompoundPath& compoundPath, const VKStrokeStyle& style,
                                    bool shouldFill, bool shouldOverprint,
                                    const BNCoverageBitmap& bitmap, double originX, double originY,
                                    double scaleFactor, double samplesX, double samplesY) {
    return BNRasterizeStrokeOutline(
        BNStrokeOutlineOfCompoundPath(compoundPath, style, shouldFill, shouldOverprint), bitmap,
        originX, originY, scaleFactor, samplesX, samplesY);
}
