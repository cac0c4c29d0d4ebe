#pragma once
// OMAUScheduler: the engine's clock and timers. The application's runs its
// timers on the main queue; tests put a clock of their own in its place and
// move it forward by hand.
//
// Threads: main thread only.

#include <chrono>
#include <functional>
#include <memory>

// A scheduled action; destroying it or invalidate() cancels it.
class OMAUTimer {
public:
    virtual ~OMAUTimer() = default;
    virtual void invalidate() = 0;
};

class OMAUScheduler {
public:
    using Seconds = std::chrono::duration<double>;

    virtual ~OMAUScheduler() = default;
    virtual std::chrono::system_clock::time_point now() const = 0;
    // Runs `action` on the main thread after `interval`, and every
    // `interval` after that when `repeats`.
    virtual std::unique_ptr<OMAUTimer> schedule(Seconds interval, bool repeats,
                                                std::function<void()> action) = 0;

    // The system clock, with timers on the main queue.
    static std::shared_ptr<OMAUScheduler> mainQueue();
};
