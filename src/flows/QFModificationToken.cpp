#include "flows/QFModificationToken.h"

#include <tuple>

namespace {

auto comparable(const QFFileStamp& stamp) {
    return std::tie(stamp.device, stamp.inode, stamp.size, stamp.modification.tv_sec,
                    stamp.modification.tv_nsec, stamp.statusChange.tv_sec,
                    stamp.statusChange.tv_nsec);
}

}  // namespace

QFFileStamp QFFileStamp::of(const struct stat& info) {
    return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

std::optional<QFFileStamp> QFFileStamp::atPath(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return of(info);
}

std::optional<QFFileStamp> QFFileStamp::ofDescriptor(int descriptor) {
    struct stat info {};
    if (::fstat(descriptor, &info) != 0) return std::nullopt;
    return of(info);
}

bool operator==(const QFFileStamp& a, const QFFileStamp& b) {
    return comparable(a) == comparable(b);
}

QFModificationToken QFModificationToken::forPath(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return {};
    QFModificationToken token{QFFileStamp::of(info), std::nullopt};
    if (S_ISLNK(info.st_mode)) token.linkTarget = QFFileStamp::atPath(path);
    return token;
}
