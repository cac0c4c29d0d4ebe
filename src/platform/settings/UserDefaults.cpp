#include "platform/settings/UserDefaults.h"

#include "platform/core/Log.h"
#include "platform/core/Result.h"
#include "platform/core/TestHook.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/Data.h"
#include "platform/settings/DamagedCopies.h"
#include "platform/settings/SettingsFile.h"
#include "platform/writing/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <vector>

namespace lf {

struct UserDefaults::State {
    mutable std::mutex mutex;
    // Held for every look into the file after construction and for every
    // write (of the file and of its damaged copies), so that what is taken
    // in and what is written follow one another. Taken before `mutex`,
    // never while it is held.
    std::mutex fileMutex;
    // The file's values as last read, with this store's unwritten changes
    // over them.
    nlohmann::json stored = nlohmann::json::object();
    nlohmann::json registered = nlohmann::json::object();
    // The changes of this store that no write has put into the file yet:
    // each key's value, null for a removal. They go over whatever the file
    // holds when it is next read or written; every other value follows the
    // file.
    std::map<std::string, nlohmann::json> unwritten;
    // The file's values as last read or written, without the unwritten
    // changes over them.
    nlohmann::json fileValues = nlohmann::json::object();
    // The keys whose changes give way to edits of the file
    // (yieldToFileEditsOf), and for each unwritten change of one, the
    // file's value it was made over (null where the file had none).
    std::set<std::string> yieldingKeys;
    std::map<std::string, nlohmann::json> unwrittenBases;
    // The stamp of the file when it was last read, and what it held then
    // (none when it could not be read); no stamp after this store wrote it,
    // so that the next read looks again.
    std::optional<SettingsFileStamp> fileStamp;
    std::optional<Data> fileBytes;
    bool fileIsDamaged = false;
    // The file this store last kept aside (damaged, or still being written
    // when written over) and what it held, kept once however often it is
    // read.
    struct KeptFile {
        dev_t device;
        ino_t inode;
        Data bytes;
        bool operator==(const KeptFile&) const = default;
    };
    std::optional<KeptFile> keptAside;
    // The file as last read, as it would be kept aside. Called with the
    // mutex held.
    std::optional<KeptFile> fileReadLocked() const {
        if (!fileStamp || !fileBytes) return std::nullopt;
        return KeptFile{fileStamp->device, fileStamp->inode, *fileBytes};
    }
    // The last good copy as it was read at construction, before any write
    // of this store replaced it; none when it could not be read.
    std::optional<nlohmann::json> lastGoodAtConstruction;
    uint64_t nextObservation = 1;
    std::map<uint64_t, std::pair<std::string, std::shared_ptr<std::function<void()>>>> observers;
    // Whether a write waits for the file to settle, to be made once it has,
    // and how many such waits came in a row, without a write between.
    bool writeWaits = false;
    int settleWaits = 0;
    // The store a waiting write is made by: cleared by its destructor. A
    // waiting write holds `ownerMutex` while it runs, and takes `fileMutex`
    // after it.
    std::mutex ownerMutex;
    UserDefaults* owner = nullptr;

    // Called with the mutex held.
    std::optional<nlohmann::json> valueLocked(const std::string& key) const {
        if (auto it = stored.find(key); it != stored.end()) return *it;
        if (auto it = registered.find(key); it != registered.end()) return *it;
        return std::nullopt;
    }

    // Makes `fileValues`, with the unwritten changes over them, the stored
    // values: the keys whose values changed. Called with the mutex held.
    std::vector<std::string> adoptLocked(nlohmann::json fileValues) {
        dropChangesEditedInFileLocked(fileValues);
        this->fileValues = fileValues;
        for (const auto& [key, value] : unwritten) {
            if (value.is_null())
                fileValues.erase(key);
            else
                fileValues[key] = value;
        }
        std::set<std::string> keys;
        for (const auto& [key, value] : stored.items())
            keys.insert(key);
        for (const auto& [key, value] : fileValues.items())
            keys.insert(key);
        std::vector<std::optional<nlohmann::json>> before;
        for (const auto& key : keys)
            before.push_back(valueLocked(key));
        stored = std::move(fileValues);
        std::vector<std::string> changed;
        auto was = before.begin();
        for (const auto& key : keys)
            if (*was++ != valueLocked(key)) changed.push_back(key);
        return changed;
    }

    // Drops the unwritten changes of yielding keys whose value in the file
    // is no longer the one they were made over. Called with the mutex held.
    void dropChangesEditedInFileLocked(const nlohmann::json& values) {
        for (auto base = unwrittenBases.begin(); base != unwrittenBases.end();) {
            if (values.value(base->first, nlohmann::json()) == base->second) {
                ++base;
                continue;
            }
            log("The \"{}\" of the user defaults was edited in the file before this change of "
                "it was written: the edit is kept, for its owner to merge",
                base->first);
            unwritten.erase(base->first);
            base = unwrittenBases.erase(base);
        }
    }
};

namespace {

// How many times a write gives a file that is being written the time to
// settle before it takes it for damaged: an editor saves in far less.
constexpr int kSettleWaits = 3;
// How many times in a row a write reads and merges again a file that
// changed just before its new contents moved in, before it takes the file
// for being written.
constexpr int kMergesPerWrite = 4;

struct SettleWaitPlace;
TestHook<void(std::function<void()>)>& settleWaitHook() {
    return sharedTestHook<SettleWaitPlace, void(std::function<void()>)>();
}

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

Result<bool> replaceThrough(const std::string& path, const std::string& text,
                            const std::function<bool()>& isAsRead) {
    auto file = fileWrittenThrough(path);
    if (!file) return file.error();
    return writeFileAtomicallyIf(*file, Data::fromString(text).span(), isAsRead);
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

void UserDefaults::setSettleWaitHookForTesting(std::function<void(std::function<void()>)> hook) {
    settleWaitHook().set(std::move(hook));
}

void UserDefaults::load() {
    const Result<Data> copy = Data::readFile(lastGoodCopyPath());
    if (copy) state_->lastGoodAtConstruction = jsonObject(*copy);
    const SettingsFileReading reading = readSettingsFile(path_);
    state_->fileStamp = reading.stamp;
    const Result<Data>& data = reading.contents;
    if (data) {
        state_->fileBytes = *data;
        if (auto stored = jsonObject(*data)) {
            state_->fileValues = *stored;
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
    const bool throughLink = isSymbolicLink(path_);
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
    std::optional<nlohmann::json> values = jsonObject(*bytes);
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

// A file being written (an editor's save in place, truncated and not yet
// written again) is not written over: the editor would go on writing into
// the file replaced, and what it saves would be lost, with every edit made
// since this store last read the file. The changes wait for it in memory,
// where reads find them, and are written once it is whole; a file still
// not whole after kSettleWaits such waits, settled or not, is kept aside,
// as a second name of the file itself so that the editor's late write
// lands there, and written over. Just before the new contents move in, a
// file that changed since it was read is read and merged again (an edit
// saved by rename in the meantime); one that changes every time,
// kMergesPerWrite times in a row, is being written too, and waited for in
// the same way. Past the waits, or with Wait::Never, a last merge moves in
// whatever comes.
std::vector<std::string> UserDefaults::save(Wait wait) {
    std::lock_guard writing(state_->fileMutex);
    std::vector<std::string> changed;
    const bool mayWait = wait == Wait::ForAFileBeingWritten;
    bool lastMerge = false;
    for (int merge = 1;; ++merge) {
        const SettingsFileReading reading = readSettingsFile(path_);
        for (const std::string& key : takeIn(reading))
            if (std::find(changed.begin(), changed.end(), key) == changed.end())
                changed.push_back(key);
        const bool beingWritten = isBeingWritten(reading);
        if (mayWait && beingWritten && waitForFileToSettle()) return changed;
        const std::optional<Write> write = nextWrite();
        // None when another thread's write took these changes in already.
        if (!write || !keepFileAside(beingWritten)) return changed;
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
        const Result<bool> replaced = replaceThrough(
            path_, write->text, [&] { return lastMerge || settingsFileIsAsRead(path_, reading); });
        if (replaced && !*replaced) {
            if (merge < kMergesPerWrite) continue;
            if (mayWait && waitForFileToSettle()) return changed;
            lastMerge = true;
            continue;
        }
        noteWrite(replaced, *write);
        return changed;
    }
}

bool UserDefaults::isBeingWritten(const SettingsFileReading& reading) const {
    if (!reading.contents || jsonObject(*reading.contents)) return false;
    if (!reading.stamp.settled) return true;
    // Still not whole, however long it has rested, while the waits that
    // began when it was found so last.
    std::lock_guard lock(state_->mutex);
    return state_->settleWaits > 0;
}

std::optional<UserDefaults::Write> UserDefaults::nextWrite() const {
    std::lock_guard lock(state_->mutex);
    if (state_->unwritten.empty()) return std::nullopt;
    return Write{state_->stored.dump(2), state_->stored, state_->unwritten};
}

bool UserDefaults::keepFileAside(bool beingWritten) {
    std::optional<State::KeptFile> file;
    {
        std::lock_guard lock(state_->mutex);
        if (beingWritten || state_->fileIsDamaged) file = state_->fileReadLocked();
        if (!file || file == state_->keptAside) return true;
    }
    const auto kept = linkToDamagedCopy(damagedFilePath(), path_, file->bytes);
    if (!kept) {
        // Written over, the file's contents would be lost: the values stay
        // in memory until they can be kept.
        log("Couldn't write the user defaults to {}: it is {}, and couldn't be kept: {}", path_,
            beingWritten ? "still being written" : "damaged", describe(kept.error()));
        return false;
    }
    if (beingWritten)
        log("The user defaults at {} are still being written ({} bytes); kept as {}, with what "
            "is written into them later, before writing them",
            path_, file->bytes.size(), *kept);
    else
        log("The user defaults at {} are damaged; kept as {} before writing them", path_, *kept);
    std::lock_guard lock(state_->mutex);
    state_->keptAside = std::move(file);
    return true;
}

void UserDefaults::noteWrite(const Result<bool>& replaced, const Write& write) {
    if (!replaced) {
        log("Couldn't write the user defaults to {}: {}", path_, describe(replaced.error()));
    } else {
        std::lock_guard lock(state_->mutex);
        // A change made during the write waits for the next one.
        for (const auto& [key, value] : write.changes)
            if (auto it = state_->unwritten.find(key);
                it != state_->unwritten.end() && it->second == value) {
                state_->unwritten.erase(it);
                state_->unwrittenBases.erase(key);
            }
        // What the file holds now is what those changes are made over.
        for (auto& [key, base] : state_->unwrittenBases)
            base = write.values.value(key, nlohmann::json());
        state_->fileBytes = Data::fromString(write.text);
        state_->fileValues = write.values;
        state_->fileIsDamaged = false;
        state_->fileStamp.reset();
        state_->settleWaits = 0;
    }
    // Written the same way, so that whatever becomes of the file, the copy
    // holds the last settings written whole.
    if (Status status = writeThrough(lastGoodCopyPath(), write.text); !status)
        log("Couldn't write the user defaults to {}: {}", lastGoodCopyPath(),
            describe(status.error()));
}

bool UserDefaults::waitForFileToSettle() {
    {
        std::lock_guard lock(state_->mutex);
        // The write that waits already takes this change with it.
        if (state_->writeWaits) return true;
        if (state_->settleWaits == kSettleWaits) return false;
        ++state_->settleWaits;
        state_->writeWaits = true;
    }
    log("The user defaults at {} are being written; writing them once they settle", path_);
    std::function<void()> again = [weak = std::weak_ptr<State>(state_)] {
        const auto state = weak.lock();
        if (!state) return;
        std::lock_guard owning(state->ownerMutex);
        if (state->owner) state->owner->writeOnceSettled();
    };
    if (auto hook = settleWaitHook().get())
        (*hook)(std::move(again));
    else
        DispatchQueue::global(QueuePriority::Low)
            ->asyncAfter(kSettingsFileSettlesWithin, std::move(again));
    return true;
}

void UserDefaults::writeOnceSettled() {
    {
        std::lock_guard lock(state_->mutex);
        state_->writeWaits = false;
    }
    notify(save(Wait::ForAFileBeingWritten));
}

void UserDefaults::writeWaitingChanges() {
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->writeWaits) return;
        state_->writeWaits = false;
    }
    notify(save(Wait::Never));
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
        if (value.is_null()) {
            state_->stored.erase(key);
        } else {
            state_->stored[key] = value;
        }
        state_->unwritten[key] = value;
        if (state_->yieldingKeys.count(key))
            state_->unwrittenBases[key] = state_->fileValues.value(key, nlohmann::json());
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
