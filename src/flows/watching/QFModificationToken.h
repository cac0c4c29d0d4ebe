#pragma once
// QFModificationToken: what tells one saved version of a document from
// another without reading it.
//
// A file's stamp is everything a save changes: its device and inode (a save
// by rename makes a new file), its size, and its modification and
// status-change times to the nanosecond (two saves within one second differ;
// the status-change time moves even when a writer sets the modification
// time back). Any difference is a change.
//
// A document given through a symbolic link is the file the link leads to:
// its token holds the stamp of the link itself and that of its target, so
// switching the link and saving the target are both changes. A token of a
// path that cannot be examined holds no stamp; it differs from any token of
// a file that exists.
//
// Archived as a JSON object: "item" and "linkTarget" when present, each
// stamp an object of "device", "inode", "size", and "modification" and
// "statusChange" as [seconds, nanoseconds].

#include <nlohmann/json.hpp>

#include <ctime>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

struct QFFileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modification{};
    timespec statusChange{};

    static QFFileStamp of(const struct stat& info);
    // The file `path` leads to, following links; none when it cannot be
    // examined.
    static std::optional<QFFileStamp> atPath(const std::string& path);
    // The open file itself, whatever its path leads to now.
    static std::optional<QFFileStamp> ofDescriptor(int descriptor);

    friend bool operator==(const QFFileStamp& a, const QFFileStamp& b);
};

struct QFModificationToken {
    // The item at the path itself (the link, for a link).
    std::optional<QFFileStamp> item;
    // What a link leads to; none for anything else, or a link to nothing.
    std::optional<QFFileStamp> linkTarget;

    static QFModificationToken forPath(const std::string& path);

    nlohmann::json encode() const;
    // None when `archive` is not a token's archive.
    static std::optional<QFModificationToken> decode(const nlohmann::json& archive);
    // Whether the item or what it leads to had its status changed (as every
    // save does) after `moment`.
    bool changedAfter(const timespec& moment) const;

    friend bool operator==(const QFModificationToken&, const QFModificationToken&) = default;
};
