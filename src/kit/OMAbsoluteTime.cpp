#include "kit/OMAbsoluteTime.h"

#include <chrono>

namespace {
using Clock = std::chrono::steady_clock;
}

uint64_t OMCurrentAbsoluteTime() {
    return static_cast<uint64_t>(Clock::now().time_since_epoch().count());
}

double OMSecondsSinceAbsoluteTime(uint64_t start) {
    return OMSecondsBetweenAbsoluteTimes(start, OMCurrentAbsoluteTime());
}

double OMSecondsBetweenAbsoluteTimes(uint64_t start, uint64_t end) {
    if (start >= end) return 0;
    const Clock::duration elapsed(static_cast<Clock::rep>(end - start));
    return std::chrono::duration<double>(elapsed).count();
}
