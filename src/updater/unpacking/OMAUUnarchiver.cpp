#include "updater/unpacking/OMAUUnarchiver.h"

#include "platform/Log.h"
#include "platform/MainQueue.h"
#include "updater/unpacking/OMAUArchiveExtraction.h"

#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

namespace {

// The unpackings under way, each with the means to cancel it.
class UnpackingsUnderWay {
public:
    // Never destroyed: the threads it waits for end as the process exits.
    static UnpackingsUnderWay& shared() {
        static UnpackingsUnderWay* const shared = [] {
            std::atexit(OMAUEndUnpackings);
            return new UnpackingsUnderWay;
        }();
        return *shared;
    }

    uint64_t begin(std::stop_source stop) {
        std::lock_guard lock(mutex_);
        stops_.emplace(next_, std::move(stop));
        return next_++;
    }
    // The unpacking's thread touches nothing of the unpacking's after this.
    void end(uint64_t unpacking) {
        std::lock_guard lock(mutex_);
        stops_.erase(unpacking);
        ended_.notify_all();
    }
    void cancelAllAndWait() {
        std::unique_lock lock(mutex_);
        for (auto& [unpacking, stop] : stops_)
            stop.request_stop();
        ended_.wait(lock, [&] { return stops_.empty(); });
    }

private:
    std::mutex mutex_;
    std::condition_variable ended_;
    std::map<uint64_t, std::stop_source> stops_;
    uint64_t next_ = 0;
};

// Whether the main thread has run a piece of work handed to it; waited
// for unless the unpacking is cancelled first.
class Heard {
public:
    void set() {
        std::lock_guard lock(mutex_);
        heard_ = true;
        changed_.notify_all();
    }
    void waitUnless(std::stop_token stop) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, stop, [&] { return heard_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
    bool heard_ = false;
};

}  // namespace

void OMAUUnarchiver::unarchivePath(const std::string& path, const std::string& applicationFolder) {
    const uint64_t unpacking = UnpackingsUnderWay::shared().begin(stop_);
    std::thread([self = shared_from_this(), path, applicationFolder, unpacking]() mutable {
        self->extract(path, applicationFolder);
        self.reset();
        UnpackingsUnderWay::shared().end(unpacking);
    }).detach();
}

void OMAUUnarchiver::extract(const std::string& path, const std::string& applicationFolder) {
    const std::stop_token stop = stop_.get_token();
    auto main = lf::MainQueue::shared();
    auto self = shared_from_this();
    auto extractedLength = [&](uint64_t length) {
        main->async([self, length] {
            auto delegate = self->delegate();
            if (delegate && !self->stop_.stop_requested())
                delegate->unarchiverExtractedLength(*self, length);
        });
    };
    const lf::Status extracted =
        OMAUExtractArchive(path, extractedLength, {}, applicationFolder, stop);
    // Cancelled, it has nothing more to say; the process may be ending.
    if (stop.stop_requested()) return;
    if (!extracted) lf::log("Extracting {}: {}", path, lf::describe(extracted.error()));
    auto heard = std::make_shared<Heard>();
    main->async([self, extracted, heard] {
        if (!self->stop_.stop_requested()) self->tellEnd(extracted);
        heard->set();
    });
    heard->waitUnless(stop);
}

void OMAUUnarchiver::tellEnd(const lf::Status& extracted) {
    if (!extracted) failure_ = extracted.error();
    auto delegate = this->delegate();
    if (!delegate) return;
    if (extracted)
        delegate->unarchiverDidFinish(shared_from_this());
    else
        delegate->unarchiverDidFail(shared_from_this());
}

void OMAUEndUnpackings() {
    UnpackingsUnderWay::shared().cancelAllAndWait();
}
