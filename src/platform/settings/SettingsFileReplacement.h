#pragma once
// The settings file's own atomic write. The file is the user's too, and an
// editor may save it at any moment: a write that moved its new contents in
// over an edit made since the file was read would lose that edit. So the
// write is writeFileAtomically's (new contents written and flushed beside
// the file, then renamed over it, under the folder's FolderLock), with one
// look more: once the new contents are on the disk and the folder's lock
// held, just before they move in, `isAsRead` says whether the file is
// still the one the write read, and nothing is replaced when it is not.
// Closer to the rename no look can be had: an edit that lands between the
// two is still lost.
//
// Threads: any; `isAsRead` runs on the caller's thread.

#include "platform/core/Result.h"
#include "platform/files/Data.h"

#include <functional>
#include <string>

namespace lf {

// Whether the file at `path` now holds `contents`: false, with nothing
// replaced and no temporary file left, when `isAsRead` answered false. A
// POSIX error naming the step that failed leaves the file as it was.
Result<bool> replaceSettingsFileIfAsRead(const std::string& path, const Data& contents,
                                         const std::function<bool()>& isAsRead);

}  // namespace lf
