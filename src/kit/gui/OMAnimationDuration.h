#pragma once
// Durations of animations that follow the user's hand: holding Shift while
// clicking slows the animation the click starts down five times, so it can
// be watched.
//
// Threads: main thread only.

#include "kit/gui/OMApplicationHooks.h"

#include <QInputEvent>
#include <QWidget>

inline constexpr double kOMSlowAnimationFactor = 5.0;

// `duration`, times kOMSlowAnimationFactor when `event` is a press or
// release of the left mouse button with Shift held. A null event means the
// event being handled (OMCurrentInputEvent).
double OMAnimationDurationForEvent(const QInputEvent* event, double duration);
double OMAnimationDurationForEvent(const std::optional<OMInputEventRecord>& event, double duration);

// The duration of moving `distance` points: pow(distance, 0.57) / 80, put
// through OMAnimationDurationForEvent with the event being handled.
double OMAnimationDurationForDistance(const QWidget* view, double distance);
