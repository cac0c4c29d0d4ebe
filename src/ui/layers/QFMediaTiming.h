#pragma once
// Media time and the named timing curves of the layer tree's animations.
//
// Media time is the kit's animation clock (OMCurrentAbsoluteTime, the
// steady clock) in seconds, as a double. Animations give their begin times
// in it, and presentation values are asked for at a media time.
//
// Threads: any thread; the curves are shared and immutable.

#include "kit/OMAnimationTimingFunction.h"

#include <memory>

// Now, in media time.
double QFCurrentMediaTime();

enum class QFMediaTimingFunctionName { Linear, EaseIn, EaseOut, EaseInEaseOut, Default };

// The curves through the control points: linear (0, 0) (1, 1), ease-in
// (0.42, 0) (1, 1), ease-out (0, 0) (0.58, 1), ease-in-ease-out (0.42, 0)
// (0.58, 1), and default (0.25, 0.1) (0.25, 1), each made once.
const std::shared_ptr<const OMAnimationTimingFunction>& QFMediaTimingFunction(
    QFMediaTimingFunctionName name);
