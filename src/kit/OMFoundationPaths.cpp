// The path additions of OMFoundation: relative paths between files and
// folders, worked out on the text alone (nothing is looked up on disk).

#include "kit/OMFoundation.h"

namespace OMFoundation {
namespace {

std::vector<std::string_view> split(std::string_view path) {
    std::vector<std::string_view> components;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/') continue;
        if (i > start) components.push_back(path.substr(start, i - start));
        start = i + 1;
    }
    return components;
}

// The components of a path with "." dropped and "name/.." taken out; an
// absolute path starts with the component "/".
std::vector<std::string> standardizedComponents(std::string_view path) {
    std::vector<std::string> components;
    if (path.starts_with('/')) components.emplace_back("/");
    for (std::string_view component : split(path)) {
        if (component == ".") continue;
        if (component == ".." && !components.empty() && components.back() != "..") {
            if (components.back() != "/") components.pop_back();  // "/.." is "/"
            continue;
        }
        components.emplace_back(component);
    }
    return components;
}

}  // namespace

std::string relativePathWithBasePath(std::string_view path, std::string_view basePath) {
    if (basePath.empty()) return std::string(path);

    // The texts agree up to their first difference; the common folder ends
    // at the last "/" before it. With none, they share no folder at all.
    const size_t common =
        size_t(std::mismatch(path.begin(), path.end(), basePath.begin(), basePath.end()).first -
               path.begin());
    const size_t slash = path.substr(0, common).rfind('/');
    const size_t restStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::string_view rest = path.substr(restStart);
    const std::string_view baseRest = basePath.substr(restStart);

    // The base names a file, so its last component is not a folder to climb
    // out of, unless the base ends in "/".
    size_t climbs = split(baseRest).size() + (baseRest.ends_with('/') ? 1 : 0);
    climbs = climbs > 0 ? climbs - 1 : 0;
    std::string relative;
    for (size_t i = 0; i < climbs; ++i)
        relative += "../";
    relative += rest;
    return relative.empty() ? "./" : relative;
}

std::optional<std::string> pathOfFile(std::string_view file, std::string_view directory) {
    const std::vector<std::string> fileComponents = standardizedComponents(file);
    std::vector<std::string> directoryComponents = standardizedComponents(directory);
    if (!directory.ends_with('/') && !directoryComponents.empty() &&
        directoryComponents.back() != "/")
        directoryComponents.pop_back();

    size_t shared = 0;
    while (shared < fileComponents.size() && shared < directoryComponents.size() &&
           fileComponents[shared] == directoryComponents[shared])
        ++shared;
    if (shared == 0) return std::nullopt;

    std::vector<std::string> relative(directoryComponents.size() - shared, "..");
    relative.insert(relative.end(), fileComponents.begin() + std::ptrdiff_t(shared),
                    fileComponents.end());
    std::string path;
    for (const std::string& component : relative) {
        if (!path.empty()) path += '/';
        path += component;
    }
    return path;
}

}  // namespace OMFoundation
