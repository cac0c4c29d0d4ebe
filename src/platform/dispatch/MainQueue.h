#pragma once
// The main queue and the main thread.
//
// The main queue is serial and runs its work on the main thread, the thread
// that drains it: in the application the Qt event loop drains it whenever
// work arrives (through the wake-up hook); tests and the headless road drain
// it themselves with drain() or runUntil(). The first thread to drain the
// queue, or to call bindToCurrentThread(), becomes the main thread.

#include "platform/dispatch/DispatchQueue.h"

#include <chrono>
#include <functional>
#include <memory>

namespace lf {

class MainQueue final : public DispatchQueue {
public:
    static std::shared_ptr<MainQueue> shared();

    void async(DispatchWork work) override;
    // From the main thread, runs `work` at once; from any other thread,
    // waits for the main thread to run it.
    void sync(const DispatchWork& work) override;
    bool isSerial() const override { return true; }

    // Makes the calling thread the main thread.
    void bindToCurrentThread();
    bool isMainThread() const;

    // Runs the work queued now (not work that it queues in turn) on the
    // calling thread, which must be the main thread; returns how many ran.
    int drain();
    // Drains repeatedly until `done` answers true or `timeout` passes;
    // returns done's last answer.
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::nanoseconds timeout = std::chrono::seconds(30));

    // Called (on any thread) whenever work is queued, so an event loop can
    // schedule a drain; null means nobody is told.
    void setWakeUpHook(std::function<void()> hook);

private:
    MainQueue();
    struct State;
    std::unique_ptr<State> state_;
};

inline bool isMainThread() {
    return MainQueue::shared()->isMainThread();
}

// Stops the program with a "***" line naming `entryPoint` when not called on
// the main thread. For entry points that must only be called there.
void assertMainThread(const char* entryPoint);

}  // namespace lf
