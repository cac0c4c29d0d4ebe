#pragma once
// How much an update archive may unpack to: how many entries (files,
// folders, links), how many bytes on disk, and how deep its folders go. An
// entry takes its length and one block more, as even an empty file or a
// folder takes an inode and, mostly, a block; so a million empty files
// weigh what they take.

#include <cstdint>

// An update unpacks to far less; more would fill the disk.
inline constexpr uint64_t kOMAUDefaultMaximumUnpackedLength = uint64_t{4} << 30;
// An update holds far fewer; more would use up the file system's inodes
// and, while they unpack, the inotify watches this user may hold.
inline constexpr uint64_t kOMAUDefaultMaximumEntries = 100000;
// An update's paths go through far fewer folders; deeper ones would only
// lengthen every walk of the tree, and past the system's longest path no
// tool could remove them by name.
inline constexpr uint64_t kOMAUDefaultMaximumDepth = 128;
// What an entry takes on disk beyond its length, at most.
inline constexpr uint64_t kOMAUEntryBlock = 4096;

struct OMAUUnpackingLimits {
    // Bytes on disk.
    uint64_t length = kOMAUDefaultMaximumUnpackedLength;
    uint64_t entries = kOMAUDefaultMaximumEntries;
    // Folders on the way to an entry, the entry too when it is one: "a/b/"
    // and "a/b/c" lie 2 deep.
    uint64_t depth = kOMAUDefaultMaximumDepth;
};

// Entries and their lengths together, and the deepest folder, as listed or
// as unpacked.
struct OMAUUnpackedSize {
    uint64_t length = 0;
    uint64_t entries = 0;
    uint64_t depth = 0;

    // The lengths and a block an entry (at most UINT64_MAX).
    uint64_t diskUse() const;
    bool within(const OMAUUnpackingLimits& limits) const {
        return entries <= limits.entries && depth <= limits.depth && diskUse() <= limits.length;
    }
};
