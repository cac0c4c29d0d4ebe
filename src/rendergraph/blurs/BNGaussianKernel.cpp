#include "rendergraph/blurs/BNGaussianKernel.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

double sanitizedSize(double s) {
    if (!(s > 0)) return 0;  // negative, zero and NaN
    return std::min(s, kMaximumBlurSize);
}

// The integer taps q_i for i = 0 .. hc from the centre outwards, before the
// centre is corrected.
std::vector<int64_t> integerTaps(double s) {
    auto n = static_cast<int64_t>(std::round(10 * s));
    int64_t hc = std::min<int64_t>((n + 1) / 2, 200);
    std::vector<double> w(hc + 1);
    double previous = 1.0;
    for (int64_t i = 0; i <= hc; ++i) {
        double x = (static_cast<double>(i) + 0.5) / s;
        double g = std::exp(-0.5 * (x * x));
        w[i] = (previous + g) / 2;
        previous = g;
    }
    double tail = 0;
    for (int64_t i = 1; i <= hc; ++i)
        tail += w[i];
    double sum = w[0] + 2 * tail;
    std::vector<int64_t> q(hc + 1);
    for (int64_t i = 0; i <= hc; ++i)
        q[i] = std::min<int64_t>(static_cast<int64_t>(std::round(w[i] * 256 / sum)), 256);
    return q;
}

}  // namespace

std::vector<float> BNGaussianTaps(double s) {
    s = sanitizedSize(s);
    std::vector<int64_t> q = integerTaps(s);
    // The taps stop before the first that rounds to 0 (they fall outwards).
    auto radius = static_cast<size_t>(std::find(q.begin(), q.end(), 0) - q.begin());
    radius = radius == 0 ? 0 : radius - 1;
    int64_t total = q[0];
    for (size_t i = 1; i <= radius; ++i)
        total += 2 * q[i];
    q[0] += 256 - total;
    std::vector<float> taps(2 * radius + 1);
    for (size_t i = 0; i <= radius; ++i)
        taps[radius - i] = taps[radius + i] = static_cast<float>(q[i]) / 256.0f;
    return taps;
}

uint64_t BNGaussianKernelRadius(double s) {
    return (BNGaussianTaps(s).size() - 1) / 2;
}

std::vector<uint32_t> BNBoxBlurSizes(double s) {
    s = sanitizedSize(s);
    auto remaining = static_cast<int64_t>(std::round(3 * s * s));
    int64_t planned = 3;
    std::vector<uint32_t> sizes;
    while (remaining > 0) {
        int64_t q = planned > 1 ? remaining / planned : remaining;
        double root = (std::sqrt(4.0 * static_cast<double>(q) + 1) - 1) / 2;
        int64_t n = root > 511 ? 510 : static_cast<int64_t>(root - 1);
        while (n <= 510 && (n + 2) * (n + 1) <= q)
            ++n;
        if (n < 1 && planned < 2) break;
        sizes.push_back(static_cast<uint32_t>(n));
        remaining -= n * (n + 1);
        --planned;
    }
    std::sort(sizes.begin(), sizes.end(), std::greater<>());
    return sizes;
}

uint64_t BNGaussianExpansion(double s) {
    if (!(s > kMaximumGaussianSize)) return BNGaussianKernelRadius(s);
    uint64_t sum = 0;
    for (uint32_t n : BNBoxBlurSizes(s))
        sum += n;
    return sum;
}
