#pragma once
// QFFileObservationPresenter: watches one file or folder for its
// QFFileObserver and tells it of every change, on the main thread. Saves
// that write a new file and rename it over the old one, deletions, and a
// file that appears again are all changes; a folder's changes include
// everything below it. The path is followed, not the item it named once:
// a folder on the way moved away, deleted or made again, a link on the way
// or at the end switched, and a save of what a link leads to are changes
// too (lf::FileWatcher).
//
// Made, registered, unregistered and destroyed on the main thread by its
// observer, which owns it.

#include <memory>
#include <string>

namespace lf {
class FileWatcher;
}
class QFFileObserver;

class QFFileObservationPresenter {
public:
    QFFileObservationPresenter(QFFileObserver* parent, std::string itemURL);
    ~QFFileObservationPresenter();
    QFFileObservationPresenter(const QFFileObservationPresenter&) = delete;
    QFFileObservationPresenter& operator=(const QFFileObservationPresenter&) = delete;

    const std::string& presentedItemURL() const { return itemURL_; }
    QFFileObserver* parent() const { return parent_; }

    // Starts and stops the watch: changes are reported only in between.
    void registerPresenter();
    void unregisterPresenter();

    // Tells the parent that the item changed.
    void presentedItemDidChange();

private:
    QFFileObserver* const parent_;
    const std::string itemURL_;
    std::unique_ptr<lf::FileWatcher> watcher_;
};
