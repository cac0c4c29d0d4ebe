#pragma once
// OMAUHeldFolder: a folder of the updater's that this process holds while
// it works in it (an update's download folder, an unpacking's private
// folder, the folder an archive unpacks into): a shared lock on a
// descriptor of it, which the kernel lets go with the process however that
// ends; several may hold one folder. So a folder of ours that no process
// holds was left by applications that ended mid-way, and a launch takes it
// (takeAbandoned: an exclusive lock) to remove it, never touching one in
// use. Holding a folder does not remove it: its owner does, while still
// holding it.
//
// Move-only; one thread at a time.

#include "platform/core/Result.h"
#include "platform/files/FileDescriptor.h"

#include <filesystem>
#include <optional>
#include <string>

class OMAUHeldFolder {
public:
    // Holds nothing.
    OMAUHeldFolder() = default;

    // A new folder made from `pattern`, a path ending in "XXXXXX" as
    // mkdtemp takes it, held; only this user may enter it.
    static lf::Result<OMAUHeldFolder> make(const std::string& pattern);
    // The folder at `path` itself (not a link to one), held; an error when
    // it is gone, or being removed as abandoned.
    static lf::Result<OMAUHeldFolder> hold(const std::filesystem::path& path);
    // The folder at `path`, held alone, when it is this user's own folder
    // (not a link) and no process holds it; none otherwise.
    static std::optional<OMAUHeldFolder> takeAbandoned(const std::filesystem::path& path);

    const std::filesystem::path& path() const { return path_; }
    // Open for reading; -1 when nothing is held.
    int descriptor() const { return descriptor_.get(); }

private:
    OMAUHeldFolder(std::filesystem::path path, lf::FileDescriptor descriptor)
        : path_(std::move(path)), descriptor_(std::move(descriptor)) {}

    std::filesystem::path path_;
    lf::FileDescriptor descriptor_;
};
