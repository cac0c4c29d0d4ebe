#include "updater/unpacking/OMAUZipEntryNames.h"

#include "platform/files/FileDescriptor.h"
#include "updater/unpacking/OMAUArchiveExtraction.h"

#include <fmt/format.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <unordered_set>
#include <vector>

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kEntrySignature = 0x02014b50;
constexpr size_t kEndLength = 22, kZip64LocatorLength = 20, kZip64EndLength = 56;
constexpr size_t kEntryLength = 46;
// The end record and the longest comment that may follow it.
constexpr size_t kEndSearchLength = kEndLength + 0xffff;
constexpr uint16_t kUTF8Flag = 1 << 11;
// How many entries are read between two looks at the stop.
constexpr uint64_t kEntriesBetweenLooks = 256;

uint64_t littleEndian(const uint8_t* bytes, size_t length) {
    uint64_t value = 0;
    for (size_t i = length; i-- > 0;)
        value = value << 8 | bytes[i];
    return value;
}

lf::Error unreadable(const std::string& path, const std::string& why) {
    return OMAUArchiveError(kOMAUArchiveUnreadable,
                            fmt::format("the zip archive {} {}", path, why));
}

// Where the central directory begins and ends, and how many entries the
// end record says it holds.
struct Directory {
    uint64_t start = 0, end = 0, entries = 0;
    // Whether the number is the Zip64 end record's, whole. The end record's
    // own field holds 16 bits: past 65,535 entries, an archive written
    // without Zip64 states the number modulo 65,536 there.
    bool zip64 = false;

    bool holds(uint64_t count) const {
        return zip64 ? count == entries : count % 0x10000 == entries;
    }
};

// The directory as the Zip64 end record, located just before the end
// record at `endAt`, gives it; none where no locator lies there.
lf::Result<std::optional<Directory>> zip64Directory(const lf::FileDescriptor& archive,
                                                    uint64_t endAt, const std::string& path) {
    uint8_t locator[kZip64LocatorLength];
    if (endAt < sizeof locator) return std::optional<Directory>();
    lf::Result<size_t> read = archive.readUncached(locator, sizeof locator, endAt - sizeof locator);
    if (!read) return read.error();
    if (*read != sizeof locator || littleEndian(locator, 4) != kZip64LocatorSignature)
        return std::optional<Directory>();
    // The record lies just before its locator; it says where, but bytes
    // before the first entry would move it.
    const uint64_t recordAt = endAt - sizeof locator - kZip64EndLength;
    uint8_t record[kZip64EndLength];
    if (endAt < sizeof locator + sizeof record) return unreadable(path, "has no Zip64 end record");
    read = archive.readUncached(record, sizeof record, recordAt);
    if (!read) return read.error();
    if (*read != sizeof record || littleEndian(record, 4) != kZip64EndSignature)
        return unreadable(path, "has no Zip64 end record");
    const uint64_t length = littleEndian(record + 40, 8);
    if (length > recordAt) return unreadable(path, "states a central directory longer than it");
    return std::optional<Directory>(
        Directory{recordAt - length, recordAt, littleEndian(record + 32, 8), true});
}

// The directory as the end record at `end`, `endAt` in the archive, gives
// it. A field at its largest leaves its number to the Zip64 end record;
// where there is none, it is the number itself (65,535 entries).
lf::Result<Directory> directoryEndingAt(const lf::FileDescriptor& archive, const uint8_t* end,
                                        uint64_t endAt, const std::string& path) {
    const uint64_t entries = littleEndian(end + 10, 2), length = littleEndian(end + 12, 4);
    if (entries == 0xffff || length == 0xffffffff || littleEndian(end + 16, 4) == 0xffffffff) {
        lf::Result<std::optional<Directory>> zip64 = zip64Directory(archive, endAt, path);
        if (!zip64) return zip64.error();
        if (*zip64) return **zip64;
    }
    if (length > endAt) return unreadable(path, "states a central directory longer than it");
    return Directory{endAt - length, endAt, entries};
}

// Finds the central directory from the end record, the last one in the
// archive's final bytes.
lf::Result<Directory> findDirectory(const lf::FileDescriptor& archive, const std::string& path) {
    lf::Result<uint64_t> size = archive.size();
    if (!size) return size.error();
    const uint64_t tailAt = *size - std::min<uint64_t>(*size, kEndSearchLength);
    std::vector<uint8_t> tail(static_cast<size_t>(*size - tailAt));
    lf::Result<size_t> read = archive.readUncached(tail.data(), tail.size(), tailAt);
    if (!read) return read.error();
    if (*read != tail.size()) return unreadable(path, "changed while it was read");
    for (size_t at = tail.size() >= kEndLength ? tail.size() - kEndLength + 1 : 0; at-- > 0;)
        if (littleEndian(tail.data() + at, 4) == kEndSignature)
            return directoryEndingAt(archive, tail.data() + at, tailAt + at, path);
    return unreadable(path, "has no end record");
}

// Reads the directory's bytes in order, a piece at a time: each read
// drops what it read from the cache (FileDescriptor::readUncached), so
// nothing is read twice.
class DirectoryReader {
public:
    DirectoryReader(const lf::FileDescriptor& archive, const Directory& directory)
        : archive_(archive), at_(directory.start), end_(directory.end) {}

    // Whether `length` more bytes lie within the directory; passes them over.
    bool skip(uint64_t length) {
        if (length > end_ - at_) return false;
        at_ += length;
        return true;
    }
    // The next `length` bytes, or none past the directory's end.
    lf::Result<std::optional<std::string>> take(size_t length) {
        if (length > end_ - at_) return std::optional<std::string>();
        if (at_ < pieceAt_ || at_ + length > pieceAt_ + piece_.size()) {
            piece_.resize(static_cast<size_t>(
                std::min<uint64_t>(end_ - at_, std::max(length, kPieceLength))));
            lf::Result<size_t> read = archive_.readUncached(piece_.data(), piece_.size(), at_);
            if (!read) return read.error();
            piece_.resize(*read);
            pieceAt_ = at_;
            if (*read < length) return std::optional<std::string>();
        }
        std::string bytes = piece_.substr(static_cast<size_t>(at_ - pieceAt_), length);
        at_ += length;
        return std::optional<std::string>(std::move(bytes));
    }

private:
    static constexpr size_t kPieceLength = 65536;
    const lf::FileDescriptor& archive_;
    uint64_t at_, end_;
    std::string piece_;
    uint64_t pieceAt_ = 0;
};

// The next entry of the directory, or none where its entries end: they go
// on as long as their signatures do, whatever the end record says, as unzip
// reads them.
lf::Result<std::optional<OMAUZipEntryName>> nextEntry(DirectoryReader& reader,
                                                      const std::string& path) {
    lf::Result<std::optional<std::string>> fixed = reader.take(kEntryLength);
    if (!fixed) return fixed.error();
    const auto* header = *fixed ? reinterpret_cast<const uint8_t*>((*fixed)->data()) : nullptr;
    if (!header || littleEndian(header, 4) != kEntrySignature)
        return std::optional<OMAUZipEntryName>();
    // The extra fields and the comment follow the name.
    const uint64_t restLength = littleEndian(header + 30, 2) + littleEndian(header + 32, 2);
    lf::Result<std::optional<std::string>> name = reader.take(littleEndian(header + 28, 2));
    if (!name) return name.error();
    if (!*name || !reader.skip(restLength)) return unreadable(path, "holds an entry cut short");
    const bool flaggedUTF8 = (littleEndian(header + 8, 2) & kUTF8Flag) != 0;
    return std::optional<OMAUZipEntryName>(OMAUZipEntryName{std::move(**name), flaggedUTF8});
}

// The names met so far, each kept as a digest: a repeat is all that is
// asked of them, and a directory may name many long entries.
class NamesMet {
public:
    // Whether `name` is met for the first time.
    lf::Result<bool> firstTime(const std::string& name) {
        unsigned char bytes[EVP_MAX_MD_SIZE];
        if (EVP_Digest(name.data(), name.size(), bytes, nullptr, EVP_sha256(), nullptr) != 1)
            return lf::Error::posix(ENOMEM, "compare the names in a zip archive");
        Digest digest;
        std::memcpy(digest.data(), bytes, sizeof digest);
        return digests_.insert(digest).second;
    }

private:
    using Digest = std::array<uint64_t, 2>;
    struct DigestHash {
        size_t operator()(const Digest& digest) const { return digest[0]; }
    };
    std::unordered_set<Digest, DigestHash> digests_;
};

}  // namespace

lf::Status OMAUForEachZipEntryName(const std::string& path,
                                   const std::function<bool(const OMAUZipEntryName&)>& entry,
                                   std::stop_token stop) {
    lf::Result<lf::FileDescriptor> archive = lf::FileDescriptor::openForReading(path);
    if (!archive) return archive.error();
    lf::Result<Directory> directory = findDirectory(*archive, path);
    if (!directory) return directory.error();
    DirectoryReader reader(*archive, *directory);
    NamesMet met;
    uint64_t count = 0;
    for (;; ++count) {
        if (count % kEntriesBetweenLooks == 0 && stop.stop_requested())
            return lf::Error::posix(ECANCELED, "read the names in " + path);
        lf::Result<std::optional<OMAUZipEntryName>> next = nextEntry(reader, path);
        if (!next) return next.error();
        if (!*next) break;
        lf::Result<bool> first = met.firstTime((*next)->name);
        if (!first) return first.error();
        if (!*first)
            return OMAUArchiveError(kOMAUArchiveHostileContents,
                                    fmt::format("the zip archive {} names the entry \"{}\" twice",
                                                path, (*next)->name));
        if (!entry(**next)) return {};
    }
    if (!directory->holds(count))
        return unreadable(path, fmt::format("holds {} entries where its end record says {}", count,
                                            directory->entries));
    return {};
}
