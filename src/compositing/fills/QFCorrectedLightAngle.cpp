#include "compositing/fills/QFCorrectedLightAngle.h"

#include <cmath>
#include <numbers>

double QFCorrectedLightAngle(double a) {
    if (!std::isfinite(a)) return a;
    // Into 0..360 in one step (360 itself stays 360), then the warp within
    // the quadrant.
    if (a > 360) a -= 360 * std::ceil((a - 360) / 360);
    if (a < 0) a += 360 * std::ceil(-a / 360);
    double q = 90 * std::trunc(a / 90);
    double t = (a - q) / 90;
    return (t + 0.0444444 * std::sin(2 * std::numbers::pi * t)) * 90 + q;
}
