#pragma once
// Putting an unpacked update in the place of the installed application
// folder (OMAUBundleReplacement.h), as the user or, when the user may not
// write the target or its folder, with administrator rights: our installer helper
// (layerflow-update-installer, beside the executable) runs through pkexec and does the same steps,
// then gives the new folder the owner and group it reads from the old one.

#include "updater/installation/OMAUBundleReplacement.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

// How the privileged move runs: the elevating program (pkexec) and our
// helper; tests substitute both.
struct OMAUPrivilegedMove {
    std::string elevationProgram = "pkexec";
    std::filesystem::path installerPath;
};

// The helper beside the running executable.
OMAUPrivilegedMove OMAUDefaultPrivilegedMove();

// Replaces `destination` with `source`: as the user when both the target and
// its folder are writable (the old folder then goes to the trash), else
// with administrator rights.
lf::Status OMAUMovePathWithAuthentication(const std::filesystem::path& source,
                                          const std::filesystem::path& destination,
                                          const OMAUPrivilegedMove& privileged);

// Replaces `destination` with `source` as the user, the old folder going to
// the trash; fails where the user may not write.
lf::Status OMAUMovePathAsUser(const std::filesystem::path& source,
                              const std::filesystem::path& destination);

// The same with administrator rights at once. The old folder waits beside
// the target as "Name.old.ext"; the move fails, before anything is asked,
// unless the source and the target exist and that name is free.
lf::Status OMAUMovePathWithForcedAuthentication(const std::filesystem::path& source,
                                                const std::filesystem::path& destination,
                                                const OMAUPrivilegedMove& privileged);

// Whether the current user owns `path` and, for a folder, everything in it.
bool OMAUCurrentUserOwnsPath(const std::filesystem::path& path);

// How many processes of this user run the program `name`.
size_t OMAUCopiesRunning(const std::string& name);
