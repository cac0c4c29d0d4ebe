#include "updater/unpacking/OMAUWorkUnderWay.h"

#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>

namespace {

// The work under way, each piece with the means to stop it.
class Registry {
public:
    // Never destroyed: the threads it waits for end as the process exits.
    static Registry& shared() {
        static Registry* const shared = [] {
            std::atexit(OMAUEndUnpackings);
            return new Registry;
        }();
        return *shared;
    }

    uint64_t begin(std::stop_source stop) {
        std::lock_guard lock(mutex_);
        stops_.emplace(next_, std::move(stop));
        return next_++;
    }
    void end(uint64_t work) {
        std::lock_guard lock(mutex_);
        stops_.erase(work);
        ended_.notify_all();
    }
    void stopAllAndWait() {
        std::unique_lock lock(mutex_);
        for (auto& [work, stop] : stops_)
            stop.request_stop();
        ended_.wait(lock, [&] { return stops_.empty(); });
    }

private:
    std::mutex mutex_;
    std::condition_variable ended_;
    std::map<uint64_t, std::stop_source> stops_;
    // 0 stands for none.
    uint64_t next_ = 1;
};

}  // namespace

OMAUWorkUnderWay::OMAUWorkUnderWay(std::stop_source stop)
    : work_(Registry::shared().begin(std::move(stop))) {}

OMAUWorkUnderWay::OMAUWorkUnderWay(OMAUWorkUnderWay&& other) noexcept
    : work_(std::exchange(other.work_, 0)) {}

OMAUWorkUnderWay::~OMAUWorkUnderWay() {
    if (work_ != 0) Registry::shared().end(work_);
}

void OMAUEndUnpackings() {
    Registry::shared().stopAllAndWait();
}
