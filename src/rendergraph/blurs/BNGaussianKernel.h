#pragma once
// The kernels of the Gaussian blur: for a blur of standard deviation s
// pixels, either one exact separable convolution with integer taps (s up to
// 2 pixels) or a series of box blurs whose variances add up to s^2.
//
// Taps (s <= 2). With n = round(10 s), hc = min((n + 1) / 2, 200) and
//   g_i = exp(-0.5 ((i + 0.5) / s)^2),  w_i = (g_(i-1) + g_i) / 2, g_(-1) = 1
// for i = 0 .. hc (the Gaussian's mean over pixel i, by the trapezoid
// rule), S = w_0 + 2 (w_1 + ... + w_hc). Tap i on either side of the centre
// is round(w_i 256 / S) / 256; the taps stop before the first that rounds
// to 0, and the centre takes what makes the integers sum to 256.
//
// Boxes (s > 2). Half-widths n, each a box of 2n + 1 pixels with variance
// n (n + 1) / 3, chosen greedily from N = round(3 s^2): about three equal
// boxes, then smaller ones for what remains, at most 511 each; largest
// first. Sizes above kMaximumBlurSize count as that size.
//
// The expansion E(s) is how many pixels a blur widens a shape by on each
// side: the taps' radius, or the sum of the half-widths.

#include <cstdint>
#include <vector>

inline constexpr double kMaximumGaussianSize = 2.0;  // the largest size blurred by taps
inline constexpr double kMaximumBlurSize = 4096.0;

// The taps of a blur of size `s`: an odd number of floats (at most 401)
// summing to 1. Sizes below 0 or not a number count as 0 (one tap of 1).
// The blur takes them up to kMaximumGaussianSize.
std::vector<float> BNGaussianTaps(double s);

// The number of taps on either side of the centre of BNGaussianTaps(s).
uint64_t BNGaussianKernelRadius(double s);

// The box half-widths for a blur of size `s`, largest first.
std::vector<uint32_t> BNBoxBlurSizes(double s);

// E(s): BNGaussianKernelRadius(s) up to kMaximumGaussianSize, else the sum
// of BNBoxBlurSizes(s).
uint64_t BNGaussianExpansion(double s);
