#pragma once
// One-lane arithmetic for the kernel bodies of StreamingKernelBodies.h, and the
// row and batch loops that drive them.
//
// A kernel body is written once, as a template over a "lane type" V: float
// here, a vector of 4 or 8 floats in SseLanes.h and Avx2Lanes.h. Every
// operation of a vector type does per lane exactly what the float operation
// here does (same IEEE operation, same NaN rule), so a body gives the same
// bits whatever type runs it. perPixel below runs a vector type over whole
// batches of pixels and this one over the remainder of a row; the reference
// set runs this one alone, in chunks laid out for the compiler's vectoriser.
//
// Everything here has internal linkage: each instruction-set translation
// unit compiles its own copy with its own compiler flags, and the linker can
// never substitute one unit's copy for another's.

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace tarrow_detail {
namespace {

// min and max return the second operand where the comparison fails, as the
// processor's vector min and max do; so clamp01 turns NaN into 0.
inline float min(float a, float b) {
    return a < b ? a : b;
}
inline float max(float a, float b) {
    return a > b ? a : b;
}
inline float select(bool m, float a, float b) {
    return m ? a : b;
}
inline bool both(bool a, bool b) {
    return a && b;
}
inline float abs(float a) {
    return __builtin_fabsf(a);
}
inline float sqrt(float a) {
    return __builtin_sqrtf(a);
}

template <class V>
inline V clamp01(V v) {
    return min(max(v, V(0.0f)), V(1.0f));
}

// One premultiplied RGBA pixel (or a batch of them), and a colour.
template <class V>
struct Px {
    V r, g, b, a;
};
// Px of the channels' lane type, deduced (which braces alone do not do
// before clang 17).
template <class V>
inline Px<V> makePx(V r, V g, V b, V a) {
    return {r, g, b, a};
}
template <class V>
struct Rgb {
    V r, g, b;
};
template <class V>
struct GrayAlpha {
    V gray, alpha;
};

// Lane operations of one float: loads and stores of the pixel layouts.
struct ScalarLanes {
    using V = float;
    static constexpr uint32_t lanes = 1;
    static V load(const float* p) { return *p; }
    static void store(float* p, V v) { *p = v; }
    static Px<V> loadRGBA(const float* p) { return {p[0], p[1], p[2], p[3]}; }
    static void storeRGBA(float* p, const Px<V>& v) {
        p[0] = v.r;
        p[1] = v.g;
        p[2] = v.b;
        p[3] = v.a;
    }
    static GrayAlpha<V> loadGrayAlpha(const float* p) { return {p[0], p[1]}; }
};

// Row `y` of a plane whose rows are `stride` bytes apart.
template <class T>
inline T* rowAt(T* base, size_t y, uint32_t stride) {
    if constexpr (std::is_const_v<T>)
        return reinterpret_cast<T*>(reinterpret_cast<const char*>(base) + y * stride);
    else
        return reinterpret_cast<T*>(reinterpret_cast<char*>(base) + y * stride);
}

// Calls step(Lanes{}, x) for every batch of Wide::lanes pixels that fits in
// the row, then step(ScalarLanes{}, x) for each remaining pixel.
template <class Wide, class Step>
inline void forEachBatch(uint32_t width, Step&& step) {
    uint32_t x = 0;
    if constexpr (Wide::lanes > 1)
        for (; width - x >= Wide::lanes; x += Wide::lanes)
            step(Wide{}, x);
    for (; x < width; ++x)
        step(ScalarLanes{}, x);
}

// A run of up to kChunkPixels pixels of one plane, one array per channel.
constexpr uint32_t kChunkPixels = 64;
template <uint32_t kFloats>
struct Chunk {
    float channel[kFloats][kChunkPixels];

    void gather(const float* row, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i)
            for (uint32_t c = 0; c < kFloats; ++c)
                channel[c][i] = row[kFloats * i + c];
    }
    void scatter(float* row, uint32_t count) const {
        for (uint32_t i = 0; i < count; ++i)
            for (uint32_t c = 0; c < kFloats; ++c)
                row[kFloats * i + c] = channel[c][i];
    }
};

// One chunk per input of a kernel; of<I, Layout>() is input I's.
template <size_t I, uint32_t kFloats>
struct InputChunk : Chunk<kFloats> {};
template <class Indices, class... Layouts>
struct Chunks;
template <size_t... I, class... Layouts>
struct Chunks<std::index_sequence<I...>, Layouts...> : InputChunk<I, Layouts::floats>... {
    template <size_t J, class Layout>
    InputChunk<J, Layout::floats>& of() {
        return *this;
    }
};

// Pixel layouts of a plane, for perPixel below: loads and stores of lanes,
// and reads and writes of one pixel of a chunk.
struct Rgba {
    static constexpr uint32_t floats = 4;
    template <class L>
    static auto load(const float* p) {
        return L::loadRGBA(p);
    }
    template <class L, class P>
    static void store(float* p, const P& v) {
        L::storeRGBA(p, v);
    }
    static Px<float> get(const Chunk<4>& c, uint32_t i) {
        return {c.channel[0][i], c.channel[1][i], c.channel[2][i], c.channel[3][i]};
    }
    static void put(Chunk<4>& c, uint32_t i, const Px<float>& v) {
        c.channel[0][i] = v.r;
        c.channel[1][i] = v.g;
        c.channel[2][i] = v.b;
        c.channel[3][i] = v.a;
    }
};
struct Plane {
    static constexpr uint32_t floats = 1;
    template <class L>
    static auto load(const float* p) {
        return L::load(p);
    }
    template <class L, class P>
    static void store(float* p, const P& v) {
        L::store(p, v);
    }
    static float get(const Chunk<1>& c, uint32_t i) { return c.channel[0][i]; }
    static void put(Chunk<1>& c, uint32_t i, float v) { c.channel[0][i] = v; }
};
struct GrayAlphaPlane {
    static constexpr uint32_t floats = 2;
    template <class L>
    static auto load(const float* p) {
        return L::loadGrayAlpha(p);
    }
    static GrayAlpha<float> get(const Chunk<2>& c, uint32_t i) {
        return {c.channel[0][i], c.channel[1][i]};
    }
};

template <class L>
struct In {
    using Layout = L;
    const float* base;
    uint32_t stride;
};
template <class Layout>
struct Out {
    float* base;
    uint32_t stride;
};

// One chunk of `count` pixels from column x of row y, on one-float lanes:
// the inputs are copied into per-channel arrays, fn runs over them in a plain
// loop that the compiler vectorises (the arrays cannot alias the planes),
// and the results are copied out.
template <class OutLayout, class Fn, class... InLayouts, size_t... I>
inline void perChunk(float* o, [[maybe_unused]] size_t y, uint32_t x, uint32_t count, Fn& fn,
                     std::index_sequence<I...>, const In<InLayouts>&... in) {
    [[maybe_unused]] Chunks<std::index_sequence<I...>, InLayouts...> inputs;
    (inputs.template of<I, InLayouts>().gather(rowAt(in.base, y, in.stride) + InLayouts::floats * x,
                                               count),
     ...);
    Chunk<OutLayout::floats> results;
    for (uint32_t i = 0; i < count; ++i)
        OutLayout::put(results, i,
                       fn(ScalarLanes{}, InLayouts::get(inputs.template of<I, InLayouts>(), i)...));
    results.scatter(o + OutLayout::floats * x, count);
}

// Runs fn(lanes, inputs...) over every pixel and stores its result in the
// output. All inputs of a batch or chunk are loaded before its output is
// stored, so the output may be one of the inputs. Vector lanes run over
// whole batches and one-float lanes over the rest of each row; one-float
// lanes alone (the reference set) go chunk by chunk.
template <class Wide, class OutLayout, class Fn, class... InLayouts>
inline void perPixel(Out<OutLayout> out, uint32_t width, int32_t height, Fn fn,
                     In<InLayouts>... in) {
    for (int32_t y = 0; y < height; ++y) {
        float* o = rowAt(out.base, size_t(y), out.stride);
        if constexpr (Wide::lanes == 1) {
            for (uint32_t x = 0; x < width; x += kChunkPixels)
                perChunk<OutLayout>(o, size_t(y), x,
                                    width - x < kChunkPixels ? width - x : kChunkPixels, fn,
                                    std::index_sequence_for<InLayouts...>{}, in...);
        } else {
            forEachBatch<Wide>(width, [&](auto lanes, uint32_t x) {
                using L = decltype(lanes);
                OutLayout::template store<L>(
                    o + OutLayout::floats * x,
                    fn(lanes, InLayouts::template load<L>(rowAt(in.base, size_t(y), in.stride) +
                                                          InLayouts::floats * x)...));
            });
        }
    }
}

}  // namespace
}  // namespace tarrow_detail
