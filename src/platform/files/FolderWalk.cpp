#include "platform/files/FolderWalk.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace lf {

void walkFolderTree(
    const std::string& folder,
    const std::function<void(const std::string& path, const struct stat& info)>& visit) {
    // Folders still to list, so that the depth of a tree costs no stack.
    std::vector<std::string> toList{folder};
    while (!toList.empty()) {
        const std::string listed = std::move(toList.back());
        toList.pop_back();
        std::error_code error;
        for (std::filesystem::directory_iterator it(listed, error), end; !error && it != end;
             it.increment(error)) {
            const std::string path = it->path().string();
            struct stat info {};
            if (::lstat(path.c_str(), &info) != 0) continue;
            visit(path, info);
            if (S_ISDIR(info.st_mode)) toList.push_back(path);
        }
    }
}

}  // namespace lf
