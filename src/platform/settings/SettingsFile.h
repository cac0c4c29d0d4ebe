#pragma once
// The settings file as the user defaults read and write it: its bytes, and
// a stamp of the file they came from (which file it is, its size and its
// times), so that a later look at the file tells, without reading it,
// whether it may have changed since; the JSON object it holds; and its
// writes, whole, through a symbolic link to the file it leads to.
//
// File times come from a clock that moves in steps (some milliseconds on
// local file systems, two seconds on FAT), so two writes within one step
// can leave the same stamp. A stamp taken while its last change is that
// recent is unsettled: only the bytes tell whether the file changed, so it
// is read again at the next look. Once settled, any later change makes a
// different stamp.
//
// Threads: plain functions and values, for any thread; the hook may be set
// or cleared at any time.

#include "platform/core/Result.h"
#include "platform/files/Data.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace lf {

// Longer than the coarsest step of the file systems' clocks (FAT's two
// seconds), so that a change this long before a look is sure to differ in
// time from every change after it.
inline constexpr std::chrono::seconds kSettingsFileSettlesWithin{3};

struct SettingsFileStamp {
    // The errno of looking at the file (ENOENT when it is missing); 0 when
    // it was there, with the fields below.
    int error = 0;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    // Whether any later change of the file is bound to change the stamp;
    // left out of comparisons.
    bool settled = false;

    friend bool operator==(const SettingsFileStamp& a, const SettingsFileStamp& b);
};

// The stamp of the file at `path` now, a link followed.
SettingsFileStamp settingsFileStamp(const std::string& path);

struct SettingsFileReading {
    // Taken before the bytes were read, so the bytes are never older than
    // the file the stamp describes.
    SettingsFileStamp stamp;
    Result<Data> contents;
};

SettingsFileReading readSettingsFile(const std::string& path);

// Whether the file at `path` is still the one `reading` found: the same
// stamp, and, while that stamp is unsettled, the same bytes.
bool settingsFileIsAsRead(const std::string& path, const SettingsFileReading& reading);

// The JSON object `data` holds; none when it holds anything else.
std::optional<nlohmann::json> settingsFileObject(const Data& data);

// Whether the settings file at `path` is a symbolic link (settings kept
// elsewhere, as dotfile managers arrange), which its writes keep.
bool settingsFileIsALink(const std::string& path);
// Writes `text` whole, atomically, as the file at `path`: the file a
// symbolic link there leads to, so that the link stays.
Status writeSettingsFileWhole(const std::string& path, const std::string& text);
// The same, provided `isAsRead` still holds just before the new file moves
// in: false when it did not (see writeFileAtomicallyIf).
Result<bool> replaceSettingsFileIf(const std::string& path, const std::string& text,
                                   const std::function<bool()>& isAsRead);

// Rewrites each stamp of a file that is there as it is taken; tests hold
// with it the moment that real clocks give only now and then (two writes
// within one step of the file system's clock, looked at within that step).
// Null removes it.
void setSettingsFileStampHookForTesting(std::function<void(SettingsFileStamp&)> hook);

}  // namespace lf
