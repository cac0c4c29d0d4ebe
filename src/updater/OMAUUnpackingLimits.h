#pragma once
// How much an update archive may unpack to: how many entries (files,
// folders, links) and how many bytes on disk. An entry takes its length
// and one block more, as even an empty file or a folder takes an inode
// and, mostly, a block; so a million empty files weigh what they take.

#include <cstdint>

// An update unpacks to far less; more would fill the disk.
inline constexpr uint64_t kOMAUDefaultMaximumUnpackedLength = uint64_t{4} << 30;
// An update holds far fewer; more would use up the file system's inodes
// and, while they unpack, the inotify watches this user may hold.
inline constexpr uint64_t kOMAUDefaultMaximumEntries = 100000;
// What an entry takes on disk beyond its length, at most.
inline constexpr uint64_t kOMAUEntryBlock = 4096;

struct OMAUUnpackingLimits {
    // Bytes on disk.
    uint64_t length = kOMAUDefaultMaximumUnpackedLength;
    uint64_t entries = kOMAUDefaultMaximumEntries;
};

// Entries and their lengths together, as listed or as unpacked.
struct OMAUUnpackedSize {
    uint64_t length = 0;
    uint64_t entries = 0;

    // The lengths and a block an entry (at most UINT64_MAX).
    uint64_t diskUse() const;
    bool within(const OMAUUnpackingLimits& limits) const {
        return entries <= limits.entries && diskUse() <= limits.length;
    }
};
