#include "updater/walks/OMAUMounts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

std::optional<OMAUMount> OMAUMountOf(int folder, const char* name) {
    struct statx status {};
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (name && *name ? 0 : AT_EMPTY_PATH);
    if (::statx(folder, name ? name : "", flags, STATX_MNT_ID, &status) != 0) return std::nullopt;
    OMAUMount mount;
    mount.device = makedev(status.stx_dev_major, status.stx_dev_minor);
    if (status.stx_mask & STATX_MNT_ID) mount.id = status.stx_mnt_id;
    return mount;
}
