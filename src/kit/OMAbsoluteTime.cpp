#include "kit/OMAbsoluteTime.h"

#include <chrono>

namespace {
using Clock = std::chrono::steady_clock;
}

uint64_t OMCurrentAbsoluteTime() {
    return static_cast<uint64_t>(Clock::now().time_since_epoch().count());
}

double OMSecondsSinceAbsoluteTime(uint64_t start) {
    const uint64_t now = OMCurrentAbsoluteTime();
    if (start >= now) return 0;
    const Clock::duration elapsed(static_cast<Clock::rep>(now - start));
    return std::chrono::duration<double>(elapsed).count();
}
