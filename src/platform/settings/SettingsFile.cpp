#include "platform/settings/SettingsFile.h"

#include "platform/core/TestHook.h"
#include "platform/writing/AtomicFile.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <utility>

namespace lf {

namespace {

std::chrono::nanoseconds sinceEpoch(const timespec& time) {
    return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

struct StampPlace;

TestHook<void(SettingsFileStamp&)>& stampHook() {
    return sharedTestHook<StampPlace, void(SettingsFileStamp&)>();
}

// More links than this on the way to a file is a loop, as the kernel counts.
constexpr int kMaxLinksFollowed = 40;

// The file a write of `path` replaces: `path` itself or, when that is a
// symbolic link, the file the link leads to (which need not exist yet), so
// that the link stays. ELOOP for links that lead round in a loop.
Result<std::string> fileWrittenThrough(const std::string& path) {
    std::filesystem::path file = path;
    for (int followed = 0; followed <= kMaxLinksFollowed; ++followed) {
        if (!settingsFileIsALink(file.string())) return file.string();
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(file, error);
        if (error) return Error::posix(error.value(), "read the link " + file.string());
        file = target.is_absolute() ? target : file.parent_path() / target;
    }
    return Error::posix(ELOOP, "follow the links of " + path);
}

}  // namespace

bool operator==(const SettingsFileStamp& a, const SettingsFileStamp& b) {
    return a.error == b.error && a.device == b.device && a.inode == b.inode && a.size == b.size &&
           sameTime(a.modified, b.modified) && sameTime(a.changed, b.changed);
}

SettingsFileStamp settingsFileStamp(const std::string& path) {
    SettingsFileStamp stamp;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        stamp.error = errno;
        // What is not there now makes a different stamp once it is.
        stamp.settled = true;
        return stamp;
    }
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modified = info.st_mtim;
    stamp.changed = info.st_ctim;
    // The change time moves with every write, rename and change of
    // permissions, and no one can set it back, unlike the modification time.
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    stamp.settled = now - sinceEpoch(info.st_ctim) >= kSettingsFileSettlesWithin;
    if (auto hook = stampHook().get()) (*hook)(stamp);
    return stamp;
}

SettingsFileReading readSettingsFile(const std::string& path) {
    SettingsFileStamp stamp = settingsFileStamp(path);
    return {stamp, Data::readFile(path)};
}

// The stamp last: a file replaced after the bytes were read has another.
bool settingsFileIsAsRead(const std::string& path, const SettingsFileReading& reading) {
    if (!reading.stamp.settled) {
        const Result<Data> contents = Data::readFile(path);
        if (static_cast<bool>(contents) != static_cast<bool>(reading.contents)) return false;
        if (contents && *contents != *reading.contents) return false;
    }
    return settingsFileStamp(path) == reading.stamp;
}

bool settingsFileIsALink(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(path, error));
}

Status writeSettingsFileWhole(const std::string& path, const std::string& text) {
    auto file = fileWrittenThrough(path);
    if (!file) return file.error();
    return writeFileAtomically(*file, Data::fromString(text));
}

Result<bool> replaceSettingsFileIf(const std::string& path, const std::string& text,
                                   const std::function<bool()>& isAsRead) {
    auto file = fileWrittenThrough(path);
    if (!file) return file.error();
    return writeFileAtomicallyIf(*file, Data::fromString(text).span(), isAsRead);
}

std::optional<nlohmann::json> settingsFileObject(const Data& data) {
    nlohmann::json parsed = nlohmann::json::parse(data.stringView(), nullptr, false);
    if (!parsed.is_object()) return std::nullopt;
    return parsed;
}

void setSettingsFileStampHookForTesting(std::function<void(SettingsFileStamp&)> hook) {
    stampHook().set(std::move(hook));
}

}  // namespace lf
