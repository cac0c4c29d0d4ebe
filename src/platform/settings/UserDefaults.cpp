#include "platform/settings/UserDefaults.h"

#include "platform/core/Log.h"
#include "platform/core/Result.h"
#include "platform/files/Data.h"
#include "platform/writing/AtomicFile.h"

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
    // The last good copy as it was read at construction, before any write
    // of this store replaced it; none when it could not be read.
    std::optional<nlohmann::json> lastGoodAtConstruction;
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

// More links than this on the way to a file is a loop, as the kernel counts.
constexpr int kMaxLinksFollowed = 40;

bool isSymbolicLink(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(path, error));
}

// The file a write of `path` replaces: `path` itself or, when that is a
// symbolic link, the file the link leads to (which need not exist yet), so
// that the link stays. ELOOP for links that lead round in a loop.
Result<std::string> fileWrittenThrough(const std::string& path) {
    std::filesystem::path file = path;
    for (int followed = 0; followed <= kMaxLinksFollowed; ++followed) {
        if (!isSymbolicLink(file.string())) return file.string();
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(file, error);
        if (error) return Error::posix(error.value(), "read the link " + file.string());
        file = target.is_absolute() ? target : file.parent_path() / target;
    }
    return Error::posix(ELOOP, "follow the links of " + path);
}

Status writeThrough(const std::string& path, const std::string& text) {
    auto file = fileWrittenThrough(path);
    if (!file) return file.error();
    return writeFileAtomically(*file, Data::fromString(text));
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
    const Result<Data> copy = Data::readFile(lastGoodCopyPath());
    if (copy) state_->lastGoodAtConstruction = jsonObject(*copy);
    auto data = Data::readFile(path_);
    if (data) {
        if (auto stored = jsonObject(*data)) {
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
    const std::string aside = path_ + ".damaged";
    Status kept;
    if (isSymbolicLink(path_)) {
        // The link stays, so that the next write mends the file it leads to.
        kept = writeFileAtomically(aside, damaged);
    } else {
        std::error_code error;
        std::filesystem::rename(path_, aside, error);
        if (error) kept = Error::posix(error.value(), "rename " + path_ + " to " + aside);
    }
    if (kept)
        log("Couldn't read the user defaults at {}: not a JSON object; kept as {}", path_, aside);
    else
        log("Couldn't read the user defaults at {}: not a JSON object; couldn't keep it: {}", path_,
            describe(kept.error()));
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
    const std::string aside = damagedValuePath(key);
    Status kept =
        writeFileAtomically(aside, Data::fromString(nlohmann::json{{key, value}}.dump(2)));
    if (!kept) return "damaged (couldn't keep it: " + describe(kept.error()) + ")";
    return "damaged (kept as " + aside + ")";
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
        Status written = writeThrough(path, text);
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
