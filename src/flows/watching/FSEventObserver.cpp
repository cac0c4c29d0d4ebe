#include "flows/watching/FSEventObserver.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/FileWatcher.h"

#include <chrono>

namespace {

constexpr std::chrono::seconds kStreamLatency{1};

}  // namespace

FSEventObserver::FSEventObserver(unsigned)
    : streamDispatchQueue_(
          lf::DispatchQueue::createSerial("layerflow.flows.event-observer.stream",
                                          lf::DispatchQueue::global(lf::QueuePriority::Low))),
      delegateQueue_(lf::DispatchQueue::createSerial("layerflow.flows.event-observer.delegate",
                                                     lf::DispatchQueue::global())) {}

FSEventObserver::~FSEventObserver() = default;

std::set<std::string> FSEventObserver::observedPaths() const {
    observingLock_.wait();
    std::set<std::string> paths = observedPaths_;
    observingLock_.signal();
    return paths;
}

void FSEventObserver::setObservedPaths(const std::set<std::string>& paths) {
    observingLock_.wait();
    observedPaths_ = paths;
    observingLock_.signal();
    updateStream();
}

void FSEventObserver::addObservedPath(const std::string& path) {
    observingLock_.wait();
    observedPaths_.insert(path);
    observingLock_.signal();
    updateStream();
}

void FSEventObserver::removeObservedPath(const std::string& path) {
    observingLock_.wait();
    observedPaths_.erase(path);
    observingLock_.signal();
    updateStream();
}

void FSEventObserver::setSuspended(bool suspended) {
    if (isSuspended_.exchange(suspended) == suspended) return;
    updateStream();
}

std::weak_ptr<FSEventObserverDelegate> FSEventObserver::delegate() const {
    std::weak_ptr<FSEventObserverDelegate> delegate;
    delegateQueue_->sync([&] { delegate = delegate_; });
    return delegate;
}

void FSEventObserver::setDelegate(std::weak_ptr<FSEventObserverDelegate> delegate) {
    delegateQueue_->sync([&] { delegate_ = std::move(delegate); });
}

bool FSEventObserver::hasStream() const {
    bool running = false;
    streamDispatchQueue_->sync([&] { running = stream_ != nullptr; });
    return running;
}

void FSEventObserver::updateStream() {
    streamDispatchQueue_->async([weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self) return;
        self->observingLock_.wait();
        const bool samePaths = self->streamPaths_ == self->observedPaths_;
        std::set<std::string> paths = self->observedPaths_;
        self->observingLock_.signal();

        if (self->isSuspended_ || paths.empty()) {
            self->stream_.reset();
            self->streamPaths_.reset();  // so the next update sees a change
            return;
        }
        if (self->stream_ && samePaths) return;
        if (!self->stream_) {
            self->stream_ = std::make_unique<lf::FileWatcher>(
                self->streamDispatchQueue_,
                [weak](const std::set<std::string>& changed) {
                    if (auto observer = weak.lock()) observer->processEventsWithPaths(changed);
                },
                kStreamLatency);
        }
        // Folders that stay keep their watches, so their changes go on
        // being seen while the set changes.
        self->stream_->setWatchedPaths(paths);
        self->stream_->setSuspended(false);
        self->streamPaths_ = std::move(paths);
    });
}

void FSEventObserver::processEventsWithPaths(const std::set<std::string>& paths) {
    delegateQueue_->async([weak = weak_from_this(), paths] {
        auto self = weak.lock();
        if (!self) return;
        for (const auto& path : paths)
            if (auto delegate = self->delegate_.lock())
                delegate->observedChangeInDirectoryAtPath(*self, path, true);
    });
}
