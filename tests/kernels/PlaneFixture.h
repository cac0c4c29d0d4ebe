#pragma once
// Planes for kernel tests: rows of floats with padding after each row filled
// with a guard pattern, starting off any vector alignment, so that tests can
// check that kernels write exactly the pixels they should; and the reference
// kernels that most tests check.

#include "kernels/TarrowKernelSet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace kernels_test {

inline const TarrowKernelSet& k() {
    return *TarrowKernelSetFor(TarrowIsa::reference);
}

// A float that no kernel under test produces from the test's inputs.
constexpr float kGuard = -31337.25f;

class TestPlane {
public:
    // `channels` floats per pixel; rows padded by an odd number of floats.
    TestPlane(uint32_t width, uint32_t height, uint32_t channels, uint32_t padding = 3)
        : width_(width),
          height_(height),
          channels_(channels),
          strideFloats_(width * channels + padding),
          storage_(1 + size_t(strideFloats_) * height + 1, kGuard) {}

    float* data() { return storage_.data() + 1; }  // 1 float past the allocation's alignment
    const float* data() const { return storage_.data() + 1; }
    uint32_t stride() const { return strideFloats_ * sizeof(float); }
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }

    float& at(uint32_t x, uint32_t y, uint32_t c = 0) {
        return data()[size_t(y) * strideFloats_ + size_t(x) * channels_ + c];
    }
    float at(uint32_t x, uint32_t y, uint32_t c = 0) const {
        return data()[size_t(y) * strideFloats_ + size_t(x) * channels_ + c];
    }

    void fill(float value) {
        for (uint32_t y = 0; y < height_; ++y)
            for (uint32_t i = 0; i < width_ * channels_; ++i)
                at(0, y, i) = value;
    }

    // Random samples in [-0.1, 1.1] with many exact 0s, 1s and halves, and
    // alphas below the kernels' floor, so every branch is taken.
    void randomize(std::mt19937& random) {
        std::uniform_real_distribution<float> spread(-0.1f, 1.1f);
        std::uniform_int_distribution<int> pick(0, 9);
        const float specials[] = {0.0f, 1.0f, 0.5f, 0.00005f, 0.25f};
        for (uint32_t y = 0; y < height_; ++y)
            for (uint32_t i = 0; i < width_ * channels_; ++i) {
                const int p = pick(random);
                at(0, y, i) = p < 5 ? specials[p] : spread(random);
            }
    }

    // Whether every float outside the pixels still holds the guard pattern.
    bool guardsIntact() const {
        auto isGuard = [](float v) { return v == kGuard; };
        if (!isGuard(storage_.front()) || !isGuard(storage_.back())) return false;
        for (uint32_t y = 0; y < height_; ++y)
            for (uint32_t i = width_ * channels_; i < strideFloats_; ++i)
                if (!isGuard(data()[size_t(y) * strideFloats_ + i])) return false;
        return true;
    }

    // Whether the pixels of two planes of one shape are equal bit for bit
    // (any two NaNs count as equal).
    bool samePixels(const TestPlane& other) const {
        for (uint32_t y = 0; y < height_; ++y)
            for (uint32_t i = 0; i < width_ * channels_; ++i) {
                const float a = at(0, y, i), b = other.at(0, y, i);
                if (std::isnan(a) && std::isnan(b)) continue;
                if (std::memcmp(&a, &b, sizeof a) != 0) return false;
            }
        return true;
    }

private:
    uint32_t width_, height_, channels_, strideFloats_;
    std::vector<float> storage_;
};

}  // namespace kernels_test
