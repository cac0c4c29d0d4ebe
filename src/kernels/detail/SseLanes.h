#pragma once
// Four-lane arithmetic for SSE4.1, the vector twin of ScalarLanes.h: every
// operation does per lane what the float operation there does. Include only
// from a translation unit compiled with -msse4.1.

#include "kernels/detail/ScalarLanes.h"

#include <smmintrin.h>

namespace tarrow_detail {
namespace {

struct F4 {
    __m128 v;
    F4() = default;
    F4(__m128 x) : v(x) {}
    F4(float f) : v(_mm_set1_ps(f)) {}
};
struct M4 {
    __m128 v;
};

inline F4 operator+(F4 a, F4 b) {
    return _mm_add_ps(a.v, b.v);
}
inline F4 operator-(F4 a, F4 b) {
    return _mm_sub_ps(a.v, b.v);
}
inline F4 operator*(F4 a, F4 b) {
    return _mm_mul_ps(a.v, b.v);
}
inline F4 operator/(F4 a, F4 b) {
    return _mm_div_ps(a.v, b.v);
}
inline M4 operator<(F4 a, F4 b) {
    return {_mm_cmplt_ps(a.v, b.v)};
}
inline M4 operator<=(F4 a, F4 b) {
    return {_mm_cmple_ps(a.v, b.v)};
}
inline M4 operator>(F4 a, F4 b) {
    return {_mm_cmpgt_ps(a.v, b.v)};
}
inline M4 operator==(F4 a, F4 b) {
    return {_mm_cmpeq_ps(a.v, b.v)};
}
inline M4 both(M4 a, M4 b) {
    return {_mm_and_ps(a.v, b.v)};
}
inline F4 select(M4 m, F4 a, F4 b) {
    return _mm_blendv_ps(b.v, a.v, m.v);
}
// minps and maxps: (a < b ? a : b) and (a > b ? a : b), as in ScalarLanes.h.
inline F4 min(F4 a, F4 b) {
    return _mm_min_ps(a.v, b.v);
}
inline F4 max(F4 a, F4 b) {
    return _mm_max_ps(a.v, b.v);
}
inline F4 abs(F4 a) {
    return _mm_andnot_ps(_mm_set1_ps(-0.0f), a.v);
}
inline F4 sqrt(F4 a) {
    return _mm_sqrt_ps(a.v);
}

struct SseLanes {
    using V = F4;
    static constexpr uint32_t lanes = 4;

    // Planes load in memory order.
    static V load(const float* p) { return _mm_loadu_ps(p); }
    static void store(float* p, V v) { _mm_storeu_ps(p, v.v); }

    // Four RGBA pixels, transposed to one vector per channel.
    static Px<V> loadRGBA(const float* p) {
        __m128 r = _mm_loadu_ps(p), g = _mm_loadu_ps(p + 4), b = _mm_loadu_ps(p + 8),
               a = _mm_loadu_ps(p + 12);
        _MM_TRANSPOSE4_PS(r, g, b, a);
        return {r, g, b, a};
    }
    static void storeRGBA(float* p, const Px<V>& px) {
        __m128 r = px.r.v, g = px.g.v, b = px.b.v, a = px.a.v;
        _MM_TRANSPOSE4_PS(r, g, b, a);
        _mm_storeu_ps(p, r);
        _mm_storeu_ps(p + 4, g);
        _mm_storeu_ps(p + 8, b);
        _mm_storeu_ps(p + 12, a);
    }
    static GrayAlpha<V> loadGrayAlpha(const float* p) {
        __m128 lo = _mm_loadu_ps(p), hi = _mm_loadu_ps(p + 4);
        return {_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)),
                _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1))};
    }

    // Data movement for scaling, on vectors in memory order. zip interleaves
    // single floats (a0 b0 a1 b1 ...), zip4 groups of four (one RGBA pixel);
    // unzip and unzip4 undo them.
    static V loadRaw(const float* p) { return _mm_loadu_ps(p); }
    static void storeRaw(float* p, V v) { _mm_storeu_ps(p, v.v); }
    static void zip(V a, V b, V& lo, V& hi) {
        lo = _mm_unpacklo_ps(a.v, b.v);
        hi = _mm_unpackhi_ps(a.v, b.v);
    }
    static void unzip(V lo, V hi, V& even, V& odd) {
        even = _mm_shuffle_ps(lo.v, hi.v, _MM_SHUFFLE(2, 0, 2, 0));
        odd = _mm_shuffle_ps(lo.v, hi.v, _MM_SHUFFLE(3, 1, 3, 1));
    }
    static void zip4(V a, V b, V& lo, V& hi) {
        lo = a;
        hi = b;
    }
    static void unzip4(V lo, V hi, V& even, V& odd) {
        even = lo;
        odd = hi;
    }
};

}  // namespace
}  // namespace tarrow_detail
