#include "platform/files/PathRefusal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lf {
namespace {

// The refusal for the errno value of a failed look at the path.
PathRefusal refusalOfError(int code) {
    switch (code) {
        case ENOENT:
        case ENOTDIR:
            return {PathRefusal::Kind::missing, code, std::strerror(code)};
        case ELOOP:
            return {PathRefusal::Kind::linkLoop, code, "Leads into a loop of links"};
        default:
            return {PathRefusal::Kind::unreadable, code, std::strerror(code)};
    }
}

}  // namespace

std::optional<PathRefusal> PathRefusal::of(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return refusalOfError(errno);
    if (S_ISLNK(info.st_mode) && ::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return PathRefusal{Kind::linkToNothing, ENOENT, "Is a link to nothing"};
        return refusalOfError(errno);
    }
    if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) return notAFileOrFolder(info.st_mode);
    // A folder is read by listing its names and looking at what they name:
    // one that may be listed but not entered shows names and nothing more.
    const int access = S_ISDIR(info.st_mode) ? R_OK | X_OK : R_OK;
    if (::faccessat(AT_FDCWD, path.c_str(), access, AT_EACCESS) != 0) return refusalOfError(errno);
    return std::nullopt;
}

PathRefusal PathRefusal::notAFileOrFolder(mode_t mode) {
    const char* kind = S_ISFIFO(mode)   ? "a named pipe (FIFO)"
                       : S_ISSOCK(mode) ? "a socket"
                       : S_ISCHR(mode)  ? "a character device"
                       : S_ISBLK(mode)  ? "a block device"
                                        : "of an unknown kind";
    return {Kind::notAFileOrFolder, EINVAL, std::string("Is ") + kind + ", not a file or folder"};
}

Error PathRefusal::error(const std::string& path) const {
    return Error(
        kPOSIXErrorDomain, code,
        {{kLocalizedDescriptionKey, "open " + path + ": " + reason}, {kFilePathErrorKey, path}});
}

}  // namespace lf
