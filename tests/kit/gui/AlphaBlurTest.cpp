#include "kit/gui/OMAlphaBlur.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// The blur written as the direct two-dimensional convolution with the
// Gaussian's weights computed afresh, zero outside the image.
double directBlur(const QImage& alpha, double sigma, int x, int y) {
    const int radius = static_cast<int>(std::ceil(3 * sigma));
    double sum = 0, weights = 0;
    for (int j = -radius; j <= radius; ++j) {
        for (int i = -radius; i <= radius; ++i) {
            const double weight = std::exp(-(i * i + j * j) / (2 * sigma * sigma));
            weights += weight;
            const int sx = x + i, sy = y + j;
            if (sx >= 0 && sy >= 0 && sx < alpha.width() && sy < alpha.height())
                sum += weight * alpha.constScanLine(sy)[sx];
        }
    }
    return sum / weights;
}

TEST(OMAlphaBlur, MatchesTheDirectConvolution) {
    std::mt19937 random(7);
    QImage alpha(23, 17, QImage::Format_Alpha8);
    for (int y = 0; y < alpha.height(); ++y)
        for (int x = 0; x < alpha.width(); ++x)
            alpha.scanLine(y)[x] = random() % 4 == 0 ? 0 : random() % 256;

    for (double sigma : {0.6, 1.5, 4.0}) {
        SCOPED_TRACE(sigma);
        const QImage blurred = OMGaussianBlurAlpha(alpha, sigma);
        ASSERT_EQ(blurred.size(), alpha.size());
        for (int y = 0; y < alpha.height(); ++y)
            for (int x = 0; x < alpha.width(); ++x)
                // One rounding to bytes; float sums add a little.
                ASSERT_NEAR(blurred.constScanLine(y)[x], directBlur(alpha, sigma, x, y),
                            0.51 + 1e-3)
                    << "at " << x << ", " << y;
    }
}

TEST(OMAlphaBlur, ARadiusOfZeroChangesNothing) {
    QImage alpha(5, 3, QImage::Format_Alpha8);
    alpha.fill(0);
    alpha.scanLine(1)[2] = 200;
    EXPECT_EQ(OMGaussianBlurAlpha(alpha, 0), alpha);
    EXPECT_EQ(OMGaussianKernel(0), std::vector<float>{1.0f});
}

}  // namespace
