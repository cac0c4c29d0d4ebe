#include "platform/files/TypeIdentifier.h"

#include <climits>
#include <cstdlib>
#include <strings.h>
#include <sys/stat.h>

namespace lf {
namespace {

bool hasPhotoshopExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    const char* extension = path.c_str() + dot + 1;
    return ::strcasecmp(extension, "psd") == 0 || ::strcasecmp(extension, "psb") == 0;
}

}  // namespace

std::optional<std::string> typeIdentifierForPath(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
    if (S_ISDIR(info.st_mode)) return kTypeFolder;
    if (S_ISLNK(info.st_mode)) return kTypeSymbolicLink;
    if (!S_ISREG(info.st_mode)) return kTypeItem;
    return hasPhotoshopExtension(path) ? kTypePhotoshopImage : kTypeData;
}

std::optional<std::string> typeIdentifierForNamedPath(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
    if (!S_ISLNK(info.st_mode)) return typeIdentifierForPath(path);
    char target[PATH_MAX];
    if (!::realpath(path.c_str(), target)) return std::nullopt;
    return typeIdentifierForPath(target);
}

}  // namespace lf
