#pragma once
// QFLayerAnimation: what an animation of a layer's property has in common:
// the property it animates, its timing (begin time, duration, reversing,
// repeating, the curve its progress follows), how it holds its value
// outside its active time, and how its value combines with the layer's own.
//
// The animated properties are "opacity", "zPosition" and custom numbers
// (QFLayer::setValue) with number values; "position" with point values;
// and "transform" with number values that a value function turns into a
// scale along x or y. An additive animation adds its value to the layer's
// own (a transform: scales it further); another replaces it.
//
// Time. The active time starts at the begin time (media time,
// QFMediaTiming.h; 0 means "when added to a layer") and lasts the repeat
// duration when one is set, else the duration times the repeat count (at
// least once), twice as long when it reverses. Within it, each cycle runs
// the value curve forwards (and back when reversing); the timing function
// eases the progress of each pass. Before the begin time the animation
// shows its first value when it fills backwards; after its end it is
// taken off the layer when removed on completion, else it holds its last
// value when it fills forwards and shows nothing otherwise.
//
// Threads: a value, copied when added to a layer; main thread only.

#include "ui/layers/QFMediaTiming.h"

#include <QPointF>

#include <memory>
#include <optional>
#include <string>
#include <variant>

using QFLayerValue = std::variant<double, QPointF>;

enum class QFFillMode { Removed, Forwards, Backwards, Both };
enum class QFValueFunction { None, ScaleX, ScaleY };

class QFLayerAnimation {
public:
    explicit QFLayerAnimation(std::string keyPath) : keyPath_(std::move(keyPath)) {}
    virtual ~QFLayerAnimation() = default;
    virtual std::shared_ptr<QFLayerAnimation> copy() const = 0;

    const std::string& keyPath() const { return keyPath_; }

    double beginTime() const { return beginTime_; }
    void setBeginTime(double time) { beginTime_ = time; }
    double duration() const { return duration_; }
    void setDuration(double seconds) { duration_ = seconds; }
    bool autoreverses() const { return autoreverses_; }
    void setAutoreverses(bool autoreverses) { autoreverses_ = autoreverses; }
    // 0: once.
    double repeatCount() const { return repeatCount_; }
    void setRepeatCount(double count) { repeatCount_ = count; }
    // 0: none; otherwise it decides the active time.
    double repeatDuration() const { return repeatDuration_; }
    void setRepeatDuration(double seconds) { repeatDuration_ = seconds; }
    QFFillMode fillMode() const { return fillMode_; }
    void setFillMode(QFFillMode mode) { fillMode_ = mode; }
    bool isRemovedOnCompletion() const { return removedOnCompletion_; }
    void setRemovedOnCompletion(bool removed) { removedOnCompletion_ = removed; }
    // Null: linear.
    const std::shared_ptr<const OMAnimationTimingFunction>& timingFunction() const {
        return timingFunction_;
    }
    void setTimingFunction(std::shared_ptr<const OMAnimationTimingFunction> function) {
        timingFunction_ = std::move(function);
    }
    void setTimingFunction(QFMediaTimingFunctionName name) {
        timingFunction_ = QFMediaTimingFunction(name);
    }
    bool isAdditive() const { return additive_; }
    void setAdditive(bool additive) { additive_ = additive; }
    QFValueFunction valueFunction() const { return valueFunction_; }
    void setValueFunction(QFValueFunction function) { valueFunction_ = function; }

    // How long the animation is active, and where that ends.
    double activeDuration() const;
    double endTime() const;
    // The eased progress along the value curve at `time`, or nullopt when
    // the animation shows nothing then.
    std::optional<double> progressAtTime(double time) const;
    // The animated value at `time`, or nullopt when it shows nothing.
    std::optional<QFLayerValue> valueAtTime(double time) const;

    // The value at `progress` (0 to 1) along the curve.
    virtual QFLayerValue valueAtProgress(double progress) const = 0;

private:
    std::string keyPath_;
    double beginTime_ = 0;
    double duration_ = 0.25;
    bool autoreverses_ = false;
    double repeatCount_ = 0;
    double repeatDuration_ = 0;
    QFFillMode fillMode_ = QFFillMode::Removed;
    bool removedOnCompletion_ = true;
    std::shared_ptr<const OMAnimationTimingFunction> timingFunction_;
    bool additive_ = false;
    QFValueFunction valueFunction_ = QFValueFunction::None;
};

// `from` moved by `fraction` towards `to`; values of different kinds give
// `to` from the midpoint on.
QFLayerValue QFInterpolateLayerValues(const QFLayerValue& from, const QFLayerValue& to,
                                      double fraction);
