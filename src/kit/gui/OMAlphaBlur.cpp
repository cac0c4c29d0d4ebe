#include "kit/gui/OMAlphaBlur.h"

#include <algorithm>
#include <cmath>

std::vector<float> OMGaussianKernel(double sigma) {
    if (!(sigma > 0)) return {1.0f};
    const int radius = static_cast<int>(std::ceil(3.0 * sigma));
    std::vector<double> weights(2 * radius + 1);
    double sum = 0;
    for (int i = -radius; i <= radius; ++i) {
        weights[i + radius] = std::exp(-(i * i) / (2.0 * sigma * sigma));
        sum += weights[i + radius];
    }
    std::vector<float> kernel(weights.size());
    std::transform(weights.begin(), weights.end(), kernel.begin(),
                   [sum](double weight) { return static_cast<float>(weight / sum); });
    return kernel;
}

QImage OMGaussianBlurAlpha(const QImage& alpha, double sigma) {
    QImage source = alpha.format() == QImage::Format_Alpha8
                        ? alpha
                        : alpha.convertToFormat(QImage::Format_Alpha8);
    const std::vector<float> kernel = OMGaussianKernel(sigma);
    const int radius = static_cast<int>(kernel.size() / 2);
    const int width = source.width(), height = source.height();
    if (radius == 0 || width == 0 || height == 0) return source;

    // Across, into floats, then down, back to bytes: one rounding only.
    std::vector<float> across(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const uchar* row = source.constScanLine(y);
        float* out = &across[static_cast<size_t>(y) * width];
        for (int x = 0; x < width; ++x) {
            const int first = std::max(-radius, -x), last = std::min(radius, width - 1 - x);
            float sum = 0;
            for (int k = first; k <= last; ++k)
                sum += kernel[k + radius] * row[x + k];
            out[x] = sum;
        }
    }
    QImage blurred(width, height, QImage::Format_Alpha8);
    std::vector<float> column(width);
    for (int y = 0; y < height; ++y) {
        std::fill(column.begin(), column.end(), 0.0f);
        const int first = std::max(-radius, -y), last = std::min(radius, height - 1 - y);
        for (int k = first; k <= last; ++k) {
            const float weight = kernel[k + radius];
            const float* in = &across[static_cast<size_t>(y + k) * width];
            for (int x = 0; x < width; ++x)
                column[x] += weight * in[x];
        }
        uchar* out = blurred.scanLine(y);
        for (int x = 0; x < width; ++x)
            out[x] = static_cast<uchar>(std::clamp(std::lround(column[x]), 0L, 255L));
    }
    return blurred;
}
