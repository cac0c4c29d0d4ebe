#include "platform/dispatch/KeyValueObserving.h"

#include "platform/dispatch/MainQueue.h"

#include <vector>

namespace lf {

struct KeyValueObservable::Registry {
    struct Observer {
        std::string key;
        std::shared_ptr<Handler> handler;
    };
    uint64_t nextId = 1;
    std::map<uint64_t, Observer> observers;  // in the order they were added
    std::map<std::string, int> openChanges;
    // Key to the keys that depend on it.
    std::map<std::string, std::set<std::string>> dependents;

    // `key` and every key depending on it, directly or through others.
    std::set<std::string> affectedBy(const std::string& key) const {
        std::set<std::string> affected{key};
        std::vector<std::string> pending{key};
        while (!pending.empty()) {
            std::string next = std::move(pending.back());
            pending.pop_back();
            auto it = dependents.find(next);
            if (it == dependents.end()) continue;
            for (const auto& dependent : it->second)
                if (affected.insert(dependent).second) pending.push_back(dependent);
        }
        return affected;
    }
};

KeyValueObservable::KeyValueObservable() : registry_(std::make_shared<Registry>()) {}

KeyValueObservable::~KeyValueObservable() = default;

Observation KeyValueObservable::addObserver(const std::string& key, Handler handler,
                                            bool initial) const {
    assertMainThread("KeyValueObservable::addObserver");
    const uint64_t id = registry_->nextId++;
    auto shared = std::make_shared<Handler>(std::move(handler));
    registry_->observers.emplace(id, Registry::Observer{key, shared});
    if (initial) (*shared)(key);
    return Observation([weak = std::weak_ptr<Registry>(registry_), id] {
        if (auto registry = weak.lock()) {
            assertMainThread("KeyValueObservable observation end");
            registry->observers.erase(id);
        }
    });
}

void KeyValueObservable::willChangeValueForKey(const std::string& key) {
    assertMainThread("KeyValueObservable::willChangeValueForKey");
    ++registry_->openChanges[key];
}

void KeyValueObservable::didChangeValueForKey(const std::string& key) {
    assertMainThread("KeyValueObservable::didChangeValueForKey");
    auto open = registry_->openChanges.find(key);
    if (open != registry_->openChanges.end() && --open->second > 0) return;
    if (open != registry_->openChanges.end()) registry_->openChanges.erase(open);

    // The registry may go with the object while a handler runs.
    std::shared_ptr<Registry> registry = registry_;
    const std::set<std::string> keys = registry->affectedBy(key);
    std::vector<std::pair<uint64_t, Registry::Observer>> toCall;
    for (const auto& [id, observer] : registry->observers)
        if (keys.count(observer.key)) toCall.emplace_back(id, observer);
    for (const auto& [id, observer] : toCall) {
        // An earlier handler may have ended this observation.
        if (registry->observers.count(id)) (*observer.handler)(observer.key);
    }
}

void KeyValueObservable::setKeysAffectingValueForKey(const std::string& key,
                                                     std::set<std::string> affectingKeys) {
    for (auto& [dependentOf, dependents] : registry_->dependents)
        dependents.erase(key);
    for (const auto& affecting : affectingKeys)
        registry_->dependents[affecting].insert(key);
}

}  // namespace lf
