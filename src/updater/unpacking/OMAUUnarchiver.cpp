#include "updater/unpacking/OMAUUnarchiver.h"

#include "platform/dispatch/MainQueue.h"
#include "updater/shared/OMAULog.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Who the unpacked entries belong to once the unpacking is over: the
// delegate, once the main thread tells it the end, or nobody, when the
// unpacking is cancelled first; decided once, by whichever comes first.
class Handover {
public:
    // On the main thread: whether the end is to be told (and the entries
    // the delegate's).
    bool take(std::stop_token stop) {
        std::lock_guard lock(mutex_);
        if (state_ == State::pending)
            state_ = stop.stop_requested() ? State::dropped : State::taken;
        changed_.notify_all();
        return state_ == State::taken;
    }
    // On the unarchiver's thread: whether the delegate took the entries,
    // waiting until it does unless the unpacking is cancelled first.
    bool waitUnless(std::stop_token stop) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, stop, [&] { return state_ != State::pending; });
        if (state_ == State::pending) state_ = State::dropped;
        return state_ == State::taken;
    }

private:
    enum class State { pending, taken, dropped };
    std::mutex mutex_;
    std::condition_variable_any changed_;
    State state_ = State::pending;
};

}  // namespace

void OMAUUnarchiver::unarchivePath(const std::string& path, const std::string& applicationFolder) {
    std::thread([self = shared_from_this(), path, applicationFolder,
                 registered = std::make_unique<OMAUWorkUnderWay>(stop_)]() mutable {
        self->extract(path, applicationFolder);
        // Nothing of the unpacking's is touched once quitting may go on.
        self.reset();
        registered.reset();
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
    OMAUUnpackingRequest request;
    request.path = path;
    request.extractedLength = extractedLength;
    request.applicationFolder = applicationFolder;
    request.stop = stop;
    request.afterStep = afterStep_;
    lf::Result<OMAUUnpackedEntries> unpacked = OMAUUnpackArchive(request);
    // Cancelled, it has nothing more to say; the process may be ending.
    if (stop.stop_requested()) return;
    const lf::Status extracted = unpacked ? lf::Status() : lf::Status(unpacked.error());
    if (!extracted) OMAULog("Extracting {}: {}", path, lf::describe(extracted.error()));
    auto handover = std::make_shared<Handover>();
    main->async([self, extracted, handover] {
        if (handover->take(self->stop_.get_token())) self->tellEnd(extracted);
    });
    // Cancelled before the delegate heard, what was unpacked goes as
    // `unpacked` does.
    if (handover->waitUnless(stop) && unpacked) unpacked->keep();
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
