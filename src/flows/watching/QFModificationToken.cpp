#include "flows/watching/QFModificationToken.h"

#include <tuple>

namespace {

auto comparable(const QFFileStamp& stamp) {
    return std::tie(stamp.device, stamp.inode, stamp.size, stamp.modification.tv_sec,
                    stamp.modification.tv_nsec, stamp.statusChange.tv_sec,
                    stamp.statusChange.tv_nsec);
}

nlohmann::json archivedTime(const timespec& time) {
    return nlohmann::json::array({time.tv_sec, time.tv_nsec});
}

std::optional<timespec> decodedTime(const nlohmann::json& archive) {
    if (!archive.is_array() || archive.size() != 2) return std::nullopt;
    const auto& seconds = archive[0];
    const auto& nanoseconds = archive[1];
    if (!seconds.is_number_integer() || !nanoseconds.is_number_integer()) return std::nullopt;
    const int64_t fraction = nanoseconds.get<int64_t>();
    if (fraction < 0 || fraction >= 1'000'000'000) return std::nullopt;
    return timespec{static_cast<time_t>(seconds.get<int64_t>()), static_cast<long>(fraction)};
}

nlohmann::json archivedStamp(const QFFileStamp& stamp) {
    return {{"device", static_cast<uint64_t>(stamp.device)},
            {"inode", static_cast<uint64_t>(stamp.inode)},
            {"size", static_cast<int64_t>(stamp.size)},
            {"modification", archivedTime(stamp.modification)},
            {"statusChange", archivedTime(stamp.statusChange)}};
}

std::optional<QFFileStamp> decodedStamp(const nlohmann::json& archive) {
    if (!archive.is_object()) return std::nullopt;
    const auto device = archive.find("device"), inode = archive.find("inode"),
               size = archive.find("size");
    const auto end = archive.end();
    if (device == end || inode == end || size == end || !device->is_number_unsigned() ||
        !inode->is_number_unsigned() || !size->is_number_integer())
        return std::nullopt;
    auto modification = decodedTime(archive.value("modification", nlohmann::json()));
    auto statusChange = decodedTime(archive.value("statusChange", nlohmann::json()));
    if (!modification || !statusChange) return std::nullopt;
    return QFFileStamp{static_cast<dev_t>(device->get<uint64_t>()),
                       static_cast<ino_t>(inode->get<uint64_t>()),
                       static_cast<off_t>(size->get<int64_t>()), *modification, *statusChange};
}

bool isAfter(const timespec& time, const timespec& moment) {
    return std::tie(time.tv_sec, time.tv_nsec) > std::tie(moment.tv_sec, moment.tv_nsec);
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

nlohmann::json QFModificationToken::encode() const {
    nlohmann::json archive = nlohmann::json::object();
    if (item) archive["item"] = archivedStamp(*item);
    if (linkTarget) archive["linkTarget"] = archivedStamp(*linkTarget);
    return archive;
}

std::optional<QFModificationToken> QFModificationToken::decode(const nlohmann::json& archive) {
    if (!archive.is_object()) return std::nullopt;
    QFModificationToken token;
    const std::pair<const char*, std::optional<QFFileStamp>*> stamps[] = {
        {"item", &token.item}, {"linkTarget", &token.linkTarget}};
    for (const auto& [key, stamp] : stamps) {
        auto value = archive.find(key);
        if (value == archive.end()) continue;
        *stamp = decodedStamp(*value);
        if (!*stamp) return std::nullopt;
    }
    return token;
}

bool QFModificationToken::changedAfter(const timespec& moment) const {
    return (item && isAfter(item->statusChange, moment)) ||
           (linkTarget && isAfter(linkTarget->statusChange, moment));
}
