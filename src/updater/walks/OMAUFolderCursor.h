#pragma once
// OMAUFolderCursor: one folder of a tree at a time, open for reading, moved
// down into a folder by its name (OMAUEnterFolder: never through a link)
// and back up through "..", which must be the folder it came from: should
// the folder have moved meanwhile, the way down from the tree's own folder
// is taken again, name by name. So a cursor holds one descriptor however
// deep it goes, and never leaves the tree.
//
// One thread at a time.

#include "platform/core/Result.h"
#include "platform/files/FileDescriptor.h"

#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

class OMAUFolderCursor {
public:
    // At the tree's own folder, open as `root`, which stays the caller's;
    // `rootPath` is its path for messages, when they name paths from a
    // folder above it.
    explicit OMAUFolderCursor(int root, std::string rootPath = {});

    // The folder it is at.
    int descriptor() const { return current_.isOpen() ? current_.get() : root_; }
    const struct stat& status() const { return path_.back().status; }
    // Its name in the folder above; empty at the tree's own folder.
    const std::string& name() const { return path_.back().name; }
    // Folders below the tree's own folder: 0 there.
    size_t depth() const { return path_.size() - 1; }
    // The path below the tree's own folder of `name` in the folder it is at,
    // or in the one `depth` below the tree's own folder on its way down ("."
    // for the tree's own folder itself); for messages.
    std::string pathOf(std::string_view name) const { return pathOf(name, depth()); }
    std::string pathOf(std::string_view name, size_t depth) const;

    // Into the folder `name`; errno as OMAUEnterFolder sets it when it fails.
    lf::Status down(const std::string& name);
    // Back to the folder above; nothing at the tree's own folder. The
    // error names the folder on the way back that vanished, or changed
    // (another entry stands under its name), since the cursor came down.
    lf::Status up();

private:
    struct Step {
        std::string name;
        struct stat status;
    };
    // Takes the way down from the tree's own folder again; false, with
    // errno set and `failed` the step of path_ where it failed, when it no
    // longer leads to the same folder.
    bool reopenFromRoot(size_t& failed);

    int root_;
    std::string rootPath_;
    lf::FileDescriptor current_;
    // From the tree's own folder (no name) to the folder it is at.
    std::vector<Step> path_;
};
