#include "ui/layers/QFLayerAnimation.h"

#include <algorithm>
#include <cmath>

namespace {

// Cycles that come this close to a whole number end complete.
constexpr double kCycleEndTolerance = 1e-9;

bool fillsBackwards(QFFillMode mode) {
    return mode == QFFillMode::Backwards || mode == QFFillMode::Both;
}

bool fillsForwards(QFFillMode mode) {
    return mode == QFFillMode::Forwards || mode == QFFillMode::Both;
}

}  // namespace

double QFLayerAnimation::activeDuration() const {
    if (repeatDuration_ > 0) return repeatDuration_;
    return std::max(duration_, 0.0) * std::max(repeatCount_, 1.0) * (autoreverses_ ? 2 : 1);
}

double QFLayerAnimation::endTime() const {
    return beginTime_ + activeDuration();
}

std::optional<double> QFLayerAnimation::progressAtTime(double time) const {
    if (!(duration_ > 0)) return std::nullopt;
    double local = time - beginTime_;
    if (local < 0) {
        if (!fillsBackwards(fillMode_)) return std::nullopt;
        local = 0;
    }
    const double cycle = duration_ * (autoreverses_ ? 2 : 1);
    double phase;
    if (local >= activeDuration()) {
        if (removedOnCompletion_ || !fillsForwards(fillMode_)) return std::nullopt;
        // The held value is where the last cycle ends, worked out from the
        // number of cycles: the local time is a difference of two large
        // media times, off by a rounding error that could land just past a
        // cycle's end and show the cycle's start instead.
        const double cycles = activeDuration() / cycle;
        const double partial = cycles - std::floor(cycles);
        phase = (partial < kCycleEndTolerance ? 1 : partial) * cycle;
    } else {
        phase = local - std::floor(local / cycle) * cycle;
    }
    double fraction = phase / duration_;
    if (fraction > 1) fraction = 2 - fraction;  // reversing
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (!timingFunction_) return fraction;
    return timingFunction_->evaluateWithTime(fraction * duration_, duration_);
}

std::optional<QFLayerValue> QFLayerAnimation::valueAtTime(double time) const {
    const std::optional<double> progress = progressAtTime(time);
    if (!progress) return std::nullopt;
    return valueAtProgress(*progress);
}

QFLayerValue QFInterpolateLayerValues(const QFLayerValue& from, const QFLayerValue& to,
                                      double fraction) {
    if (const auto* a = std::get_if<double>(&from)) {
        if (const auto* b = std::get_if<double>(&to)) return *a + (*b - *a) * fraction;
    }
    if (const auto* a = std::get_if<QPointF>(&from)) {
        if (const auto* b = std::get_if<QPointF>(&to)) return *a + (*b - *a) * fraction;
    }
    return fraction < 0.5 ? from : to;
}
