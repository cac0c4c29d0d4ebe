#pragma once
// The folder where this user's processes keep what they share with each
// other alone, such as the lock files that order their writes: nobody
// else may enter it, so nothing there can be opened, locked or replaced
// by another user's program. It is "layerflow" in $XDG_RUNTIME_DIR when
// that variable names a folder of the user's alone; else, when it is
// unset or names no such folder, "layerflow-UID" in the temporary folder
// ($TMPDIR when it is an absolute path, else /tmp), where UID is the
// user's id. Either is made with mode 0700 when missing.
//
// Threads: any; the environment is read anew on every call.

#include "platform/core/Result.h"

#include <string>

namespace lf {

// The folder's path; a POSIX error naming the folder when it cannot be
// made, or is no folder of the user's alone (a link, another's, or one
// that others may enter: EACCES).
Result<std::string> userRuntimeFolder();

}  // namespace lf
