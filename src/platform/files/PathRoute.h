#pragma once
// PathRoute: how a path is reached at one moment. Resolving it goes one
// name at a time from the root, as the kernel does: through folders and
// symbolic links (each followed wherever it leads, ".." taken from the
// folder the link is in), until the item the path leads to, or a name that
// is missing or lies below something that is no folder.
//
// A watch of the path needs a watch of every folder on the way, since
// moving, deleting or making any of them again changes what the path
// leads to; two routes of one path differ when anything on the way, or the
// item at the end, was replaced.
//
// Plain values; tracing reads the file system on the calling thread.

#include <functional>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace lf {

// Which item a path named when it was examined.
struct ItemIdentity {
    dev_t device = 0;
    ino_t inode = 0;

    static ItemIdentity of(const struct stat& info) { return {info.st_dev, info.st_ino}; }
    friend bool operator==(const ItemIdentity&, const ItemIdentity&) = default;
};

struct PathRoute {
    // An item resolution examined on the way, by its path free of links;
    // no identity for the missing name where resolution stopped.
    struct Step {
        std::string path;
        std::optional<ItemIdentity> identity;
        friend bool operator==(const Step&, const Step&) = default;
    };
    // More links than this on one route is a loop, as the kernel counts.
    static constexpr int kMaxLinksFollowed = 40;

    // In the order examined: the root, the folders and the links; last, when
    // resolution stopped short, the name that is missing or is no folder.
    std::vector<Step> steps;
    // The item the path leads to, by its path free of links; none when
    // resolution stopped short.
    std::optional<Step> end;
    bool endIsFolder = false;

    // Traces the absolute, normal `path`. `enterFolder` is called with each
    // folder on the way (not the end) before anything inside it is
    // examined, so a watch it adds sees every later change there.
    static PathRoute trace(const std::string& path,
                           const std::function<void(const std::string& folder,
                                                    const ItemIdentity& identity)>& enterFolder);

    // Whether `path` names one of the steps.
    bool passesThrough(const std::string& path) const;
    // Whether `path` names the end or, for a folder, an item below it.
    bool leadsTo(const std::string& path) const;

    friend bool operator==(const PathRoute&, const PathRoute&) = default;
};

// The folder holding `path`; "/" for the root's entries, empty for "/".
std::string parentPath(const std::string& path);

// Whether `path` is `folder` or lies below it (both absolute and normal).
bool isPathInside(const std::string& path, const std::string& folder);

}  // namespace lf
