#pragma once
// Eight-lane arithmetic for AVX2, the vector twin of ScalarLanes.h: every
// operation does per lane what the float operation there does. Include only
// from a translation unit compiled with -mavx2 (and without -mfma: products
// and sums must stay separate roundings).

#include "kernels/detail/ScalarLanes.h"

#include <immintrin.h>

namespace tarrow_detail {
namespace {

struct F8 {
    __m256 v;
    F8() = default;
    F8(__m256 x) : v(x) {}
    F8(float f) : v(_mm256_set1_ps(f)) {}
};
struct M8 {
    __m256 v;
};

inline F8 operator+(F8 a, F8 b) {
    return _mm256_add_ps(a.v, b.v);
}
inline F8 operator-(F8 a, F8 b) {
    return _mm256_sub_ps(a.v, b.v);
}
inline F8 operator*(F8 a, F8 b) {
    return _mm256_mul_ps(a.v, b.v);
}
inline F8 operator/(F8 a, F8 b) {
    return _mm256_div_ps(a.v, b.v);
}
// Ordered, quiet comparisons: false where either operand is NaN, as in C++.
inline M8 operator<(F8 a, F8 b) {
    return {_mm256_cmp_ps(a.v, b.v, _CMP_LT_OQ)};
}
inline M8 operator<=(F8 a, F8 b) {
    return {_mm256_cmp_ps(a.v, b.v, _CMP_LE_OQ)};
}
inline M8 operator>(F8 a, F8 b) {
    return {_mm256_cmp_ps(a.v, b.v, _CMP_GT_OQ)};
}
inline M8 operator==(F8 a, F8 b) {
    return {_mm256_cmp_ps(a.v, b.v, _CMP_EQ_OQ)};
}
inline M8 both(M8 a, M8 b) {
    return {_mm256_and_ps(a.v, b.v)};
}
inline F8 select(M8 m, F8 a, F8 b) {
    return _mm256_blendv_ps(b.v, a.v, m.v);
}
inline F8 min(F8 a, F8 b) {
    return _mm256_min_ps(a.v, b.v);
}
inline F8 max(F8 a, F8 b) {
    return _mm256_max_ps(a.v, b.v);
}
inline F8 abs(F8 a) {
    return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), a.v);
}
inline F8 sqrt(F8 a) {
    return _mm256_sqrt_ps(a.v);
}

struct Avx2Lanes {
    using V = F8;
    static constexpr uint32_t lanes = 8;

    // The RGBA transpose below works within each 128-bit half, so a channel
    // vector holds pixels 0 2 4 6 1 3 5 7. Planes are loaded into the same
    // lane order so that lane i is one pixel in every vector of a batch.
    static __m256i planeOrder() { return _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7); }
    static __m256i memoryOrder() { return _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7); }

    static V load(const float* p) {
        return _mm256_permutevar8x32_ps(_mm256_loadu_ps(p), planeOrder());
    }
    static void store(float* p, V v) {
        _mm256_storeu_ps(p, _mm256_permutevar8x32_ps(v.v, memoryOrder()));
    }

    static Px<V> loadRGBA(const float* p) {
        // m0 holds pixels 0 and 1, m1 pixels 2 and 3, and so on.
        __m256 m0 = _mm256_loadu_ps(p), m1 = _mm256_loadu_ps(p + 8), m2 = _mm256_loadu_ps(p + 16),
               m3 = _mm256_loadu_ps(p + 24);
        __m256 t0 = _mm256_unpacklo_ps(m0, m1), t1 = _mm256_unpackhi_ps(m0, m1),
               t2 = _mm256_unpacklo_ps(m2, m3), t3 = _mm256_unpackhi_ps(m2, m3);
        return {_mm256_shuffle_ps(t0, t2, 0x44), _mm256_shuffle_ps(t0, t2, 0xEE),
                _mm256_shuffle_ps(t1, t3, 0x44), _mm256_shuffle_ps(t1, t3, 0xEE)};
    }
    static void storeRGBA(float* p, const Px<V>& px) {
        __m256 t0 = _mm256_unpacklo_ps(px.r.v, px.g.v), t1 = _mm256_unpacklo_ps(px.b.v, px.a.v),
               t2 = _mm256_unpackhi_ps(px.r.v, px.g.v), t3 = _mm256_unpackhi_ps(px.b.v, px.a.v);
        _mm256_storeu_ps(p, _mm256_shuffle_ps(t0, t1, 0x44));
        _mm256_storeu_ps(p + 8, _mm256_shuffle_ps(t0, t1, 0xEE));
        _mm256_storeu_ps(p + 16, _mm256_shuffle_ps(t2, t3, 0x44));
        _mm256_storeu_ps(p + 24, _mm256_shuffle_ps(t2, t3, 0xEE));
    }
    static GrayAlpha<V> loadGrayAlpha(const float* p) {
        // The in-half shuffle yields pixels 0 1 4 5 2 3 6 7; reorder to the
        // lane order of planes.
        __m256 lo = _mm256_loadu_ps(p), hi = _mm256_loadu_ps(p + 8);
        const __m256i order = _mm256_setr_epi32(0, 4, 2, 6, 1, 5, 3, 7);
        return {_mm256_permutevar8x32_ps(_mm256_shuffle_ps(lo, hi, 0x88), order),
                _mm256_permutevar8x32_ps(_mm256_shuffle_ps(lo, hi, 0xDD), order)};
    }

    // Data movement for scaling, on vectors in memory order (see SseLanes.h).
    static V loadRaw(const float* p) { return _mm256_loadu_ps(p); }
    static void storeRaw(float* p, V v) { _mm256_storeu_ps(p, v.v); }
    static void zip(V a, V b, V& lo, V& hi) {
        __m256 l = _mm256_unpacklo_ps(a.v, b.v), h = _mm256_unpackhi_ps(a.v, b.v);
        lo = _mm256_permute2f128_ps(l, h, 0x20);
        hi = _mm256_permute2f128_ps(l, h, 0x31);
    }
    static void unzip(V lo, V hi, V& even, V& odd) {
        // Within halves this gives lo's evens, hi's evens, lo's, hi's; then
        // the middle 64-bit pairs swap places.
        __m256 e = _mm256_shuffle_ps(lo.v, hi.v, 0x88), o = _mm256_shuffle_ps(lo.v, hi.v, 0xDD);
        even = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(e), 0xD8));
        odd = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(o), 0xD8));
    }
    static void zip4(V a, V b, V& lo, V& hi) {
        lo = _mm256_permute2f128_ps(a.v, b.v, 0x20);
        hi = _mm256_permute2f128_ps(a.v, b.v, 0x31);
    }
    static void unzip4(V lo, V hi, V& even, V& odd) { zip4(lo, hi, even, odd); }
};

}  // namespace
}  // namespace tarrow_detail
