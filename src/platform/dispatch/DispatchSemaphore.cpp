#include "platform/dispatch/DispatchSemaphore.h"

#include "platform/dispatch/WorkerPool.h"

#include <condition_variable>
#include <mutex>

namespace lf {

struct DispatchSemaphore::State {
    std::mutex mutex;
    std::condition_variable available;
    long count;
};

DispatchSemaphore::DispatchSemaphore(long initialCount) : state_(std::make_shared<State>()) {
    state_->count = initialCount;
}

void DispatchSemaphore::wait() {
    std::unique_lock lock(state_->mutex);
    if (state_->count <= 0) {
        WorkerPool::BlockingScope blocking;
        state_->available.wait(lock, [&] { return state_->count > 0; });
    }
    --state_->count;
}

bool DispatchSemaphore::waitFor(std::chrono::nanoseconds timeout) {
    std::unique_lock lock(state_->mutex);
    if (state_->count <= 0) {
        WorkerPool::BlockingScope blocking;
        if (!state_->available.wait_for(lock, timeout, [&] { return state_->count > 0; }))
            return false;
    }
    --state_->count;
    return true;
}

void DispatchSemaphore::signal() {
    std::lock_guard lock(state_->mutex);
    ++state_->count;
    state_->available.notify_one();
}

}  // namespace lf
