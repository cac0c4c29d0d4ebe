#pragma once
// Folders the updater keeps beside others for a while (an unpacking, a
// staging or a backup folder): each is made under a name of its own, and
// removed, whatever it holds, once it is only in the way.

#include "platform/Result.h"

#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>

// The status of `path` itself (a link is not followed); nothing when it
// cannot be examined, with errno saying why.
std::optional<struct stat> OMAUStatusOf(const std::filesystem::path& path);

// Removes `path` and everything below it, read-only and unreadable folders
// too, however deep (from a descriptor of it down, holding a few
// descriptors: OMAUFolderWalk.h), ignoring failures: for staging, unpacking
// and backup folders that are only in the way. A link goes itself, and
// nothing it leads to is touched.
void OMAURemoveQuietly(const std::filesystem::path& path);

// A new empty folder beside `target`, named ".name.tag-XXXXXX".
lf::Result<std::filesystem::path> OMAUReserveFolderBeside(const std::filesystem::path& target,
                                                          const std::string& tag);
