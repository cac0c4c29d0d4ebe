#include "platform/settings/UserDefaults.h"

#include "platform/core/Log.h"
#include "platform/core/Result.h"
#include "platform/files/Data.h"
#include "platform/settings/DamagedCopies.h"
#include "platform/settings/SettingsFile.h"
#include "platform/settings/UserDefaultsState.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <vector>

namespace lf {

namespace {

std::mutex standardMutex;
std::shared_ptr<UserDefaults>& standardSlot() {
    static auto* slot = new std::shared_ptr<UserDefaults>;  // lives until exit
    return *slot;
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
    state_->owner = this;
    load();
}

UserDefaults::~UserDefaults() {
    {
        std::lock_guard owning(state_->ownerMutex);
        state_->owner = nullptr;
    }
    writeWaitingChanges();
}

void UserDefaults::writeWaitingChangesBeforeExit() {
    std::shared_ptr<UserDefaults> standard;
    {
        std::lock_guard lock(standardMutex);
        standard = standardSlot();
    }
    if (standard) standard->writeWaitingChanges();
}

void UserDefaults::load() {
    const Result<Data> copy = Data::readFile(lastGoodCopyPath());
    if (copy) state_->lastGoodAtConstruction = settingsFileObject(*copy);
    const SettingsFileReading reading = readSettingsFile(path_);
    state_->fileStamp = reading.stamp;
    const Result<Data>& data = reading.contents;
    if (data) {
        state_->fileBytes = *data;
        if (auto stored = settingsFileObject(*data)) {
            state_->stored = std::move(*stored);
            return;
        }
        setAsideDamagedFile(*data);
    } else if (data.error().code != ENOENT) {
        log("Couldn't read the user defaults at {}: {}", path_, describe(data.error()));
    } else if (!copy && copy.error().code == ENOENT) {
        return;  // never written
    } else {
        // Removed, or moved aside as damaged by a launch that then wrote
        // nothing: the copy holds the settings still.
        log("Couldn't find the user defaults at {}", path_);
    }
    loadLastGoodCopy();
}

void UserDefaults::setAsideDamagedFile(const Data& damaged) {
    // Through a link, a copy: the link stays, so that the next write mends
    // the file it leads to.
    const bool throughLink = settingsFileIsALink(path_);
    const Result<std::string> kept = throughLink ? keepDamagedCopy(damagedFilePath(), damaged)
                                                 : moveToDamagedCopy(damagedFilePath(), path_);
    if (!kept) {
        // Tried again before a write would replace it.
        state_->fileIsDamaged = true;
        log("Couldn't read the user defaults at {}: not a JSON object; couldn't keep it: {}", path_,
            describe(kept.error()));
        return;
    }
    log("Couldn't read the user defaults at {}: not a JSON object; kept as {}", path_, *kept);
    if (throughLink) {
        state_->fileIsDamaged = true;
        state_->keptAside = state_->fileReadLocked();
    } else {
        // Gone from the path by this store's own hand: no change to follow.
        state_->fileStamp = settingsFileStamp(path_);
        state_->fileBytes.reset();
    }
}

void UserDefaults::loadLastGoodCopy() {
    if (!state_->lastGoodAtConstruction) {
        log("Couldn't read the last good copy of the user defaults at {} either: starting empty",
            lastGoodCopyPath());
        return;
    }
    state_->stored = *state_->lastGoodAtConstruction;
    log("Read the user defaults from their last good copy at {}", lastGoodCopyPath());
}

std::optional<nlohmann::json> UserDefaults::checkedObjectForKey(
    const std::string& key, const std::function<bool(const nlohmann::json&)>& isSound) {
    followFile();
    std::optional<nlohmann::json> stored, lastGood;
    {
        std::lock_guard lock(state_->mutex);
        if (auto it = state_->stored.find(key); it != state_->stored.end()) stored = *it;
        if (const auto& copy = state_->lastGoodAtConstruction)
            if (auto it = copy->find(key); it != copy->end()) lastGood = *it;
    }
    if (stored && isSound(*stored)) return stored;
    const bool recovered = lastGood && isSound(*lastGood);
    if (!stored && !recovered) return std::nullopt;
    const std::string damage = stored ? keepDamagedValueAside(key, *stored) : "missing";
    log("The \"{}\" of the user defaults at {} is {}; {}", key, path_, damage,
        recovered ? "read it from their last good copy" : "their last good copy has none either");
    if (!recovered) return std::nullopt;
    setObject(key, *lastGood);
    return lastGood;
}

std::string UserDefaults::keepDamagedValueAside(const std::string& key,
                                                const nlohmann::json& value) {
    std::lock_guard keeping(state_->fileMutex);
    const auto kept = keepDamagedCopy(damagedValuePath(key),
                                      Data::fromString(nlohmann::json{{key, value}}.dump(2)));
    if (!kept) return "damaged (couldn't keep it: " + describe(kept.error()) + ")";
    return "damaged (kept as " + *kept + ")";
}

void UserDefaults::followFile() const {
    const SettingsFileStamp now = settingsFileStamp(path_);
    {
        std::lock_guard lock(state_->mutex);
        if (state_->fileStamp && *state_->fileStamp == now && state_->fileStamp->settled) return;
    }
    std::vector<std::string> changed;
    {
        std::lock_guard reading(state_->fileMutex);
        changed = takeIn(readSettingsFile(path_));
    }
    notify(changed);
}

std::vector<std::string> UserDefaults::takeIn(const SettingsFileReading& reading) const {
    std::optional<Data> bytes;
    if (reading.contents) bytes = *reading.contents;
    {
        std::lock_guard lock(state_->mutex);
        const bool sameFailure = !bytes && state_->fileStamp && !state_->fileBytes &&
                                 state_->fileStamp->error == reading.stamp.error;
        const bool sameBytes = bytes && state_->fileBytes == bytes;
        state_->fileStamp = reading.stamp;
        if (sameFailure || sameBytes) return {};
        state_->fileBytes = bytes;
        state_->fileIsDamaged = false;
    }
    // The values read before stay while the file holds none: a missing
    // file is written again whole, an editor's file between its truncation
    // and its write is read again once written, and damage is kept aside
    // before a write replaces it.
    if (!bytes) {
        const Error& error = reading.contents.error();
        if (error.code == ENOENT)
            log("Couldn't find the user defaults at {}; keeping the settings read before", path_);
        else
            log("Couldn't read the user defaults at {}: {}; keeping the settings read before",
                path_, describe(error));
        return {};
    }
    std::optional<nlohmann::json> values = settingsFileObject(*bytes);
    std::lock_guard lock(state_->mutex);
    if (values) return state_->adoptLocked(std::move(*values));
    if (!bytes->empty()) {
        state_->fileIsDamaged = true;
        log("Couldn't read the user defaults at {}: not a JSON object; keeping the settings read "
            "before",
            path_);
    }
    return {};
}

void UserDefaults::yieldToFileEditsOf(const std::string& key) {
    std::lock_guard lock(state_->mutex);
    state_->yieldingKeys.insert(key);
}

bool UserDefaults::hasUnwrittenChange(const std::string& key) const {
    std::lock_guard lock(state_->mutex);
    return state_->unwritten.count(key) != 0;
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
    notify(changed);
}

std::optional<nlohmann::json> UserDefaults::objectForKey(const std::string& key) const {
    followFile();
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
        // Made over the file's value: the stored one, where no change of
        // this store lies over it yet.
        if (state_->yieldingKeys.count(key) && !state_->unwritten.count(key))
            state_->unwrittenBases[key] = state_->stored.value(key, nlohmann::json());
        if (value.is_null()) {
            state_->stored.erase(key);
        } else {
            state_->stored[key] = value;
        }
        state_->unwritten[key] = value;
        changed = before != state_->valueLocked(key);
    }
    std::vector<std::string> keys = save(Wait::ForAFileBeingWritten);
    if (changed && std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
    notify(keys);
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

void UserDefaults::notify(const std::vector<std::string>& keys) const {
    for (const std::string& key : keys) {
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
}

}  // namespace lf
