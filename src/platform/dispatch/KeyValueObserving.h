#pragma once
// Key-value observation: an object announces the changes of its keys, and
// observers of a key are told after each change.
// The flows and the flow manager derive from KeyValueObservable; the
// interface and the manager observe them.
//
// - A change is announced by a pair willChangeValueForKey /
//   didChangeValueForKey around it (or changeValueForKey). Pairs may nest;
//   observers are told once the outermost pair of the key closes.
// - A key may depend on others (a status line on the status and the last
//   run date): a change of any of them is announced as a change of it too.
// - Main thread only: announcing and observing stop the program elsewhere.
//   Observers are called on the main thread, in the order they were added,
//   and may add and end observations while being called.

#include "platform/core/Observation.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace lf {

class KeyValueObservable {
public:
    using Handler = std::function<void(const std::string& key)>;

    // While the returned observation lives, `handler` is called with the key
    // after every change of it; with `initial` also once, now.
    [[nodiscard]] Observation addObserver(const std::string& key, Handler handler,
                                          bool initial = false) const;

protected:
    KeyValueObservable();
    // Observations that outlive the object end quietly.
    ~KeyValueObservable();
    KeyValueObservable(const KeyValueObservable&) = delete;
    KeyValueObservable& operator=(const KeyValueObservable&) = delete;

    void willChangeValueForKey(const std::string& key);
    void didChangeValueForKey(const std::string& key);
    template <class Change>
    void changeValueForKey(const std::string& key, Change&& change) {
        willChangeValueForKey(key);
        std::forward<Change>(change)();
        didChangeValueForKey(key);
    }

    // A change of any of `affectingKeys` is also a change of `key`.
    void setKeysAffectingValueForKey(const std::string& key, std::set<std::string> affectingKeys);

private:
    struct Registry;
    std::shared_ptr<Registry> registry_;
};

}  // namespace lf
