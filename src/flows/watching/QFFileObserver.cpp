#include "flows/watching/QFFileObserver.h"

#include "flows/watching/QFFileObservationPresenter.h"
#include "platform/dispatch/MainQueue.h"

QFFileObserver::QFFileObserver() = default;

QFFileObserver::~QFFileObserver() {
    removePresenters();
}

void QFFileObserver::setObservedURLs(std::set<std::string> urls) {
    lf::assertMainThread("QFFileObserver::setObservedURLs");
    removePresenters();
    observedURLs_ = std::move(urls);
    if (!isSuspended_) addPresenters();
}

void QFFileObserver::setSuspended(bool suspended) {
    lf::assertMainThread("QFFileObserver::setSuspended");
    if (suspended == isSuspended_) return;
    isSuspended_ = suspended;
    if (suspended)
        removePresenters();
    else
        addPresenters();
}

void QFFileObserver::addPresenters() {
    for (const auto& url : observedURLs_) {
        auto presenter = std::make_unique<QFFileObservationPresenter>(this, url);
        presenter->registerPresenter();
        presenters_.push_back(std::move(presenter));
    }
}

void QFFileObserver::removePresenters() {
    for (const auto& presenter : presenters_)
        presenter->unregisterPresenter();
    presenters_.clear();
}

void QFFileObserver::noteItemChangedAtURL(const std::string&) {
    lf::assertMainThread("QFFileObserver::noteItemChangedAtURL");
    const uint64_t timer = ++timersStarted_;
    callbackTimer_ = timer;
    lf::MainQueue::shared()->asyncAfter(kCallbackDelay, [weak = weak_from_this(), timer] {
        if (auto observer = weak.lock()) observer->callbackTimerFired(timer);
    });
}

void QFFileObserver::callbackTimerFired(uint64_t timer) {
    if (callbackTimer_ != timer) return;  // a later change restarted the timer
    callbackTimer_.reset();
    if (auto delegate = delegate_.lock()) delegate->observedChangeAtPath(*this, std::nullopt);
}
