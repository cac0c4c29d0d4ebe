#pragma once
// Dispatch queues: the program's only way of running work off the calling
// thread.
//
// - Global concurrent queues, one per priority, run their work on a shared
//   pool of workers. Work on them may block waiting for other work (a run
//   waits for its recipes, a recipe for its tiles): when a worker blocks in
//   DispatchSemaphore::wait, DispatchGroup::wait or DispatchQueue::sync and
//   work is waiting, the pool starts another worker, and a watchdog adds one
//   whenever work has waited a while with every worker busy, up to a cap of
//   hundreds. So work that waits for other work never deadlocks.
// - Serial queues run one work item at a time, in submission order, on
//   their target global queue.
// - The main queue (MainQueue.h) runs on the thread that drains it.
// - The tile queue runs tiled renders on as many workers as there are
//   active processors and never grows.
//
// Queues are shared objects; work items keep their queue alive.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace lf {

using DispatchWork = std::function<void()>;

enum class QueuePriority { High, Default, Low };

class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    virtual ~DispatchQueue() = default;

    // The global concurrent queue of a priority; never destroyed.
    static std::shared_ptr<DispatchQueue> global(QueuePriority priority = QueuePriority::Default);
    // A new serial queue whose work runs on `target` (the default global
    // queue when null).
    static std::shared_ptr<DispatchQueue> createSerial(std::string label,
                                                       std::shared_ptr<DispatchQueue> target = nullptr);
    // The concurrent queue of the tiled renderer's workers, one per active
    // processor.
    static std::shared_ptr<DispatchQueue> tileWorkers();
    // The queue whose work is running on this thread, or null.
    static DispatchQueue* current();

    virtual void async(DispatchWork work) = 0;
    // Runs `work` on the queue and waits for it; what `work` throws is
    // thrown to the caller, as if it had run on the caller's thread.
    // Calling sync on the serial queue that is running the caller
    // deadlocks, as it would anywhere.
    virtual void sync(const DispatchWork& work);
    // Submits `work` after `delay` has passed.
    void asyncAfter(std::chrono::nanoseconds delay, DispatchWork work);

    virtual bool isSerial() const = 0;
    const std::string& label() const { return label_; }
    bool isCurrent() const { return current() == this; }

protected:
    explicit DispatchQueue(std::string label) : label_(std::move(label)) {}
    // Runs one work item with this queue marked as the thread's current one.
    void perform(const DispatchWork& work);

private:
    std::string label_;
};

}  // namespace lf
