#pragma once
// TemporaryFile: the new contents of a file (its target), written beside
// it under a hidden name made from the target's own (".NAME.tmp-" and 16
// random hexadecimal digits) until they are moved in over it.
//
// The writer holds an exclusive lock on its temporary file from its
// creation until the file is moved in or removed, and the kernel drops the
// lock when the writer dies. A temporary file that can be locked, and
// still has its name, was therefore left by a writer killed half way: its
// bytes are of no use, and left alone such files would pile up beside the
// user's. Creating a temporary file of a target first removes those of the
// same target; any other name, whoever wrote it, is left alone.
//
// A new file gets the permissions of a newly created file (0666 less the
// umask); one that replaces a file takes that file's permissions.

#include "platform/FileDescriptor.h"
#include "platform/Result.h"

#include <cstdint>
#include <span>
#include <string>

namespace lf {

class TemporaryFile {
public:
    // Removes the abandoned temporary files of `target`, then creates and
    // locks a new one in the target's folder, which must exist.
    static Result<TemporaryFile> createBeside(const std::string& target);

    TemporaryFile(TemporaryFile&& other) noexcept;
    TemporaryFile& operator=(TemporaryFile&&) = delete;
    // Removes whatever has the temporary name, unless the file was moved in.
    ~TemporaryFile();

    const std::string& target() const { return target_; }
    const std::string& path() const { return path_; }

    // Writes `bytes`, takes the permissions of the file at the target, if
    // there is one, and flushes the file to the disk.
    Status write(std::span<const uint8_t> bytes);
    // Renames the file over its target; the temporary name is then free.
    Status replaceTarget();
    // Whether this file, still open, has the name `path`.
    bool isNamed(const std::string& path) const;

private:
    TemporaryFile(std::string target, std::string path, FileDescriptor file);

    std::string target_;
    std::string path_;
    FileDescriptor file_;
    bool movedIn_ = false;
};

// The folder of `path` ("." for a bare name).
std::string folderOfPath(const std::string& path);

// Makes the folder's entries durable: a rename is on the disk once the
// folder is. A folder that cannot be flushed (some file systems refuse)
// still holds its entries, so nothing is reported.
void flushFolder(const std::string& folder);

}  // namespace lf
