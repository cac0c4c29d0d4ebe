#include "platform/dispatch/DispatchTimer.h"

#include <queue>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace lf {
namespace {

class TimerThread {
public:
    void schedule(std::chrono::steady_clock::time_point due, DispatchWork work) {
        std::lock_guard lock(mutex_);
        entries_.push({due, sequence_++, std::move(work)});
        if (!started_) {
            started_ = true;
            std::thread([this] { run(); }).detach();
        }
        changed_.notify_one();
    }

private:
    struct Entry {
        std::chrono::steady_clock::time_point due;
        uint64_t sequence;  // keeps equal deadlines in submission order
        DispatchWork work;
        bool operator>(const Entry& other) const {
            return due != other.due ? due > other.due : sequence > other.sequence;
        }
    };

    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (entries_.empty()) {
                changed_.wait(lock);
                continue;
            }
            auto due = entries_.top().due;
            if (std::chrono::steady_clock::now() < due) {
                changed_.wait_until(lock, due);
                continue;
            }
            DispatchWork work = std::move(const_cast<Entry&>(entries_.top()).work);
            entries_.pop();
            lock.unlock();
            work();
            work = nullptr;
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> entries_;
    uint64_t sequence_ = 0;
    bool started_ = false;
};

}  // namespace

void scheduleAfter(std::chrono::nanoseconds delay, DispatchWork work) {
    static auto* timer = new TimerThread;  // never destroyed: its thread outlives main
    timer->schedule(std::chrono::steady_clock::now() + delay, std::move(work));
}

}  // namespace lf
