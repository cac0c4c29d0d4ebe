#pragma once
// A counting semaphore. Copies share one count, so a copy captured by a work
// item signals the caller's semaphore. A wait on a worker of a global queue
// lets the queue start another worker.

#include <chrono>
#include <memory>

namespace lf {

class DispatchSemaphore {
public:
    explicit DispatchSemaphore(long initialCount);

    void wait();
    // False when `timeout` passed before the count could be taken.
    bool waitFor(std::chrono::nanoseconds timeout);
    void signal();

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace lf
