#include "platform/files/Bookmark.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

namespace lf {

// Stored as a small JSON object: {"path": ..., "device": ..., "inode": ...}.
Result<Data> createBookmarkData(const std::string& path) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return Error::posix(error.value(), "bookmark " + path);
    const std::string normal = absolute.lexically_normal().string();
    struct stat info {};
    if (::stat(normal.c_str(), &info) != 0) return Error::posix(errno, "bookmark " + path);
    nlohmann::json record = {{"path", normal},
                             {"device", static_cast<uint64_t>(info.st_dev)},
                             {"inode", static_cast<uint64_t>(info.st_ino)}};
    return Data::fromString(record.dump());
}

Result<ResolvedBookmark> resolveBookmarkData(const Data& bookmark) {
    nlohmann::json record = nlohmann::json::parse(bookmark.stringView(), nullptr, false);
    if (!record.is_object() || !record["path"].is_string() ||
        !record["device"].is_number_unsigned() || !record["inode"].is_number_unsigned())
        return Error::posix(EINVAL, "resolve bookmark: not bookmark data");
    ResolvedBookmark resolved;
    resolved.path = record["path"].get<std::string>();
    if (resolved.path.empty() || resolved.path[0] != '/')
        return Error::posix(EINVAL, "resolve bookmark: not bookmark data");
    struct stat info {};
    if (::stat(resolved.path.c_str(), &info) != 0)
        return Error::posix(errno, "resolve bookmark " + resolved.path);
    resolved.isStale = static_cast<uint64_t>(info.st_dev) != record["device"].get<uint64_t>() ||
                       static_cast<uint64_t>(info.st_ino) != record["inode"].get<uint64_t>();
    return resolved;
}

}  // namespace lf
