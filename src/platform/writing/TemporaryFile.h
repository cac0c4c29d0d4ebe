#pragma once
// TemporaryFile: the new contents of a file (its target), written beside
// it under a hidden name made from the target's own (".NAME.tmp-" and 16
// random hexadecimal digits, see TemporaryName) until they are moved in
// over it.
//
// The writer holds an exclusive lock on its temporary file from its
// creation until it closes the file to move it in, holding its folder's
// FolderLock then, or removes it; the kernel drops the lock when the
// writer dies. The lock is taken without waiting: a new file that another
// holds already is given up for another name. A temporary file that can be locked, and still has
// its name, was therefore left by a writer killed half way, and the next write of its target
// removes it (see LeftoverTemporaries, which a writer asks first).
//
// A new file gets the permissions of a newly created file (0666 less the
// umask); one that replaces a file takes that file's permissions, where
// the file system can store them.
//
// Used by one thread at a time.

#include "platform/core/Result.h"
#include "platform/files/FileDescriptor.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <sys/types.h>

namespace lf {

class TemporaryFile {
public:
    // Creates and locks a temporary file in the target's folder, which
    // must exist and whose names take at most `longestName` bytes. A POSIX
    // error; EWOULDBLOCK when every name tried was held by another.
    static Result<TemporaryFile> createBeside(const std::string& target, size_t longestName);

    TemporaryFile(TemporaryFile&& other) noexcept;
    TemporaryFile& operator=(TemporaryFile&&) = delete;
    // Removes whatever has the temporary name, unless the file was moved
    // in or the name released; the lock ends after that.
    ~TemporaryFile();

    const std::string& target() const { return target_; }
    const std::string& path() const { return path_; }

    // Writes `bytes`, takes the permissions of the file at the target, if
    // there is one and the file system stores permissions, and flushes the
    // file to the disk. A POSIX error naming the step that failed.
    Status write(std::span<const uint8_t> bytes);
    // Closes the file, which ends its lock: done, once written, by a move
    // that holds the folder's FolderLock, since some file systems
    // damage a file that is renamed while open.
    void close() { file_ = FileDescriptor(); }
    // Renames the file over its target; the temporary name is then free.
    Status replaceTarget();
    // Whether `path` names this file.
    bool isNamed(const std::string& path) const;
    // The temporary name now holds something that must stay (a replaced
    // file that a failed commit could not put back): the destructor
    // leaves it.
    void releaseName() { movedIn_ = true; }

private:
    TemporaryFile(std::string target, std::string path, FileDescriptor file);
    Status keepPermissionsOfTarget();

    std::string target_;
    std::string path_;
    FileDescriptor file_;
    // The file's device and inode, which name it once it is closed.
    dev_t device_ = 0;
    ino_t inode_ = 0;
    bool movedIn_ = false;
};

// The folder of `path` ("." for a bare name).
std::string folderOfPath(const std::string& path);

// The last component of `path`.
std::string nameOfPath(const std::string& path);

// Whether the open file `fd` still has the name `path`.
bool fileHasName(int fd, const std::string& path);

// Makes the folder's entries durable: a rename is on the disk once the
// folder is. A folder that cannot be flushed (some file systems refuse)
// still holds its entries, so nothing is reported.
void flushFolder(const std::string& folder);

}  // namespace lf
