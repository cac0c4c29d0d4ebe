#pragma once
// QFFileObserver: tells its delegate when any of a set of files or folders
// changed on disk. Each observed path has a presenter of its own
// (QFFileObservationPresenter, over the inotify file watcher); a burst of
// changes, to one path or several, gives one delegate call half a second
// after the last change, so a document that is saved in several writes is
// read again once, when it is complete. The delegate is not told which path
// changed: it looks at all of them again.
//
// Main thread only: presenters report there, the half-second timer runs on
// the main queue, and the delegate is called there.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QFFileObserver;
class QFFileObservationPresenter;

class QFFileObserverDelegate {
public:
    virtual ~QFFileObserverDelegate() = default;
    // `path` is always none: the observer gathers changes of all its paths.
    virtual void observedChangeAtPath(QFFileObserver& observer,
                                      const std::optional<std::string>& path) = 0;
};

class QFFileObserver : public std::enable_shared_from_this<QFFileObserver> {
public:
    static constexpr std::chrono::milliseconds kCallbackDelay{500};

    // Suspended, observing nothing.
    QFFileObserver();
    // Removes every presenter.
    ~QFFileObserver();
    QFFileObserver(const QFFileObserver&) = delete;
    QFFileObserver& operator=(const QFFileObserver&) = delete;

    const std::set<std::string>& observedURLs() const { return observedURLs_; }
    // Removes every presenter, keeps the paths and, unless suspended, adds a
    // presenter for each.
    void setObservedURLs(std::set<std::string> urls);

    bool isSuspended() const { return isSuspended_; }
    // Resuming adds the presenters, suspending removes them; changes made
    // while suspended are never reported.
    void setSuspended(bool suspended);

    std::weak_ptr<QFFileObserverDelegate> delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<QFFileObserverDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    // Sent by a presenter: (re)starts the half-second timer.
    void noteItemChangedAtURL(const std::string& url);

private:
    void addPresenters();
    void removePresenters();
    void callbackTimerFired(uint64_t timer);

    std::vector<std::unique_ptr<QFFileObservationPresenter>> presenters_;
    // The pending timer's number; a timer whose number is no longer this one
    // was cancelled.
    std::optional<uint64_t> callbackTimer_;
    uint64_t timersStarted_ = 0;
    bool isSuspended_ = true;
    std::weak_ptr<QFFileObserverDelegate> delegate_;
    std::set<std::string> observedURLs_;
};
