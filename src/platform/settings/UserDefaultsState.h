#pragma once
// The state of a UserDefaults store, which the files of its reads and its
// writes share; not for use elsewhere.

#include "platform/core/Log.h"
#include "platform/files/Data.h"
#include "platform/settings/SettingsFile.h"
#include "platform/settings/UserDefaults.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <utility>
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

}  // namespace lf
