#include "platform/files/UserRuntimeFolder.h"

#include "platform/core/TestHook.h"

#include <cerrno>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lf {
namespace {

struct AccountFoldersPlace;

TestHook<UserAccountFolders()>& accountFoldersHook() {
    return sharedTestHook<AccountFoldersPlace, UserAccountFolders()>();
}

// Why what `info` describes (not followed, were it a link) is no folder
// of the user's alone, one that the user owns and that neither its group
// nor others may do anything with; none when it is one.
std::optional<std::string> whyNotTheUsersAlone(const struct stat& info) {
    if (S_ISLNK(info.st_mode)) return "it is a link";
    if (!S_ISDIR(info.st_mode)) return "it is no folder";
    if (info.st_uid != ::geteuid()) return "it is another user's";
    if ((info.st_mode & 077) != 0) return "it is open to its group or to others";
    return std::nullopt;
}

bool isFolderOfTheUsersAlone(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && !whyNotTheUsersAlone(info);
}

// Made when missing; checked without following a link, whoever may have
// put something under the name.
Result<std::string> privateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return Error::posix(errno, "make the private folder " + path);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return Error::posix(errno, "use the private folder " + path);
    if (const std::optional<std::string> why = whyNotTheUsersAlone(info))
        return Error(kPOSIXErrorDomain, EACCES,
                     {{kLocalizedDescriptionKey, "use the private folder " + path + ": " + *why}});
    return path;
}

// The home folder that the password database names for the user, which
// no environment variable changes.
Result<std::string> homeOfTheAccount() {
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? size_t(suggested) : 1024);
    for (;;) {
        struct passwd entry {};
        struct passwd* found = nullptr;
        const int error = ::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0) return Error::posix(error, "find the user's home folder");
        if (!found || !entry.pw_dir || entry.pw_dir[0] != '/')
            return Error::posix(ENOENT, "find the user's home folder");
        return std::string(entry.pw_dir);
    }
}

Result<UserAccountFolders> accountFolders() {
    if (const auto hook = accountFoldersHook().get()) return (*hook)();
    auto home = homeOfTheAccount();
    if (!home) return home.error();
    return UserAccountFolders{"/run/user/" + std::to_string(::geteuid()), *home};
}

// ~/.cache is the user's to keep as it likes; made 0700 when missing.
Result<std::string> folderInTheHome(const std::string& home) {
    const std::string cache = home + "/.cache";
    if (::mkdir(cache.c_str(), 0700) != 0 && errno != EEXIST)
        return Error::posix(errno, "make the folder " + cache);
    auto ours = privateFolder(cache + "/layerflow");
    if (!ours) return ours.error();
    return privateFolder(*ours + "/locks");
}

}  // namespace

Result<std::string> userRuntimeFolder() {
    auto account = accountFolders();
    if (!account) return account.error();
    if (isFolderOfTheUsersAlone(account->session))
        return privateFolder(account->session + "/layerflow");
    return folderInTheHome(account->home);
}

void setUserAccountFoldersForTesting(std::optional<UserAccountFolders> folders) {
    if (!folders) {
        accountFoldersHook().set(nullptr);
        return;
    }
    accountFoldersHook().set([folders = *folders] { return folders; });
}

}  // namespace lf
