#pragma once
// Bookmarks of files and folders: the item's absolute path with its device
// and inode numbers, kept as bytes that flows archive, so that a flow finds
// its documents and output folder again after a relaunch. A bookmark
// resolves to its path while something is there; it is stale when the item
// there is no longer the one bookmarked (a save that replaced the file, or
// another item moved to the path).

#include "platform/core/Result.h"
#include "platform/files/Data.h"

#include <string>

namespace lf {

// The bookmark of the item at `path` (made absolute against the current
// folder). Fails with the POSIX error when the item cannot be reached.
Result<Data> createBookmarkData(const std::string& path);

struct ResolvedBookmark {
    std::string path;
    bool isStale = false;
};

// Fails with ENOENT when nothing is at the bookmarked path, and with EINVAL
// when `bookmark` is not bookmark data.
Result<ResolvedBookmark> resolveBookmarkData(const Data& bookmark);

}  // namespace lf
