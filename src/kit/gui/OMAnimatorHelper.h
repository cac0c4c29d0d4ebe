#pragma once
// The running state of one property animation of OMAnimator, and the
// interpolators that move a value from its start to its target.
//
// Animated values are Qt properties held in QVariants. Floating-point
// numbers (double and float) are interpolated, and so are rectangles (QRectF
// and QRect, each edge rounded to whole points so that views land on
// pixels); every other value (integers and booleans too) has no
// interpolator and is set at once.
//
// Threads: main thread only, like the animator that owns it.

#include "kit/OMAnimationTimingFunction.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>

using OMAnimatorCompletion = std::function<void()>;

// The value at `progress` between `start` and `target`.
using OMInterpolator = QVariant (*)(const QVariant& start, const QVariant& target, double progress);

// target x p + start x (1 - p), as a number of the target's own type; an
// invalid start counts as 0.
QVariant OMInterpolateNumber(const QVariant& start, const QVariant& target, double progress);
// Each of x, y, width and height interpolated as a number and rounded; an
// invalid start or target counts as the zero rectangle.
QVariant OMInterpolateRect(const QVariant& start, const QVariant& target, double progress);
// The interpolator for animating to `target`, or null when it is set at once.
OMInterpolator OMInterpolatorForValue(const QVariant& target);

// One animated property: the very target object (compared by identity) and
// the property's name.
struct OMAnimatorPair {
    const QObject* target = nullptr;
    QByteArray key;
    bool operator==(const OMAnimatorPair&) const = default;
};

struct OMAnimatorHelper {
    // Where the animation is; the target is weak, because an animator must
    // not keep views alive, and a deleted target ends its animation.
    QPointer<QObject> target;
    uint64_t startTime = 0;
    double duration = 0;
    QVariant startValue, targetValue;
    // The value last written, as the property holds it: when the property
    // reads otherwise, somebody else changed it.
    QVariant lastAnimatedValue;
    OMInterpolator interpolator = nullptr;
    std::shared_ptr<const OMAnimationTimingFunction> timingFunction;  // null: linear
    OMAnimatorCompletion completionHandler;

    // The progress at the absolute time `now`, in [0, 1]; 1 for an animation
    // without duration.
    double currentProgress(uint64_t now) const;
};
