#pragma once
// OMAUUnpackedLengthWatch: the bytes of the plain files under a folder,
// followed while a tool writes them. inotify tells which files changed and
// only those are examined again, so the count keeps up with a tool writing
// thousands of files without walking the tree each time. Folders that
// appear are watched (and read, for what came before their watch); links
// are neither followed nor counted. A file known under two names (a hard
// link) counts twice, as in OMAUCheckUnpackedLength.
//
// One thread at a time; the descriptor is for that thread's poll().

#include "platform/FileDescriptor.h"
#include "platform/Result.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_map>

class OMAUUnpackedLengthWatch {
public:
    // Watches `folder` and everything below it from now on.
    static lf::Result<OMAUUnpackedLengthWatch> start(const std::filesystem::path& folder);

    // Readable when something under the folder has changed.
    int descriptor() const { return inotify_.get(); }
    // Takes in every change reported so far; the files' length together.
    lf::Result<uint64_t> update();

private:
    OMAUUnpackedLengthWatch(lf::FileDescriptor inotify, std::filesystem::path root)
        : inotify_(std::move(inotify)), root_(std::move(root)) {}
    lf::Status watchFolder(const std::filesystem::path& folder);
    // Reads the length of the file at `path` again (gone or not a plain
    // file: none).
    void examine(const std::filesystem::path& path);
    void forget(const std::filesystem::path& path);
    // Starts again from the tree as it is, when the kernel dropped events.
    lf::Status rescan();

    lf::FileDescriptor inotify_;
    std::filesystem::path root_;
    std::unordered_map<int, std::filesystem::path> folders_;
    std::unordered_map<std::string, uint64_t> lengths_;
    uint64_t total_ = 0;
};
