#pragma once
// LeftoverTemporaries: the hidden files (see TemporaryName) that writes
// killed or failed half way left in one folder, found by one listing of
// the folder, so that a write of many files into it lists it once, not
// once a file.
//
// A write holds a lock on its new contents from their creation until it
// moves them, and the kernel drops the lock when the writer dies: a hidden
// file that can be locked, and still has its name, was left by a writer
// that is gone, unless a commit is moving files in its folder. A commit
// leaves each file it replaced under a hidden name, unlocked, until it
// ends, so that a commit that fails can put the file back; and it closes
// each file before it moves it, as some file systems (fusefat) damage a
// file that is renamed while open. So every commit holds its folders'
// FolderLocks, and leftovers are removed only by a write that holds the
// folder's lock. A folder that a commit holds keeps its leftovers for a
// later write.
//
// New contents left over (".NAME.tmp-") go before the next write of their
// target stages its own. A replaced file left over (".NAME.replaced-")
// may be the only copy of its target, moved aside by a commit that could
// then neither move the new file in nor put the old one back: it stays
// until a commit of its target succeeds.
//
// Nothing is reported: a leftover that cannot be removed now stays for the
// next write of its target. Any other name, whoever wrote it, is left
// alone. Each object is used by one thread at a time.

#include "platform/writing/TemporaryName.h"

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace lf {

class LeftoverTemporaries {
public:
    // Lists `folder`; one that cannot be listed has no leftovers to remove.
    explicit LeftoverTemporaries(const std::string& folder);

    // Removes the new contents left over of `target`, a file in this
    // folder, that the listing found, unless another write holds the
    // folder's lock.
    void removeNewContentsOf(const std::string& target) const;
    // Removes the replaced files left over of `target` that the listing
    // found; called by a commit of `target` that succeeded, which holds
    // the folder's lock.
    void removeReplacedFilesOf(const std::string& target) const;

    // The longest name the folder takes (see longestNameIn).
    size_t longestName() const { return longestName_; }

private:
    void removeLeftovers(const std::string& target, TemporaryRole role) const;

    std::string folder_;
    size_t longestName_;
    // Hidden names by their prefix (their name without the digits).
    std::unordered_map<std::string, std::vector<std::string>> namesByPrefix_;
};

}  // namespace lf
