#pragma once
// UserDefaults: the user's settings, one JSON object in a file under
// $XDG_CONFIG_HOME (by default ~/.config/layerflow/defaults.json).
//
// A key's value is the one stored in the file, else the one registered at
// launch (registration defaults are never stored). The file is the user's
// too: values follow what it holds while the application runs (a read
// first looks whether the file changed since it was last read, and reads
// it again if so), and a write replaces only what this store changed: every
// change is written at once, atomically, over what the file holds at that
// moment, to the file and then to its last good copy beside it (the path
// with ".last-good"), which is read when the file is damaged or missing at
// construction. A file found damaged, unreadable or missing later leaves
// the values as they were; damaged contents are kept aside (DamagedCopies)
// before a write replaces them. A write never replaces a file that is being
// written: one found empty or not whole, changed moments ago (an editor
// saving in place), is waited for in the background, three settling times
// at most, and read again before the change is written; still not whole
// then, it is kept aside (see save). Just before the new file moves in, the
// write looks whether the file is still the one it read, and reads and
// merges again when it is not. A file that is a symbolic link (settings
// kept elsewhere, as dotfile managers arrange) stays one: a write replaces
// the file it leads to. Observers of a key are told after each change of
// its value, by this store or through the file, so settings can be bound
// to the interface.
//
// Thread-safe: any thread may read and change values. Observers are called
// on the thread that made the change, or that found it in the file (a read
// or a write of any key, or a write that waited for the file to settle, on
// a worker of the dispatch queues), after it is taken in and with no lock
// held, so they may read and change values themselves; they must not
// destroy the store.

#include "platform/core/Observation.h"
#include "platform/core/Result.h"
#include "platform/files/Data.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lf {

struct SettingsFileReading;

class UserDefaults {
public:
    // The store of this user, made on first use at standardPath().
    static std::shared_ptr<UserDefaults> standard();
    // Replaces the store standard() answers; tests point it at a temporary
    // folder.
    static void setStandard(std::shared_ptr<UserDefaults> defaults);
    // $XDG_CONFIG_HOME/layerflow/defaults.json, with ~/.config when the
    // variable is unset or not absolute.
    static std::string standardPath();

    // The store kept in the file at `path`, read now. A file that is not a
    // JSON object is logged and moved aside as a damaged copy of
    // damagedFilePath() (through a link, copied there, and the link left),
    // so that nothing in it is lost when the store is next written. The
    // store then starts from the last good copy (with a log line saying
    // so), or empty when that cannot be read either; so it does when the
    // file cannot be read, or is missing while the copy is there. Neither
    // file is an empty store.
    explicit UserDefaults(std::string path);
    // Makes a write that waits for the file to settle at once.
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    const std::string& path() const { return path_; }
    std::string lastGoodCopyPath() const { return path_ + ".last-good"; }
    // The first damaged copy of the file; later ones are numbered after it.
    std::string damagedFilePath() const { return path_ + ".damaged"; }

    // Adds the members of `values` (an object) to the registration defaults.
    void registerDefaults(const nlohmann::json& values);

    // The value of `key`, or none.
    std::optional<nlohmann::json> objectForKey(const std::string& key) const;
    // A boolean, or a number other than 0; false otherwise.
    bool boolForKey(const std::string& key) const;
    // A number (a boolean counts as 0 or 1); none when absent or not a number.
    std::optional<double> numberForKey(const std::string& key) const;

    // The stored value of `key` (registered values are not looked at) when
    // `isSound` accepts it. A value it refuses is damage that the file's
    // JSON could not show, and so is a key the file lacks while the last
    // good copy, as read at construction, holds a sound value: that value
    // is then stored again (and written) with a log line. A refused value
    // is first kept aside as the object {key: value} in a damaged copy of
    // `damagedValuePath(key)`, so that it is never written away. None when
    // nothing sound is left. `isSound` must not call the store; meant for a
    // key that one owner reads before changing it.
    std::optional<nlohmann::json> checkedObjectForKey(
        const std::string& key, const std::function<bool(const nlohmann::json&)>& isSound);
    std::string damagedValuePath(const std::string& key) const {
        return path_ + "." + key + ".damaged";
    }

    // Stores `value` (null removes the key) and writes the file; a file that
    // cannot be written is logged and the value stays in memory, to be
    // written with the next change.
    void setObject(const std::string& key, const nlohmann::json& value);
    void removeObject(const std::string& key) { setObject(key, nullptr); }

    // From now on, a change of `key` made by this store gives way to an edit
    // of the key's value in the file made before the change is written (by
    // an editor whose save the write waited for, say): the change is
    // dropped, with a log line, the value is the file's, and observers of
    // the key are told, so that its owner can merge the two and set the
    // value again. For a value its owner merges with edits itself.
    void yieldToFileEditsOf(const std::string& key);
    // Whether a change of `key` made by this store waits to be written.
    bool hasUnwrittenChange(const std::string& key) const;

    // While the returned observation lives, `handler` is called after every
    // change of the value of `key`.
    [[nodiscard]] Observation observe(const std::string& key, std::function<void()> handler);

    // The end of the process waits for no file to settle: the write of the
    // standard store that waits for one is made now, the file kept aside as
    // damaged if it is still not whole. Registered by the executable with
    // std::atexit, and called when a signal ends it. Any thread.
    static void writeWaitingChangesBeforeExit();

    // A write that waits for the file to settle hands `hook` the write to
    // make once it has, in place of running it on a worker after the
    // settling time: tests make it when they choose, on another call than
    // the hook's. Null removes it.
    static void setSettleWaitHookForTesting(std::function<void(std::function<void()>)> hook);

private:
    struct State;
    enum class Wait { ForAFileBeingWritten, Never };
    // What a write puts into the file: the values, as text, and the changes
    // of this store among them.
    struct Write {
        std::string text;
        nlohmann::json values;
        std::map<std::string, nlohmann::json> changes;
    };
    void notify(const std::vector<std::string>& keys) const;
    void load();
    void setAsideDamagedFile(const Data& damaged);
    void loadLastGoodCopy();
    // What became of the value, for the log line.
    std::string keepDamagedValueAside(const std::string& key, const nlohmann::json& value);
    // Reads the file again when it may have changed since it was last read.
    void followFile() const;
    // Takes in what the file held at `reading` (the file lock held): the
    // keys whose values changed.
    std::vector<std::string> takeIn(const SettingsFileReading& reading) const;
    // Writes the values over what the file holds now: the keys whose values
    // changed through the file.
    std::vector<std::string> save(Wait wait);
    // Whether the file `reading` found is an editor's save in place under
    // way: empty or not whole, and changed too lately for its stamp to show
    // whether it is done, or waited for already. The file lock held.
    bool isBeingWritten(const SettingsFileReading& reading) const;
    // The write of the unwritten changes; none when there are none.
    std::optional<Write> nextWrite() const;
    // Keeps what the file holds aside before a write replaces it, when it
    // is damaged or still being written: false when it could not be kept.
    bool keepFileAside(bool beingWritten);
    // Takes the write `replaced` tells of as what the file holds.
    void noteWrite(const Result<bool>& replaced, const Write& write);
    // Whether the write of a file being written is left to a write made
    // once it has settled (the file lock held); false past kSettleWaits
    // waits in a row.
    bool waitForFileToSettle();
    // The write that waits: made again after the settling time, by a worker.
    void writeOnceSettled();
    // Makes the write that waits for the file to settle now.
    void writeWaitingChanges();

    const std::string path_;
    std::shared_ptr<State> state_;
};

}  // namespace lf
