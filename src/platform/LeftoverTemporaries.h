#pragma once
// LeftoverTemporaries: the hidden files (see TemporaryName) that writes
// killed half way left in one folder, found by one listing of the folder,
// so that a write of many files into it lists it once, not once a file.
//
// A write holds a lock on its new contents from their creation until it
// ends, and the kernel drops the lock when the writer dies: a hidden file
// that can be locked, and still has its name, was left by a writer that is
// gone. Not quite: a commit leaves the file it replaced under a hidden name,
// unlocked, until it ends, and a commit that fails puts it back. While that
// file waits, either its target holds the commit's locked new contents, or
// (moved aside where files cannot be exchanged) the target is missing for
// a moment. So the leftovers of a target are removed only while the
// remover holds the target's own file locked, a file that no commit has
// moved in then; the ".replaced-" names go only then, and the ".tmp-"
// names also where the target is missing, as before a first write. A
// target locked by someone else keeps its leftovers for a later write.
//
// Nothing is reported: a leftover that cannot be removed now stays for the
// next write of its target. Any other name, whoever wrote it, is left
// alone.
//
// Used by one thread at a time.

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
    // listing found.
    void removeThoseOf(const std::string& target) const;

    // The longest name the folder takes (see longestNameIn).
    size_t longestName() const { return longestName_; }

private:
    std::string folder_;
    size_t longestName_;
    // Hidden names by their prefix (their name without the digits).
    std::unordered_map<std::string, std::vector<std::string>> namesByPrefix_;
};

}  // namespace lf
