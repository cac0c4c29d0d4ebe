#pragma once
// OMAnimatorContext: the changes that one animation group of OMAnimator
// records before they start together.
//
// A change without its own duration and timing function takes the group's
// (duration() and timingFunction()) when the group starts. Recording a value
// for a target and key that already has one replaces the value in place;
// the duration and timing function recorded with the first stay unless the
// new call gives its own.
//
// Threads: main thread only; lives for one runAnimationGroup call.

#include "kit/OMAnimationTimingFunction.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QVariant>

#include <memory>
#include <optional>
#include <vector>

class OMAnimatorContext {
public:
    using TimingFunction = std::shared_ptr<const OMAnimationTimingFunction>;

    struct Change {
        QPointer<QObject> target;
        QByteArray key;
        QVariant value;
        std::optional<double> duration;
        // Present when recorded with the change; a null function then means
        // linear progress, whatever the group's.
        std::optional<TimingFunction> timingFunction;
    };

    void setValue(const QVariant& value, const QByteArray& key, QObject* target);
    void setValue(const QVariant& value, const QByteArray& key, QObject* target, double duration,
                  TimingFunction timingFunction);

    double duration() const { return duration_; }
    void setDuration(double duration) { duration_ = duration; }
    const TimingFunction& timingFunction() const { return timingFunction_; }
    void setTimingFunction(TimingFunction function) { timingFunction_ = std::move(function); }

    // In the order first recorded.
    const std::vector<Change>& changes() const { return changes_; }

private:
    Change& changeFor(const QByteArray& key, QObject* target);

    std::vector<Change> changes_;
    double duration_ = 1.0;
    TimingFunction timingFunction_;
};
