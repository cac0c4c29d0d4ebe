#include "platform/dispatch/DispatchQueue.h"

#include "platform/core/SystemInfo.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/dispatch/DispatchTimer.h"
#include "platform/dispatch/WorkerPool.h"

#include <deque>
#include <exception>
#include <mutex>

namespace lf {
namespace {

thread_local DispatchQueue* currentQueue = nullptr;

// A concurrent queue over a worker pool.
class ConcurrentQueue final : public DispatchQueue {
public:
    ConcurrentQueue(std::string label, int workers, bool grows)
        : DispatchQueue(label), pool_(std::move(label), workers, grows) {}

    void async(DispatchWork work) override {
        pool_.submit([this, work = std::move(work)] { perform(work); });
    }
    // Concurrent queues run synchronous work on the caller's thread.
    void sync(const DispatchWork& work) override { perform(work); }
    bool isSerial() const override { return false; }

private:
    WorkerPool pool_;
};

// Runs its items one at a time, in order, as work items of its target queue.
class SerialQueue final : public DispatchQueue {
public:
    SerialQueue(std::string label, std::shared_ptr<DispatchQueue> target)
        : DispatchQueue(std::move(label)), target_(std::move(target)) {}

    void async(DispatchWork work) override {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(work));
        if (draining_) return;
        draining_ = true;
        target_->async(
            [self = std::static_pointer_cast<SerialQueue>(shared_from_this())] { self->drain(); });
    }
    bool isSerial() const override { return true; }

private:
    void drain() {
        for (;;) {
            DispatchWork work;
            {
                std::lock_guard lock(mutex_);
                if (items_.empty()) {
                    draining_ = false;
                    return;
                }
                work = std::move(items_.front());
                items_.pop_front();
            }
            perform(work);
        }
    }

    std::shared_ptr<DispatchQueue> target_;
    std::mutex mutex_;
    std::deque<DispatchWork> items_;
    bool draining_ = false;
};

std::shared_ptr<DispatchQueue> makeGlobal(const char* label) {
    return std::make_shared<ConcurrentQueue>(label, processorCount(), true);
}

}  // namespace

std::shared_ptr<DispatchQueue> DispatchQueue::global(QueuePriority priority) {
    // Never destroyed: detached workers may still be running at exit.
    static auto* high = new std::shared_ptr<DispatchQueue>(makeGlobal("lf.global.high"));
    static auto* normal = new std::shared_ptr<DispatchQueue>(makeGlobal("lf.global.default"));
    static auto* low = new std::shared_ptr<DispatchQueue>(makeGlobal("lf.global.low"));
    switch (priority) {
        case QueuePriority::High:
            return *high;
        case QueuePriority::Low:
            return *low;
        case QueuePriority::Default:
            break;
    }
    return *normal;
}

std::shared_ptr<DispatchQueue> DispatchQueue::tileWorkers() {
    static auto* tiles = new std::shared_ptr<DispatchQueue>(
        std::make_shared<ConcurrentQueue>("lf.tiles", activeProcessorCount(), false));
    return *tiles;
}

std::shared_ptr<DispatchQueue> DispatchQueue::createSerial(std::string label,
                                                           std::shared_ptr<DispatchQueue> target) {
    return std::make_shared<SerialQueue>(std::move(label), target ? std::move(target) : global());
}

DispatchQueue* DispatchQueue::current() {
    return currentQueue;
}

void DispatchQueue::perform(const DispatchWork& work) {
    // Put back also when the work throws (synchronous work on the caller's
    // thread passes what it throws on to the caller).
    struct CurrentQueue {
        DispatchQueue* previous = currentQueue;
        ~CurrentQueue() { currentQueue = previous; }
    } restored;
    currentQueue = this;
    work();
}

void DispatchQueue::sync(const DispatchWork& work) {
    DispatchSemaphore done(0);
    std::exception_ptr thrown;
    async([&work, &thrown, done]() mutable {
        try {
            work();
        } catch (...) {
            // Thrown on the caller's thread below: on the worker it would
            // end the process.
            thrown = std::current_exception();
        }
        done.signal();
    });
    done.wait();
    if (thrown) std::rethrow_exception(thrown);
}

void DispatchQueue::asyncAfter(std::chrono::nanoseconds delay, DispatchWork work) {
    scheduleAfter(delay, [queue = shared_from_this(), work = std::move(work)]() mutable {
        queue->async(std::move(work));
    });
}

}  // namespace lf
