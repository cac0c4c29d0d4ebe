#include "platform/UserDefaults.h"

#include "platform/AtomicFile.h"
#include "platform/Data.h"
#include "platform/Log.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

namespace lf {

struct UserDefaults::State {
    mutable std::mutex mutex;
    // Held for a whole write, so that writes land in the order of the
    // snapshots they write.
    std::mutex saveMutex;
    nlohmann::json stored = nlohmann::json::object();
    nlohmann::json registered = nlohmann::json::object();
    uint64_t nextObservation = 1;
    std::map<uint64_t, std::pair<std::string, std::shared_ptr<std::function<void()>>>> observers;

    // Called with the mutex held.
    std::optional<nlohmann::json> valueLocked(const std::string& key) const {
        if (auto it = stored.find(key); it != stored.end()) return *it;
        if (auto it = registered.find(key); it != registered.end()) return *it;
        return std::nullopt;
    }
};

namespace {

std::mutex standardMutex;
std::shared_ptr<UserDefaults>& standardSlot() {
    static auto* slot = new std::shared_ptr<UserDefaults>;  // lives until exit
    return *slot;
}

// The JSON object `data` holds; none when it holds anything else.
std::optional<nlohmann::json> jsonObject(const Data& data) {
    nlohmann::json parsed = nlohmann::json::parse(data.stringView(), nullptr, false);
    if (!parsed.is_object()) return std::nullopt;
    return parsed;
}

}  // namespace

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    std::lock_guard lock(standardMutex);
    auto& slot = standardSlot();
    if (!slot) slot = std::make_shared<UserDefaults>(standardPath());
    return slot;
}

void UserDefaults::setStandard(std::shared_ptr<UserDefaults> defaults) {
    std::lock_guard lock(standardMutex);
    standardSlot() = std::move(defaults);
}

std::string UserDefaults::standardPath() {
    std::filesystem::path base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home && *home ? home : "/tmp") / ".config";
    }
    return (base / "layerflow" / "defaults.json").string();
}

UserDefaults::UserDefaults(std::string path)
    : path_(std::move(path)), state_(std::make_shared<State>()) {
    load();
}

UserDefaults::~UserDefaults() = default;

void UserDefaults::load() {
    auto data = Data::readFile(path_);
    if (!data && data.error().code == ENOENT) return;
    if (!data) {
        log("Couldn't read the user defaults at {}: {}", path_, describe(data.error()));
    } else if (auto stored = jsonObject(*data)) {
        state_->stored = std::move(*stored);
        return;
    } else {
        const std::string aside = path_ + ".damaged";
        std::error_code error;
        std::filesystem::rename(path_, aside, error);
        log("Couldn't read the user defaults at {}: not a JSON object; kept as {}", path_, aside);
    }
    loadLastGoodCopy();
}

void UserDefaults::loadLastGoodCopy() {
    const std::string copy = lastGoodCopyPath();
    auto data = Data::readFile(copy);
    std::optional<nlohmann::json> stored = data ? jsonObject(*data) : std::nullopt;
    if (!stored) {
        log("Couldn't read the last good copy of the user defaults at {} either: starting empty",
            copy);
        return;
    }
    state_->stored = std::move(*stored);
    log("Read the user defaults from their last good copy at {}", copy);
}

void UserDefaults::save() {
    std::lock_guard saving(state_->saveMutex);
    std::string text;
    {
        std::lock_guard lock(state_->mutex);
        text = state_->stored.dump(2);
    }
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
    // Written the same way, so that whatever becomes of the file, the copy
    // holds the last settings written whole.
    for (const std::string& path : {path_, lastGoodCopyPath()}) {
        Status written = writeFileAtomically(path, Data::fromString(text));
        if (!written)
            log("Couldn't write the user defaults to {}: {}", path, describe(written.error()));
    }
}

void UserDefaults::registerDefaults(const nlohmann::json& values) {
    if (!values.is_object()) return;
    std::vector<std::string> changed;
    {
        std::lock_guard lock(state_->mutex);
        for (const auto& [key, value] : values.items()) {
            auto before = state_->valueLocked(key);
            state_->registered[key] = value;
            if (before != state_->valueLocked(key)) changed.push_back(key);
        }
    }
    for (const auto& key : changed)
        notify(key);
}

std::optional<nlohmann::json> UserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard lock(state_->mutex);
    return state_->valueLocked(key);
}

bool UserDefaults::boolForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (!value) return false;
    if (value->is_boolean()) return value->get<bool>();
    if (value->is_number()) return value->get<double>() != 0;
    return false;
}

std::optional<double> UserDefaults::numberForKey(const std::string& key) const {
    auto value = objectForKey(key);
    if (!value) return std::nullopt;
    if (value->is_number()) return value->get<double>();
    if (value->is_boolean()) return value->get<bool>() ? 1.0 : 0.0;
    return std::nullopt;
}

void UserDefaults::setObject(const std::string& key, const nlohmann::json& value) {
    bool changed;
    {
        std::lock_guard lock(state_->mutex);
        auto before = state_->valueLocked(key);
        if (value.is_null()) {
            state_->stored.erase(key);
        } else {
            state_->stored[key] = value;
        }
        changed = before != state_->valueLocked(key);
    }
    save();
    if (changed) notify(key);
}

Observation UserDefaults::observe(const std::string& key, std::function<void()> handler) {
    std::lock_guard lock(state_->mutex);
    const uint64_t id = state_->nextObservation++;
    state_->observers.emplace(
        id, std::pair{key, std::make_shared<std::function<void()>>(std::move(handler))});
    return Observation([weak = std::weak_ptr<State>(state_), id] {
        if (auto state = weak.lock()) {
            std::lock_guard lock(state->mutex);
            state->observers.erase(id);
        }
    });
}

void UserDefaults::notify(const std::string& key) {
    std::vector<std::pair<uint64_t, std::shared_ptr<std::function<void()>>>> handlers;
    {
        std::lock_guard lock(state_->mutex);
        for (const auto& [id, observer] : state_->observers)
            if (observer.first == key) handlers.emplace_back(id, observer.second);
    }
    for (const auto& [id, handler] : handlers) {
        // An earlier handler may have ended this observation.
        bool stillObserving;
        {
            std::lock_guard lock(state_->mutex);
            stillObserving = state_->observers.count(id) != 0;
        }
        if (stillObserving) (*handler)();
    }
}

}  // namespace lf
