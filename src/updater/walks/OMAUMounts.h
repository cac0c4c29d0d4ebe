#pragma once
// Which mounted file system an entry lies on, so that a removal never
// crosses into another one: a disk, a FUSE file system or a bind mount
// placed at a name in the updater's folders is someone else's, and
// deleting through it would delete at its source. The device alone does
// not tell a bind mount of the same file system apart; the mount's id
// does, where the kernel gives it (Linux 5.8 and later).

#include <cstdint>
#include <optional>
#include <sys/types.h>

struct OMAUMount {
    dev_t device = 0;
    // 0 where the kernel does not tell.
    uint64_t id = 0;

    friend bool operator==(const OMAUMount&, const OMAUMount&) = default;
};

// The mount that the entry `name` of the folder open as `folder` lies on
// (a mount point's is the mounted file system's; a link's own, never what
// it leads to); with `name` empty, the folder's own. None when it cannot
// be examined.
std::optional<OMAUMount> OMAUMountOf(int folder, const char* name);
