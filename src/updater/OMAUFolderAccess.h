#pragma once
// Folders that an archive made read-only, or unreadable: their owner, the
// user who unpacked them, takes read, write and search permission back, so
// that they can be counted, moved into place and removed (renaming a
// folder into another one writes its "..", and emptying one writes it).
// Only folders change, and only their owner's bits; a link is never
// followed.

#include "platform/Result.h"

#include <filesystem>

// `folder` alone, when it is one.
lf::Status OMAUOpenFolderToOwner(const std::filesystem::path& folder);

// `path`, when a folder, and every folder below it. Goes on past a folder
// it cannot open and reports the first.
lf::Status OMAUOpenFoldersToOwner(const std::filesystem::path& path);
