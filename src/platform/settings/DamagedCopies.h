#pragma once
// Damaged copies: what the user defaults could not read, kept beside the
// settings file so that the next write loses nothing of it. A copy never
// replaces another: the first is named `base` (the settings file's path
// and ".damaged", or for one value its key between them), each later one
// `base` and the number after the newest kept (".2", ".3", ...). The newest
// kDamagedCopiesKept stay; past that, the oldest are removed first.
//
// Threads: any; copies of one base are kept one at a time (the user
// defaults keep theirs under their file lock), or two may take one name.

#include "platform/core/Result.h"
#include "platform/files/Data.h"

#include <cstddef>
#include <string>

namespace lf {

inline constexpr size_t kDamagedCopiesKept = 5;

// Writes `contents` as a new copy of `base`: the copy's path.
Result<std::string> keepDamagedCopy(const std::string& base, const Data& contents);

// Renames the file at `path` to a new copy of `base`: the copy's path.
Result<std::string> moveToDamagedCopy(const std::string& base, const std::string& path);

// Makes the file at `path` (a link followed) a new copy of `base` too, a
// second name of the same file, so that what a writer still puts into it
// lands in the copy once `path` is replaced. Where it cannot be linked
// (gone, on another file system than the copy, or on one without hard
// links), `contents` are written as the copy instead: the copy's path.
Result<std::string> linkToDamagedCopy(const std::string& base, const std::string& path,
                                      const Data& contents);

}  // namespace lf
