#pragma once
// The one timer thread of the dispatch layer: runs short hand-off work (a
// submission to a queue) once a delay has passed.

#include "platform/dispatch/DispatchQueue.h"

#include <chrono>

namespace lf {

// Calls `work` on the timer thread after `delay`. `work` must not block.
void scheduleAfter(std::chrono::nanoseconds delay, DispatchWork work);

}  // namespace lf
