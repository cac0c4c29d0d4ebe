#pragma once
// OMAnimationTimingFunction: a cubic Bezier easing curve from (0, 0) to
// (1, 1) through two control points, as animations use it to turn elapsed
// time into progress.
//
// The curve is solved for x to a precision that follows the duration: a
// longer animation shows smaller steps, so it needs a finer answer. Below
// kUncachedDuration seconds the time axis is cut into kEvaluationCacheSize
// cells and each cell is solved once, at its centre, so a frame costs one
// read; longer animations are solved at each time.
//
// Threads: immutable but for the cache, whose cells are atomic, so the
// shared default function may be evaluated from any thread.

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>

class OMAnimationTimingFunction {
public:
    static constexpr size_t kEvaluationCacheSize = 512;
    static constexpr double kUncachedDuration = 4.0;

    // The control points (x1, y1) and (x2, y2); x1 and x2 in [0, 1] keep
    // the curve a function of time.
    OMAnimationTimingFunction(double x1, double y1, double x2, double y2);
    OMAnimationTimingFunction(const OMAnimationTimingFunction&) = delete;
    OMAnimationTimingFunction& operator=(const OMAnimationTimingFunction&) = delete;

    // The shared curve through (0.25, 0.1) and (0.25, 1.0).
    static const std::shared_ptr<const OMAnimationTimingFunction>& defaultTimingFunction();

    // The curve parameter whose x is within `epsilon` of `x` (x is clamped
    // to [0, 1] where Newton's method does not settle).
    double solveCurveX(double x, double epsilon) const;

    // The eased progress in [0, 1] after `time` seconds of an animation of
    // `duration` seconds: 0 up to its start, 1 from its end on.
    double evaluateWithTime(double time, double duration) const;

private:
    double sampleCurveX(double t) const { return ((ax_ * t + bx_) * t + cx_) * t; }
    double sampleCurveY(double t) const { return ((ay_ * t + by_) * t + cy_) * t; }
    double sampleCurveDerivativeX(double t) const { return (3.0 * ax_ * t + 2.0 * bx_) * t + cx_; }

    double ax_, bx_, cx_, ay_, by_, cy_;
    // Eased values by cell; -1 marks a cell not solved yet.
    mutable std::array<std::atomic<double>, kEvaluationCacheSize> evaluationCache_;
};
