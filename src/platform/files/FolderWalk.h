#pragma once
// walkFolderTree: every item below a folder, hidden ones too, as the flows
// look at their folders and their watchers watch them. Links are listed but
// never followed, so a link to a folder is not entered.
//
// A folder that cannot be listed, because it may not be entered or because
// it went while the walk was under way, is passed over and the walk goes
// on: a folder that a writer makes and removes beside the documents (an
// export's, in an output folder inside the walked one) never hides what
// the other folders hold. An item that went between its listing and its
// look is passed over too.
//
// Reads the file system on the calling thread; any thread.

#include <functional>
#include <string>
#include <sys/stat.h>

namespace lf {

// Calls `visit` with the path and the status (lstat) of each item below
// `folder`, which is not visited itself; a folder is visited before
// anything inside it is listed.
void walkFolderTree(
    const std::string& folder,
    const std::function<void(const std::string& path, const struct stat& info)>& visit);

}  // namespace lf
