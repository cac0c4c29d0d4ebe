#pragma once
// The animation clock: monotonic time in the clock's own ticks, for start
// times that animations keep and compare. Any thread may call both.

#include <cstdint>

// The monotonic clock now, in ticks.
uint64_t OMCurrentAbsoluteTime();

// The seconds from `start` (a time from OMCurrentAbsoluteTime) until now; 0
// for a start that lies ahead, so a bad start time cannot make an animation
// leap to its end.
double OMSecondsSinceAbsoluteTime(uint64_t start);

// The seconds from `start` until `end`, both times of OMCurrentAbsoluteTime
// or of a clock that stands in for it; 0 when `end` is not after `start`.
double OMSecondsBetweenAbsoluteTimes(uint64_t start, uint64_t end);
