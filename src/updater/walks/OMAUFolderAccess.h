#pragma once
// Folders that an archive made read-only, or unreadable: their owner, the
// user who unpacked them, takes read, write and search permission back, so
// that they can be walked, moved into place and removed (renaming a folder
// into another one writes its "..", and emptying one writes it). Only
// folders change, and only their owner's bits. Everything goes through the
// descriptor of a folder already open and one name in it, never a path, so
// a link is never followed: a folder replaced by a link, even meanwhile, is
// refused, and whatever it leads to is left alone.

#include "platform/core/Result.h"
#include "platform/files/FileDescriptor.h"

#include <filesystem>
#include <stop_token>
#include <string>
#include <sys/stat.h>

// Opens the folder `name` in the folder open as `parent`, for reading.
// Where its owner may not read or search it, or its parent, they are given
// to the owner first, again should a tool take them away meanwhile (tar
// gives folders their modes once it has filled them). Not open, with errno
// set, when it cannot be: ELOOP or ENOTDIR for a link or anything else but
// a folder, ENOENT when it is gone.
lf::FileDescriptor OMAUEnterFolder(int parent, const char* name);

// The status of the entry `name` of the folder open as `folder`, a link's
// own; false, with errno set, when it cannot be had. Examining it needs
// search permission on the folder, which is given back to its owner should
// a tool have taken it away.
bool OMAUExamineEntry(int folder, const char* name, struct stat& status);

// Gives the owner read, write and search permission on the folder open as
// `folder`.
lf::Status OMAUOpenToOwner(int folder);

// The folder open as `folder` and every folder below it opened to their
// owner; errors name folders by their path below it. Once `stop` is asked
// for, it ends with ECANCELED.
lf::Status OMAUOpenFoldersToOwner(int folder, std::stop_token stop = {});

// Where `path` lies: the folder that holds it, open for reading, and its
// name there.
struct OMAUPlace {
    lf::FileDescriptor folder;
    std::string name;
};
lf::Result<OMAUPlace> OMAUOpenPlace(const std::filesystem::path& path);

// The folder at `path` itself, not a link to one, open for reading; opened
// to its owner first where it must be.
lf::Result<lf::FileDescriptor> OMAUOpenFolder(const std::filesystem::path& path);
