#pragma once
// Puts the user's account folders (the session folder and the home folder,
// where the private runtime folder is found) into a test's scratch folder
// for the object's life, in this process and the children it forks.

#include "platform/files/UserRuntimeFolder.h"

#include <filesystem>

namespace lf::test {

class ScopedUserAccountFolders {
public:
    ScopedUserAccountFolders(const std::filesystem::path& session,
                             const std::filesystem::path& home) {
        setUserAccountFoldersForTesting(UserAccountFolders{session.string(), home.string()});
    }
    ~ScopedUserAccountFolders() { setUserAccountFoldersForTesting(std::nullopt); }
    ScopedUserAccountFolders(const ScopedUserAccountFolders&) = delete;
    ScopedUserAccountFolders& operator=(const ScopedUserAccountFolders&) = delete;
};

}  // namespace lf::test
