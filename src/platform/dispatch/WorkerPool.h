#pragma once
// The threads behind the concurrent queues (internal to the dispatch layer).
//
// A pool keeps `targetRunning` workers running work. A worker that blocks in
// one of the dispatch layer's waits announces it through BlockingScope; the
// pool then starts another worker when work is waiting and no worker is idle.
// A growing pool also has a watchdog for waits the dispatch layer does not
// see: when work is waiting, no worker is idle and no worker has taken an
// item for kStallInterval, it adds a worker. Workers beyond the target retire
// after kIdleRetirement without work.

#include "platform/dispatch/DispatchQueue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace lf {

class WorkerPool {
public:
    static constexpr int kGrowthCap = 512;
    static constexpr std::chrono::milliseconds kStallInterval{100};
    static constexpr std::chrono::seconds kIdleRetirement{10};

    // A pool of `targetRunning` workers; with `grows`, it adds workers as
    // described above up to kGrowthCap.
    WorkerPool(std::string name, int targetRunning, bool grows);
    // Lets the items already queued run, then stops the workers and waits
    // for them.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void submit(DispatchWork work);

    // Counted while the current thread, if it is a worker of a growing pool,
    // waits for other work.
    class BlockingScope {
    public:
        BlockingScope();
        ~BlockingScope();
        BlockingScope(const BlockingScope&) = delete;
        BlockingScope& operator=(const BlockingScope&) = delete;

    private:
        WorkerPool* pool_;
    };

    int threadCount() const;

private:
    void workerLoop();
    void startWorkerLocked();
    void watchdogLoop();
    bool canGrowLocked() const { return grows_ && threads_ < kGrowthCap; }

    const std::string name_;
    const int targetRunning_;
    const bool grows_;

    mutable std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable watchdogWake_;
    std::condition_variable threadExited_;
    std::deque<DispatchWork> items_;
    std::chrono::steady_clock::time_point lastTaken_;
    int threads_ = 0;
    int idle_ = 0;
    int wakeupsPending_ = 0;
    int blocked_ = 0;
    bool watchdogStarted_ = false;
    bool watchdogRunning_ = false;
    bool stopping_ = false;
};

}  // namespace lf
