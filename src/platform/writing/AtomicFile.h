#pragma once
// Atomic file writes: the file at a path holds either its old contents or
// all of the new, whatever happens to the process or the machine while it
// writes. The bytes go to a temporary file beside the target
// (TemporaryFile), are flushed to the disk, and the temporary file is
// renamed over the target; the folder is flushed too, so the rename itself
// survives a crash.
//
// A writer that is killed half way leaves the target as it was and its
// temporary file behind; the next write of the same target removes such
// leftovers. Writers of one target may run at once, in any processes: each
// locks its own temporary file, and the last rename wins; a locked
// temporary file is never taken for a leftover. Several files that must
// change together are written with an AtomicFileSet.

#include "platform/core/Result.h"
#include "platform/files/Data.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace lf {

// A POSIX error naming the step that failed; the target is then untouched
// and no temporary file is left behind.
Status writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes);

inline Status writeFileAtomically(const std::string& path, const Data& data) {
    return writeFileAtomically(path, data.span());
}

// The same write with one look more, for a file that others may change
// meanwhile: once the new contents are on the disk and the folder's lock
// held, just before they move in, `stillWanted` says whether they should.
// False when it answered no: nothing replaced, no temporary file left.
// Closer to the rename no look can be had: a change that lands between
// the two is replaced with the rest.
Result<bool> writeFileAtomicallyIf(const std::string& path, std::span<const uint8_t> bytes,
                                   const std::function<bool()>& stillWanted);

}  // namespace lf
