#pragma once
// A walk of everything below a folder, from a descriptor of it down, one
// name at a time: entries are examined with fstatat without following, and
// folders entered through OMAUFolderCursor, so no link is ever followed and
// nothing outside the folder is read or changed, whatever the tree holds or
// comes to hold meanwhile. A folder its owner may not read or search is
// opened to the owner to be entered (OMAUFolderAccess.h).
//
// However deep the tree, the walk holds a few descriptors: it reads a
// folder's entries at once, keeping the names of the folders among them,
// and then holds only the folder it is in. Its memory grows with the
// folders waiting to be walked, not with the length of their paths.
//
// A folder that is gone, or is no folder any more, when the walk comes to
// enter it is passed over; one a tool closes while the walk reads it is
// opened to its owner. Errors name entries by their path below the walked
// folder, never the folder's own path: one that vanished or changed on the
// walk's way back up says so (OMAUFolderCursor::up). One thread.

#include "platform/core/Result.h"

#include <functional>
#include <stop_token>
#include <string>
#include <sys/stat.h>

class OMAUFolderCursor;

struct OMAUWalkEntry {
    // The folder that holds the entry, open for reading, and its name there.
    int folder;
    const char* name;
    // The entry itself (a link is not followed).
    const struct stat& status;
    // 1 for the entries of the walked folder.
    size_t depth;
    const OMAUFolderCursor& cursor;

    // Its path below the walked folder, for messages.
    std::string path() const;
};

struct OMAUFolderVisitor {
    // Every entry, a folder before what it holds; for a folder, whether the
    // walk goes into it. An error ends the walk.
    std::function<lf::Result<bool>(const OMAUWalkEntry&)> visit;
    // A folder the walk has gone into, open as `opened`, before what it
    // holds; the entry's status is the opened folder's, its folder -1 (the
    // walk holds the folder it is in, no longer its parent).
    std::function<lf::Status(const OMAUWalkEntry&, int opened)> enter;
    // A folder the walk leaves, everything in it walked; the entry's folder
    // is its parent, open again.
    std::function<lf::Status(const OMAUWalkEntry&)> leave;
    // Once asked for, the walk ends at the next entry, with ECANCELED.
    std::stop_token stop;
};

// Walks everything below the folder open as `folder`, which stays the
// caller's; `visit` is required, the others may be empty. Paths are named
// from `folderPath`, the folder's own path below the one that messages
// name paths from, when it is not that one.
lf::Status OMAUWalkFolder(int folder, const OMAUFolderVisitor& visitor,
                          std::string folderPath = {});
