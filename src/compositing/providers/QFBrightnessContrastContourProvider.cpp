#include "compositing/providers/QFBrightnessContrastContourProvider.h"

#include "compositing/providers/QFContourLevels.h"

#include <algorithm>
#include <cmath>

namespace {

double cubic(const QFBrightnessCurve& c, double t) {
    return c.a1 * t + c.a2 * t * t + c.a3 * t * t * t + c.a0;
}

}  // namespace

QFBrightnessCurve QFBrightnessCurveMake(double amount) {
    QFBrightnessCurve c;
    c.amount = amount;
    c.k = std::pow(2.0, amount * 5.0 / 11.0);
    c.x0 = 0.5 / c.k;
    c.s = 1.0 / (1.0 - c.x0);
    double d = 1.5 - c.k;
    c.a3 = (2 * c.k - 1) / ((12 * c.k - 11) * 2 * c.k) - d;
    c.a2 = (d - 0.5) - c.a3;
    c.a1 = 1 - d;
    c.a0 = 0.5;
    return c;
}

double QFBrightnessCurveApply(const QFBrightnessCurve& c, double x) {
    if (x < c.x0) return c.k * x;
    return cubic(c, (x - c.x0) * c.s);
}

double QFBrightnessCurveInvert(const QFBrightnessCurve& c, double y) {
    if (y <= 0.5) return y / c.k;
    double t = 0.5, error = cubic(c, t) - y;
    for (int step = 0; step < 50 && std::abs(error) >= 1e-6; ++step) {
        double slope = c.a1 + 2 * c.a2 * t + 3 * c.a3 * t * t;
        if (slope == 0) break;
        t = std::clamp(t - error / slope, 0.0, 1.0);
        error = cubic(c, t) - y;
    }
    return c.x0 + t / c.s;
}

QFBrightnessContrastContourProvider::QFBrightnessContrastContourProvider(double brightness,
                                                                         double contrast)
    : brightness_(brightness), contrast_(contrast) {
    double m = brightness * 0.02;
    lowering_ = m < 0;
    // Up to two stages, so that the strongest settings stay within the
    // range where one stage's knee is well placed.
    stageA_ = QFBrightnessCurveMake(std::min(std::abs(m), 2.0));
    stageB_ = QFBrightnessCurveMake(std::max(std::abs(m) - 2.0, 0.0));
}

double QFBrightnessContrastContourProvider::valueAt(double x) const {
    double y = x;
    if (!lowering_) {
        if (stageA_.amount != 0) y = QFBrightnessCurveApply(stageA_, y);
        if (stageB_.amount != 0) y = QFBrightnessCurveApply(stageB_, y);
    } else {
        if (stageB_.amount != 0) y = QFBrightnessCurveInvert(stageB_, y);
        if (stageA_.amount != 0) y = QFBrightnessCurveInvert(stageA_, y);
    }
    double c = contrast_ * 0.00095;
    if (c == 0) return y;
    double g = y > 0.5 ? 1 - 16 * (y - 0.75) * (y - 0.75) : 16 * (y - 0.25) * (y - 0.25) - 1;
    return y + c * g;
}

void QFBrightnessContrastContourProvider::generateContourValues(float* values, uint64_t count,
                                                                BNRenderingContext&) const {
    QFForEachContourLevel(
        count, [&](uint64_t k, double x) { values[k] = static_cast<float>(valueAt(x)); });
}

void QFLegacyBrightnessContrastContourProvider::generateContourValues(float* values, uint64_t count,
                                                                      BNRenderingContext&) const {
    constexpr double kPivot = 0.4980392156862745;  // 127 / 255
    double b = brightness_ / 255, c = contrast_ * 0.01;
    double p = c < 0 ? kPivot + b : kPivot - b;
    if (c == 1) {
        QFForEachContourLevel(count,
                              [&](uint64_t k, double x) { values[k] = x < p ? 0.0f : 1.0f; });
        return;
    }
    // The line y(x), evaluated by adding its slope once per entry.
    double y, slope;
    if (c < 0) {
        y = p - kPivot * (1 + c);
        slope = 1 + c;
    } else {
        y = kPivot - p / (1 - c);
        slope = 1 / (1 - c);
    }
    double step = count > 1 ? slope * (1.0 / static_cast<double>(count - 1)) : 0.0;
    for (uint64_t k = 0; k < count; ++k, y += step)
        values[k] = static_cast<float>(std::min(std::max(y, 0.0), 1.0));
}
