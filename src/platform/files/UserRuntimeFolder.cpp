#include "platform/files/UserRuntimeFolder.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace lf {
namespace {

// Owned by the user, and neither its group nor others may do anything
// with it.
bool isTheUsersAlone(const struct stat& info) {
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

bool isAbsoluteFolderOfTheUsersAlone(const char* path) {
    struct stat info {};
    return path && path[0] == '/' && ::stat(path, &info) == 0 && isTheUsersAlone(info);
}

// Made when missing; checked without following a link, as another user
// may have put anything under the name in a shared folder first.
Result<std::string> privateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return Error::posix(errno, "make the private folder " + path);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return Error::posix(errno, "use the private folder " + path);
    if (!isTheUsersAlone(info)) return Error::posix(EACCES, "use the private folder " + path);
    return path;
}

}  // namespace

Result<std::string> userRuntimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (isAbsoluteFolderOfTheUsersAlone(runtime))
        return privateFolder(std::string(runtime) + "/layerflow");
    const char* temporary = std::getenv("TMPDIR");
    const std::string shared = temporary && temporary[0] == '/' ? temporary : "/tmp";
    return privateFolder(shared + "/layerflow-" + std::to_string(::geteuid()));
}

}  // namespace lf
