#include "platform/files/PathRoute.h"

#include <algorithm>
#include <deque>
#include <filesystem>

namespace lf {
namespace {

std::deque<std::string> namesOf(const std::string& path) {
    std::deque<std::string> names;
    for (size_t start = 0; start < path.size();) {
        const size_t slash = std::min(path.find('/', start), path.size());
        if (slash > start) names.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return names;
}

std::string childPath(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// Whether `name` is "." or "..", which stay in `folder` or move it up (the
// root's ".." is the root).
bool movedByDots(const std::string& name, std::string& folder) {
    if (name == "..") {
        if (folder != "/") folder = parentPath(folder);
        return true;
    }
    return name == ".";
}

// Puts the names of the target of the link at `link` before `names`,
// resolved from the root when the target is absolute (else from `folder`,
// the link's own); false when the link cannot be read.
bool followLink(const std::string& link, std::deque<std::string>& names, std::string& folder) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(link, error).string();
    if (error) return false;
    const std::deque<std::string> targetNames = namesOf(target);
    names.insert(names.begin(), targetNames.begin(), targetNames.end());
    if (!target.empty() && target[0] == '/') folder = "/";
    return true;
}

}  // namespace

bool isPathInside(const std::string& path, const std::string& folder) {
    if (path == folder) return true;
    if (folder == "/") return path.size() > 1 && path[0] == '/';
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

std::string parentPath(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || path == "/") return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

PathRoute PathRoute::trace(const std::string& path,
                           const std::function<void(const std::string& folder,
                                                    const ItemIdentity& identity)>& enterFolder) {
    PathRoute route;
    struct stat info {};
    if (::lstat("/", &info) != 0) return route;
    route.steps.push_back({"/", ItemIdentity::of(info)});
    enterFolder("/", ItemIdentity::of(info));

    std::string folder = "/";  // where the next name is looked up
    std::deque<std::string> names = namesOf(path);
    int linksFollowed = 0;
    while (!names.empty()) {
        const std::string name = std::move(names.front());
        names.pop_front();
        if (movedByDots(name, folder)) continue;
        const std::string item = childPath(folder, name);
        if (::lstat(item.c_str(), &info) != 0) {
            route.steps.push_back({item, std::nullopt});
            return route;
        }
        const ItemIdentity identity = ItemIdentity::of(info);
        if (S_ISLNK(info.st_mode)) {
            route.steps.push_back({item, identity});
            if (++linksFollowed > kMaxLinksFollowed || !followLink(item, names, folder))
                return route;
            continue;
        }
        if (names.empty()) {
            route.end = Step{item, identity};
            route.endIsFolder = S_ISDIR(info.st_mode);
            return route;
        }
        route.steps.push_back({item, identity});
        if (!S_ISDIR(info.st_mode)) return route;  // nothing lies below a file
        enterFolder(item, identity);
        folder = item;
    }
    // The path ends in a folder already entered: the root, or one that ".."
    // led back to.
    if (::lstat(folder.c_str(), &info) != 0) return route;
    route.end = Step{folder, ItemIdentity::of(info)};
    route.endIsFolder = true;
    return route;
}

bool PathRoute::passesThrough(const std::string& path) const {
    return std::any_of(steps.begin(), steps.end(),
                       [&](const Step& step) { return step.path == path; });
}

bool PathRoute::leadsTo(const std::string& path) const {
    if (!end) return false;
    return endIsFolder ? isPathInside(path, end->path) : path == end->path;
}

}  // namespace lf
