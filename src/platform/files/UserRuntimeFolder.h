#pragma once
// The folder where this user's processes keep what they share with each
// other alone, such as the lock files that order their writes: nobody
// else may enter it, so nothing there can be opened, locked or replaced
// by another user's program.
//
// Every process of the user must find the same folder, whatever its
// environment (a cron job, an ssh or sudo session, the desktop's
// application), so it is found from the user's account alone, never from
// XDG_RUNTIME_DIR or TMPDIR: "layerflow" in the user's session folder,
// /run/user/UID, where that is a folder of the user's alone (not a link,
// owned by the user, closed to its group and others); else
// ".cache/layerflow/locks" in the home folder that the password database
// names (not $HOME). Both are places no other user can make first. What
// is missing on the way is made with mode 0700; the folder found must be
// the user's alone. A home that cannot take the folder (not writable,
// missing) gives no folder: the caller then goes without it.
//
// Threads: any.

#include "platform/core/Result.h"

#include <optional>
#include <string>

namespace lf {

// The folder's path; a POSIX error naming the folder when it cannot be
// made, or is no folder of the user's alone (EACCES, saying which way: a
// link, another's, or one open to its group or to others).
Result<std::string> userRuntimeFolder();

// Where the user's account puts its folders: the session folder
// (/run/user/UID) and the home folder.
struct UserAccountFolders {
    std::string session;
    std::string home;
};

// Tests put the account's folders elsewhere through this, for the whole
// process and the children it forks; none puts them back.
void setUserAccountFoldersForTesting(std::optional<UserAccountFolders> folders);

}  // namespace lf
