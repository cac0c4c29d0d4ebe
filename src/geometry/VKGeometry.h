#pragma once
// Plain geometry values of the vector path subsystem: points, sizes and
// rectangles in double precision, and the rectangle functions that the
// render graph and the export code use.
//
// Two rectangles are special:
// - the null rectangle, "no area at all": origin (+inf, +inf), size 0. Any
//   rectangle whose origin has an infinite coordinate counts as null.
// - the infinite rectangle, "the whole plane": origin (-DBL_MAX/2, -DBL_MAX/2),
//   size (DBL_MAX, DBL_MAX), so that its far edges are still finite.
// A rectangle with a negative width or height is read "standardised": the
// origin moves to the smaller edge and the size becomes positive.
//
// Values only; every function is pure and safe from any thread. The values
// hash and compare, so they serve directly as keys of maps and sets.

#include <cfloat>
#include <cstddef>
#include <functional>
#include <limits>

struct VKPoint {
    double x = 0;
    double y = 0;

    friend bool operator==(VKPoint a, VKPoint b) { return a.x == b.x && a.y == b.y; }
    friend VKPoint operator+(VKPoint a, VKPoint b) { return {a.x + b.x, a.y + b.y}; }
    friend VKPoint operator-(VKPoint a, VKPoint b) { return {a.x - b.x, a.y - b.y}; }
    friend VKPoint operator*(VKPoint a, double s) { return {a.x * s, a.y * s}; }
    friend VKPoint operator*(double s, VKPoint a) { return {a.x * s, a.y * s}; }
};

struct VKSize {
    double width = 0;
    double height = 0;

    friend bool operator==(VKSize a, VKSize b) {
        return a.width == b.width && a.height == b.height;
    }
};

struct VKRect {
    VKPoint origin;
    VKSize size;

    // Field by field; see VKRectEqualToRect for the comparison that treats
    // every null rectangle as equal.
    friend bool operator==(const VKRect& a, const VKRect& b) {
        return a.origin == b.origin && a.size == b.size;
    }
};

inline constexpr VKPoint VKPointMake(double x, double y) {
    return {x, y};
}
inline constexpr VKSize VKSizeMake(double width, double height) {
    return {width, height};
}
inline constexpr VKRect VKRectMake(double x, double y, double width, double height) {
    return {{x, y}, {width, height}};
}

inline constexpr VKRect VKRectNull = {
    {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()}, {0, 0}};
inline constexpr VKRect VKRectInfinite = {{-DBL_MAX / 2, -DBL_MAX / 2}, {DBL_MAX, DBL_MAX}};
inline constexpr VKRect VKRectZero = {{0, 0}, {0, 0}};

// The same rectangle with a non-negative width and height.
VKRect VKRectStandardize(VKRect rect);

bool VKRectIsNull(VKRect rect);
// Null, or of zero width or height (a NaN size counts as empty too).
bool VKRectIsEmpty(VKRect rect);
bool VKRectIsInfinite(VKRect rect);
// Neither null nor infinite.
bool VKRectIsFinite(VKRect rect);

// Field equality, except that any two null rectangles are equal.
bool VKRectEqualToRect(VKRect a, VKRect b);

// The smallest rectangle holding both. A null operand is ignored; two nulls
// give null. A zero-size rectangle that is not null counts as its point.
VKRect VKRectUnion(VKRect a, VKRect b);
// The common part; null when either is null or they are disjoint. Touching
// edges give a rectangle of zero width or height.
VKRect VKRectIntersection(VKRect a, VKRect b);
// Whether the intersection is not null (touching edges count).
bool VKRectIntersectsRect(VKRect a, VKRect b);
// Whether the union of a and b equals a.
bool VKRectContainsRect(VKRect a, VKRect b);
// Half-open: min <= p < max on both axes. Never for the null rectangle.
bool VKRectContainsPoint(VKRect rect, VKPoint point);

// Standardised, origin floored, far edges ceiled. Null stays null.
VKRect VKRectIntegral(VKRect rect);
// Standardised, origin moved by (dx, dy), size shrunk by (2 dx, 2 dy);
// negative amounts grow it. Null stays null.
VKRect VKRectInset(VKRect rect, double dx, double dy);

double VKRectGetMinX(VKRect rect);
double VKRectGetMinY(VKRect rect);
double VKRectGetMaxX(VKRect rect);
double VKRectGetMaxY(VKRect rect);
double VKRectGetMidX(VKRect rect);
double VKRectGetMidY(VKRect rect);
double VKRectGetWidth(VKRect rect);
double VKRectGetHeight(VKRect rect);

namespace vk_detail {
// Hash of doubles that agrees with ==: 0.0 and -0.0 hash alike.
inline size_t hashDouble(double value) {
    return std::hash<double>()(value == 0 ? 0.0 : value);
}
inline size_t hashCombine(size_t seed, double value) {
    return seed ^ (hashDouble(value) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}
}  // namespace vk_detail

template <>
struct std::hash<VKPoint> {
    size_t operator()(VKPoint p) const {
        return vk_detail::hashCombine(vk_detail::hashDouble(p.x), p.y);
    }
};

template <>
struct std::hash<VKSize> {
    size_t operator()(VKSize s) const {
        return vk_detail::hashCombine(vk_detail::hashDouble(s.width), s.height);
    }
};

template <>
struct std::hash<VKRect> {
    size_t operator()(const VKRect& r) const {
        size_t seed = std::hash<VKPoint>()(r.origin);
        seed = vk_detail::hashCombine(seed, r.size.width);
        return vk_detail::hashCombine(seed, r.size.height);
    }
};
