#pragma once
// Atomic file writes: the file at a path holds either its old contents or
// all of the new, whatever happens to the process or the machine while it
// writes. The bytes go to a temporary file beside the target, are flushed
// to the disk, and the temporary file is renamed over the target; the
// folder is flushed too, so the rename itself survives a crash.
//
// A writer that is killed half way leaves the target as it was and its
// temporary file behind; the next write of the same target removes such
// leftovers, and removeAbandonedTemporaryFiles those of every target of a
// folder. Writers of one target may run at once, in any processes: each
// locks its own temporary file, and the last rename wins; a locked
// temporary file is never taken for a leftover.
//
// A new file gets the permissions of a newly created file (0666 less the
// umask); a replaced file keeps its own.

#include "platform/Data.h"
#include "platform/Result.h"

#include <cstdint>
#include <span>
#include <string>

namespace lf {

// A POSIX error naming the step that failed; the target is then untouched
// and no temporary file is left behind.
Status writeFileAtomically(const std::string& path, std::span<const uint8_t> bytes);

inline Status writeFileAtomically(const std::string& path, const Data& data) {
    return writeFileAtomically(path, data.span());
}

// Removes from `folder` the temporary files that writes killed half way
// left there, whatever their targets: the files named as the writes name
// theirs (".NAME.tmp-" and 16 hexadecimal digits) that no writer holds any
// more. Writes still under way, in this process or another, keep theirs.
// Nothing is reported: a leftover that cannot be removed now stays for the
// next time.
void removeAbandonedTemporaryFiles(const std::string& folder);

}  // namespace lf
