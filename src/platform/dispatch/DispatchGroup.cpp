#include "platform/dispatch/DispatchGroup.h"

#include "platform/core/Assert.h"
#include "platform/dispatch/WorkerPool.h"

#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

namespace lf {

struct DispatchGroup::State {
    std::mutex mutex;
    std::condition_variable empty;
    long members = 0;
    std::vector<std::pair<std::shared_ptr<DispatchQueue>, DispatchWork>> notifications;
};

DispatchGroup::DispatchGroup() : state_(std::make_shared<State>()) {}

void DispatchGroup::enter() {
    std::lock_guard lock(state_->mutex);
    ++state_->members;
}

void DispatchGroup::leave() {
    std::vector<std::pair<std::shared_ptr<DispatchQueue>, DispatchWork>> ready;
    {
        std::lock_guard lock(state_->mutex);
        LF_PRECONDITION(state_->members > 0, "DispatchGroup left more often than entered");
        if (--state_->members > 0) return;
        state_->empty.notify_all();
        ready.swap(state_->notifications);
    }
    for (auto& [queue, work] : ready)
        queue->async(std::move(work));
}

void DispatchGroup::async(const std::shared_ptr<DispatchQueue>& queue, DispatchWork work) {
    enter();
    queue->async([group = *this, work = std::move(work)]() mutable {
        work();
        work = nullptr;
        group.leave();
    });
}

void DispatchGroup::wait() {
    std::unique_lock lock(state_->mutex);
    if (state_->members == 0) return;
    WorkerPool::BlockingScope blocking;
    state_->empty.wait(lock, [&] { return state_->members == 0; });
}

bool DispatchGroup::waitFor(std::chrono::nanoseconds timeout) {
    std::unique_lock lock(state_->mutex);
    if (state_->members == 0) return true;
    WorkerPool::BlockingScope blocking;
    return state_->empty.wait_for(lock, timeout, [&] { return state_->members == 0; });
}

void DispatchGroup::notify(const std::shared_ptr<DispatchQueue>& queue, DispatchWork work) {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->members > 0) {
            state_->notifications.emplace_back(queue, std::move(work));
            return;
        }
    }
    queue->async(std::move(work));
}

}  // namespace lf
