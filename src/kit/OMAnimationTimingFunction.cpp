#include "kit/OMAnimationTimingFunction.h"

#include <algorithm>
#include <cmath>

OMAnimationTimingFunction::OMAnimationTimingFunction(double x1, double y1, double x2, double y2) {
    cx_ = 3.0 * x1;
    bx_ = 3.0 * (x2 - x1) - cx_;
    ax_ = 1.0 - cx_ - bx_;
    cy_ = 3.0 * y1;
    by_ = 3.0 * (y2 - y1) - cy_;
    ay_ = 1.0 - cy_ - by_;
    for (auto& cell : evaluationCache_)
        cell.store(-1.0, std::memory_order_relaxed);
}

const std::shared_ptr<const OMAnimationTimingFunction>&
OMAnimationTimingFunction::defaultTimingFunction() {
    static const auto function =
        std::make_shared<const OMAnimationTimingFunction>(0.25, 0.1, 0.25, 1.0);
    return function;
}

double OMAnimationTimingFunction::solveCurveX(double x, double epsilon) const {
    // Newton's method converges in a few steps where the slope is fair.
    double t = x;
    for (int i = 0; i < 8; ++i) {
        const double error = sampleCurveX(t) - x;
        if (std::fabs(error) < epsilon) return t;
        const double slope = sampleCurveDerivativeX(t);
        if (std::fabs(slope) < 1e-6) break;
        t -= error / slope;
    }

    // Bisection where it does not. It also ends once the interval cannot
    // shrink any more: an epsilon finer than the doubles near x (a duration
    // of years) would otherwise never be met.
    if (x < 0.0) return 0.0;
    if (x > 1.0) return 1.0;
    double low = 0.0, high = 1.0;
    t = x;
    while (low < high) {
        const double value = sampleCurveX(t);
        if (std::fabs(value - x) < epsilon) return t;
        if (x > value)
            low = t;
        else
            high = t;
        const double next = (high - low) / 2.0 + low;
        if (next == t) break;
        t = next;
    }
    return t;
}

double OMAnimationTimingFunction::evaluateWithTime(double time, double duration) const {
    // Written so that a NaN time answers 0 rather than reaching the cache.
    if (!(time > 0.0)) return 0.0;
    if (!(time < duration)) return 1.0;

    const bool cached = duration < kUncachedDuration;
    size_t cell = 0;
    double x, epsilon;
    if (cached) {
        cell = static_cast<size_t>(double(kEvaluationCacheSize - 1) * time / duration);
        const double value = evaluationCache_[cell].load(std::memory_order_relaxed);
        if (value >= 0.0) return value;
        x = (double(cell) + 0.5) / double(kEvaluationCacheSize);
        epsilon = 1.0 / (6.0 * 200.0);
    } else {
        x = time / duration;
        epsilon = 1.0 / (duration * 200.0);
    }
    const double progress = std::clamp(sampleCurveY(solveCurveX(x, epsilon)), 0.0, 1.0);
    if (cached) evaluationCache_[cell].store(progress, std::memory_order_relaxed);
    return progress;
}
