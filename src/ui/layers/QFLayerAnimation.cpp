#include "ui/layers/QFLayerAnimation.h"

#include <algorithm>
#include <cmath>

namespace {

bool fillsBackwards(QFFillMode mode) {
    return mode == QFFillMode::Backwards || mode == QFFillMode::Both;
}

bool fillsForwards(QFFillMode mode) {
    return mode == QFFillMode::Forwards || mode == QFFillMode::Both;
}

}  // namespace

double QFLayerAnimation::endTime() const {
    const double duration = std::max(duration_, 0.0);
    if (repeatDuration_ > 0) return beginTime_ + repeatDuration_;
    return beginTime_ + duration * std::max(repeatCount_, 1.0) * (autoreverses_ ? 2 : 1);
}

std::optional<double> QFLayerAnimation::progressAtTime(double time) const {
    if (!(duration_ > 0)) return std::nullopt;
    double local = time - beginTime_;
    if (local < 0) {
        if (!fillsBackwards(fillMode_)) return std::nullopt;
        local = 0;
    }
    const double active = endTime() - beginTime_;
    const bool ended = local >= active;
    if (ended) {
        if (removedOnCompletion_ || !fillsForwards(fillMode_)) return std::nullopt;
        local = active;
    }

    // Where in its cycle the animation stands; an end that falls on a
    // cycle's end shows that cycle complete, not the next one's start.
    const double cycle = duration_ * (autoreverses_ ? 2 : 1);
    double phase = local - std::floor(local / cycle) * cycle;
    if (phase == 0 && local > 0 && ended) phase = cycle;
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
