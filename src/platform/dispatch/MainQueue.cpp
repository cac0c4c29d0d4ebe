#include "platform/dispatch/MainQueue.h"

#include "platform/core/Log.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

namespace lf {

struct MainQueue::State {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<DispatchWork> items;
    std::function<void()> wakeUpHook;
    std::atomic<std::thread::id> mainThread{};
};

MainQueue::MainQueue() : DispatchQueue("lf.main"), state_(std::make_unique<State>()) {}

std::shared_ptr<MainQueue> MainQueue::shared() {
    static auto* queue = new std::shared_ptr<MainQueue>(new MainQueue);
    return *queue;
}

void MainQueue::async(DispatchWork work) {
    std::function<void()> hook;
    {
        std::lock_guard lock(state_->mutex);
        state_->items.push_back(std::move(work));
        hook = state_->wakeUpHook;
    }
    state_->arrived.notify_all();
    if (hook) hook();
}

void MainQueue::sync(const DispatchWork& work) {
    if (isMainThread()) {
        perform(work);
        return;
    }
    DispatchQueue::sync(work);
}

void MainQueue::bindToCurrentThread() {
    state_->mainThread = std::this_thread::get_id();
}

bool MainQueue::isMainThread() const {
    return state_->mainThread.load() == std::this_thread::get_id();
}

int MainQueue::drain() {
    std::thread::id none{};
    state_->mainThread.compare_exchange_strong(none, std::this_thread::get_id());
    assertMainThread("MainQueue::drain");
    std::deque<DispatchWork> batch;
    {
        std::lock_guard lock(state_->mutex);
        batch.swap(state_->items);
    }
    for (auto& work : batch)
        perform(work);
    return static_cast<int>(batch.size());
}

bool MainQueue::runUntil(const std::function<bool()>& done, std::chrono::nanoseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        drain();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        // `done` may turn true without work arriving: look again now and then.
        auto wake =
            std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(5));
        std::unique_lock lock(state_->mutex);
        state_->arrived.wait_until(lock, wake, [&] { return !state_->items.empty(); });
    }
}

void MainQueue::setWakeUpHook(std::function<void()> hook) {
    std::lock_guard lock(state_->mutex);
    state_->wakeUpHook = std::move(hook);
}

void assertMainThread(const char* entryPoint) {
    if (isMainThread()) return;
    log("*** {} must be called on the main thread", entryPoint);
    std::abort();
}

}  // namespace lf
