#pragma once
// Replacing the installed application folder with an unpacked update, with
// a way back: the old folder is kept beside the target until the new one
// stands in its place, and is put back when that fails. Where the new
// folder lies on another file system (the download folder usually does),
// it is first copied beside the target (OMAUFolderCopy.h), modes and all,
// so the final step is a rename that either happens whole or not at all.
//
// The installer helper, which runs with administrator rights, does the same
// steps, so this file uses nothing of a toolkit.

#include "platform/core/Result.h"

#include <filesystem>
#include <functional>

// The renames of a replacement, in order: the target to the backup, the
// new folder to the target (and, on failure, the backup back). Tests make
// one fail.
struct OMAUReplacementSteps {
    std::function<int(const char* from, const char* to)> rename;
};

// Replaces `destination` (which must exist) with `source`, moving the old
// one to `backup` (which must not exist); the backup is left for the caller
// to dispose of. On failure the destination is as it was.
lf::Status OMAUReplaceBundle(const std::filesystem::path& source,
                             const std::filesystem::path& destination,
                             const std::filesystem::path& backup,
                             const OMAUReplacementSteps& steps = {});
