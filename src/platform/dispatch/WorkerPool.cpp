#include "platform/dispatch/WorkerPool.h"

#include <pthread.h>

namespace lf {
namespace {

thread_local WorkerPool* currentPool = nullptr;

}  // namespace

WorkerPool::WorkerPool(std::string name, int targetRunning, bool grows)
    : name_(std::move(name)),
      targetRunning_(targetRunning > 0 ? targetRunning : 1),
      grows_(grows) {}

WorkerPool::~WorkerPool() {
    std::unique_lock lock(mutex_);
    stopping_ = true;
    workAvailable_.notify_all();
    watchdogWake_.notify_all();
    threadExited_.wait(lock, [&] { return threads_ == 0 && !watchdogRunning_; });
}

void WorkerPool::submit(DispatchWork work) {
    std::lock_guard lock(mutex_);
    if (items_.empty()) lastTaken_ = std::chrono::steady_clock::now();
    items_.push_back(std::move(work));
    if (idle_ > wakeupsPending_) {
        ++wakeupsPending_;
        workAvailable_.notify_one();
    } else if (threads_ - blocked_ < targetRunning_ &&
               (threads_ < targetRunning_ || canGrowLocked())) {
        startWorkerLocked();
    }
    if (grows_ && !watchdogStarted_) {
        watchdogStarted_ = true;
        watchdogRunning_ = true;
        std::thread([this] { watchdogLoop(); }).detach();
    }
    if (grows_) watchdogWake_.notify_one();
}

int WorkerPool::threadCount() const {
    std::lock_guard lock(mutex_);
    return threads_;
}

void WorkerPool::startWorkerLocked() {
    ++threads_;
    std::thread([this] { workerLoop(); }).detach();
}

void WorkerPool::workerLoop() {
    currentPool = this;
    pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
    std::unique_lock lock(mutex_);
    for (;;) {
        while (items_.empty()) {
            if (stopping_) {
                --threads_;
                threadExited_.notify_all();
                return;
            }
            // Every return from the wait settles one wake-up, whether or not
            // another worker took the item first: a wake-up counted but never
            // settled would stop later submissions from waking anyone.
            ++idle_;
            auto status = workAvailable_.wait_for(lock, kIdleRetirement);
            --idle_;
            if (wakeupsPending_ > 0) --wakeupsPending_;
            if (status == std::cv_status::timeout && items_.empty() && threads_ > targetRunning_) {
                --threads_;
                return;
            }
        }
        DispatchWork work = std::move(items_.front());
        items_.pop_front();
        lastTaken_ = std::chrono::steady_clock::now();
        lock.unlock();
        work();
        work = nullptr;  // release captures outside the lock
        lock.lock();
    }
}

void WorkerPool::watchdogLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        watchdogWake_.wait(lock, [&] { return !items_.empty() || stopping_; });
        if (stopping_) {
            watchdogRunning_ = false;
            threadExited_.notify_all();
            return;
        }
        watchdogWake_.wait_for(lock, kStallInterval);
        if (items_.empty() || idle_ > wakeupsPending_ || !canGrowLocked()) continue;
        if (std::chrono::steady_clock::now() - lastTaken_ >= kStallInterval) {
            startWorkerLocked();
            lastTaken_ = std::chrono::steady_clock::now();
        }
    }
}

WorkerPool::BlockingScope::BlockingScope() : pool_(currentPool) {
    if (!pool_ || !pool_->grows_) {
        pool_ = nullptr;
        return;
    }
    std::lock_guard lock(pool_->mutex_);
    ++pool_->blocked_;
    bool running_short = pool_->threads_ - pool_->blocked_ < pool_->targetRunning_;
    if (!pool_->items_.empty() && pool_->idle_ <= pool_->wakeupsPending_ && running_short &&
        pool_->canGrowLocked())
        pool_->startWorkerLocked();
}

WorkerPool::BlockingScope::~BlockingScope() {
    if (!pool_) return;
    std::lock_guard lock(pool_->mutex_);
    --pool_->blocked_;
}

}  // namespace lf
