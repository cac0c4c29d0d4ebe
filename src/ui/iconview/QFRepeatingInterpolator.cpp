#include "ui/iconview/QFRepeatingInterpolator.h"

#include <algorithm>
#include <cmath>

void QFRepeatingInterpolator::insertSorted(std::vector<Pair>& pairs, Pair pair) {
    const auto at = std::upper_bound(
        pairs.begin(), pairs.end(), pair.relativeTime(),
        [](double time, const Pair& existing) { return time < existing.relativeTime(); });
    pairs.insert(at, pair);
}

void QFRepeatingInterpolator::addSetupValue(double value, double timeInterval) {
    insertSorted(setupPairs_, Pair(timeInterval, value, Pair::Setup));
}

void QFRepeatingInterpolator::addRepeatingValue(double value, double timeInterval) {
    insertSorted(repeatPairs_, Pair(timeInterval, value, Pair::Repeat));
}

void QFRepeatingInterpolator::addTeardownValue(double value, double timeInterval) {
    insertSorted(teardownPairs_, Pair(timeInterval, value, Pair::Teardown));
}

double QFRepeatingInterpolator::setupEndTime() const {
    return setupPairs_.empty() ? 0 : setupPairs_.back().absoluteTime();
}

double QFRepeatingInterpolator::repeatCycleDuration() const {
    return repeatPairs_.empty() ? 0 : repeatPairs_.back().relativeTime();
}

double QFRepeatingInterpolator::teardownEndTime() const {
    return teardownStartTime_ + (teardownPairs_.empty() ? 0 : teardownPairs_.back().relativeTime());
}

std::optional<size_t> QFRepeatingInterpolator::indexOf(const std::vector<Pair>& pairs,
                                                       const Pair& pair) {
    const auto found = std::find(pairs.begin(), pairs.end(), pair);
    if (found == pairs.end()) return std::nullopt;
    return static_cast<size_t>(found - pairs.begin());
}

std::optional<QFRepeatingInterpolator::Pair> QFRepeatingInterpolator::firstPairAfterTime(
    double time) const {
    const double setupEnd = setupEndTime();
    if (time <= setupEnd) {
        for (const Pair& pair : setupPairs_) {
            if (pair.absoluteTime() >= time) return pair;
        }
        return std::nullopt;
    }
    if (time <= teardownStartTime_) {
        const double cycle = repeatCycleDuration();
        if (!(cycle > 0)) return std::nullopt;
        const double cycles = std::trunc((time - setupEnd) / cycle);
        const double base = setupEnd + cycles * cycle;
        for (const Pair& pair : repeatPairs_) {
            if (pair.relativeTime() >= time - base) return pair.withBaseTime(base);
        }
        return std::nullopt;
    }
    if (teardownPairs_.empty()) return std::nullopt;
    for (const Pair& pair : teardownPairs_) {
        if (pair.relativeTime() >= time - teardownStartTime_)
            return pair.withBaseTime(teardownStartTime_);
    }
    return teardownPairs_.back().withBaseTime(teardownStartTime_);
}

QFRepeatingInterpolator::Pair QFRepeatingInterpolator::pairPrecedingPair(const Pair& pair) const {
    const double cycle = repeatCycleDuration();
    auto lastSetupOr = [&](const Pair& fallback) {
        return setupPairs_.empty() ? fallback : setupPairs_.back();
    };
    switch (pair.type()) {
        case Pair::Setup:
            if (const auto i = indexOf(setupPairs_, pair)) return setupPairs_[*i > 0 ? *i - 1 : 0];
            break;
        case Pair::Repeat:
            if (const auto j = indexOf(repeatPairs_, pair)) {
                if (*j > 0) return repeatPairs_[*j - 1].withBaseTime(pair.baseTime());
                if (pair.baseTime() != setupEndTime())
                    return repeatPairs_.back().withBaseTime(pair.baseTime() - cycle);
                return lastSetupOr(pair);
            }
            break;
        case Pair::Teardown:
            if (const auto k = indexOf(teardownPairs_, pair)) {
                if (*k > 0) return teardownPairs_[*k - 1].withBaseTime(teardownStartTime_);
                if (teardownStartTime_ != setupEndTime() && !repeatPairs_.empty())
                    return repeatPairs_.back().withBaseTime(teardownStartTime_ - cycle);
                return lastSetupOr(pair);
            }
            break;
    }
    return pair;
}

QFRepeatingInterpolator::Pair QFRepeatingInterpolator::pairFollowingPair(const Pair& pair) const {
    const double setupEnd = setupEndTime();
    auto firstTeardown = [&] { return teardownPairs_.front().withBaseTime(teardownStartTime_); };
    switch (pair.type()) {
        case Pair::Setup:
            if (const auto i = indexOf(setupPairs_, pair)) {
                if (*i + 1 < setupPairs_.size()) return setupPairs_[*i + 1];
                if (setupEnd != teardownStartTime_ && !repeatPairs_.empty())
                    return repeatPairs_.front().withBaseTime(setupEnd);
                if (!teardownPairs_.empty()) return firstTeardown();
                return pair;
            }
            break;
        case Pair::Repeat:
            if (const auto j = indexOf(repeatPairs_, pair)) {
                if (*j + 1 < repeatPairs_.size())
                    return repeatPairs_[*j + 1].withBaseTime(pair.baseTime());
                const Pair next =
                    repeatPairs_.front().withBaseTime(pair.baseTime() + repeatCycleDuration());
                if (next.absoluteTime() >= teardownStartTime_ && !teardownPairs_.empty())
                    return firstTeardown();
                return next;
            }
            break;
        case Pair::Teardown:
            if (const auto k = indexOf(teardownPairs_, pair))
                return teardownPairs_[std::min(*k + 1, teardownPairs_.size() - 1)].withBaseTime(
                    teardownStartTime_);
            break;
    }
    return pair;
}

double QFRepeatingInterpolator::valueForTime(double time) const {
    const std::optional<Pair> found = firstPairAfterTime(time);
    if (!found) {
        // Only a timeline without one of its parts gets here.
        if (time > teardownStartTime_ && !teardownPairs_.empty())
            return teardownPairs_.back().value();
        if (!setupPairs_.empty()) return setupPairs_.back().value();
        return repeatPairs_.empty() ? 0 : repeatPairs_.front().value();
    }
    const Pair& p2 = *found;
    const Pair p3 = pairFollowingPair(p2);
    const Pair p1 = pairPrecedingPair(p2);
    const Pair p0 = pairPrecedingPair(p1);
    if (time > p3.absoluteTime()) return p3.value();
    const double span = p2.absoluteTime() - p1.absoluteTime();
    if (std::fabs(span) < 0.0001) return p2.value();

    const double u = (time - p1.absoluteTime()) / span;
    const double y0 = p0.value(), y1 = p1.value(), y2 = p2.value(), y3 = p3.value();
    return y1 + u * (0.5 * y2 - 0.5 * y0) + u * u * (y0 - 2.5 * y1 + 2 * y2 - 0.5 * y3) +
           u * u * u * (-0.5 * y0 + 1.5 * y1 - 1.5 * y2 + 0.5 * y3);
}

void QFRepeatingInterpolator::startTeardownAtTime(double time) {
    if (teardownStartTime_ != DBL_MAX) return;
    const double setupEnd = setupEndTime();
    const double cycle = repeatCycleDuration();
    if (time < setupEnd) {
        const double x =
            setupPairs_.size() >= 2 ? setupPairs_[setupPairs_.size() - 2].absoluteTime() : setupEnd;
        teardownStartTime_ = time <= x ? setupEnd : setupEnd + cycle;
        return;
    }
    const double elapsed = time - setupEnd;
    const double cycles = cycle > 0 ? std::trunc(elapsed / cycle) : 0;
    const double phase = cycle > 0 ? elapsed - std::floor(elapsed / cycle) * cycle : elapsed;
    const double y =
        repeatPairs_.size() >= 2 ? repeatPairs_[repeatPairs_.size() - 2].relativeTime() : cycle;
    teardownStartTime_ = setupEnd + (phase <= y ? cycles + 1 : cycles + 2) * cycle;
}
