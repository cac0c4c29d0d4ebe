#pragma once
// Folders the updater keeps beside others for a while (an unpacking, a
// staging or a backup folder): each is made under a name of its own, and
// removed, whatever it holds, once it is only in the way.

#include "platform/core/Result.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <sys/stat.h>

// The status of `path` itself (a link is not followed); nothing when it
// cannot be examined, with errno saying why.
std::optional<struct stat> OMAUStatusOf(const std::filesystem::path& path);

// Removes `path` and everything below it, read-only and unreadable folders
// too, however deep (from a descriptor of it down, holding a few
// descriptors: OMAUFolderWalk.h), ignoring failures: for staging, unpacking
// and backup folders that are only in the way. A link goes itself, and
// nothing it leads to is touched; nor is anything on another file system
// mounted at `path` or below it (OMAUMounts.h). Once `stop` is asked for,
// the removal ends where it is, leaving the rest.
void OMAURemoveQuietly(const std::filesystem::path& path, std::stop_token stop = {});

// The letters and digits that end the name of a folder made beside
// another ("XXXXXX", as mkdtemp fills them in).
inline constexpr size_t kOMAUReservedSuffixLength = 6;

// Whether `suffix` is such an ending: that many ASCII letters and digits.
bool OMAUIsReservedSuffix(std::string_view suffix);

// The name, as mkdtemp takes it, of a folder beside `target`:
// ".name.tag-XXXXXX", the name shortened where the whole would not fit in
// the folder (lf::hiddenNamePrefix): a target may have the longest name
// the folder takes.
std::string OMAUFolderPatternBeside(const std::filesystem::path& target, const std::string& tag);

// A new empty folder beside `target`, named as OMAUFolderPatternBeside says.
lf::Result<std::filesystem::path> OMAUReserveFolderBeside(const std::filesystem::path& target,
                                                          const std::string& tag);
