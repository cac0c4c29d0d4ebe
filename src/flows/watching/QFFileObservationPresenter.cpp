#include "flows/watching/QFFileObservationPresenter.h"

#include "flows/watching/QFFileObserver.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/FileWatcher.h"

#include <chrono>

QFFileObservationPresenter::QFFileObservationPresenter(QFFileObserver* parent, std::string itemURL)
    : parent_(parent), itemURL_(std::move(itemURL)) {}

QFFileObservationPresenter::~QFFileObservationPresenter() = default;

void QFFileObservationPresenter::registerPresenter() {
    if (watcher_) return;
    // No coalescing here: every change reaches the observer, whose own timer
    // gathers the bursts.
    watcher_ = std::make_unique<lf::FileWatcher>(
        lf::MainQueue::shared(), [this](const std::set<std::string>&) { presentedItemDidChange(); },
        std::chrono::nanoseconds::zero());
    watcher_->setWatchedPaths({itemURL_});
    watcher_->setSuspended(false);
}

void QFFileObservationPresenter::unregisterPresenter() {
    watcher_.reset();
}

void QFFileObservationPresenter::presentedItemDidChange() {
    parent_->noteItemChangedAtURL(itemURL_);
}
