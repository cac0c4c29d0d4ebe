#pragma once
// LeftoverTemporaries: the hidden files (see TemporaryName) that writes
// killed half way left in one folder, found by one listing of the folder,
// so that a write of many files into it lists it once, not once a file.
// FolderMoveLock: what keeps their removal away from files that are moved
// in or out of a folder.
//
// A write holds a lock on its new contents from their creation until it
// moves them, and the kernel drops the lock when the writer dies: a hidden
// file that can be locked, and still has its name, was left by a writer
// that is gone, unless a commit is moving files in its folder. A commit
// leaves each file it replaced under a hidden name, unlocked, until it
// ends, so that a commit that fails can put the file back; and it closes
// each file before it moves it, as some file systems (fusefat) damage a
// file that is renamed while open. So every move holds a FolderMoveLock on
// its folder, shared among commits, and the leftovers of a folder are
// removed only while the remover holds its lock alone. A folder that a
// commit holds keeps its leftovers for a later write.
//
// Nothing is reported: a leftover that cannot be removed now stays for the
// next write of its target. Any other name, whoever wrote it, is left
// alone. Each object is used by one thread at a time.

#include "platform/files/FileDescriptor.h"

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace lf {

class LeftoverTemporaries {
public:
    // Lists `folder`; one that cannot be listed has no leftovers to remove.
    explicit LeftoverTemporaries(const std::string& folder);

    // Removes the leftovers of `target`, a file in this folder, that the
    // listing found, unless files are being moved in the folder.
    void removeThoseOf(const std::string& target) const;

    // The longest name the folder takes (see longestNameIn).
    size_t longestName() const { return longestName_; }

private:
    std::string folder_;
    size_t longestName_;
    // Hidden names by their prefix (their name without the digits).
    std::unordered_map<std::string, std::vector<std::string>> namesByPrefix_;
};

// Held, shared with other moves, while files are moved in or out of a
// folder. Taking it waits for a removal of leftovers under way there,
// which takes a few system calls. A folder that cannot be opened is not
// held, and no leftovers are removed from it either.
class FolderMoveLock {
public:
    explicit FolderMoveLock(const std::string& folder);

private:
    FileDescriptor folder_;
};

}  // namespace lf
