#pragma once
// OMAUUnpackedLengthWatch: the entries under a folder and the lengths of
// its plain files (OMAUUnpackingLimits.h), followed while a tool writes
// them. inotify tells which entries changed and only those are examined
// again, so the count keeps up with a tool writing thousands of files
// without walking the tree each time. Folders that appear are watched (and
// read, for what came before their watch); one the tool has already made
// unreadable is first opened to its owner (OMAUFolderAccess.h). Links are
// counted as entries, not followed. A file known under two names (a hard
// link) counts twice, as in OMAUUnpackedSizeOf.
//
// Past the entries it is told to allow, it watches no further folder: the
// tool is to be stopped then, and the watches this user may hold stay as
// bounded as the entries.
//
// One thread at a time; the descriptor is for that thread's poll().

#include "platform/FileDescriptor.h"
#include "platform/Result.h"
#include "updater/OMAUUnpackingLimits.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_map>

class OMAUUnpackedLengthWatch {
public:
    // Watches `folder` and everything below it from now on, up to
    // `maximumEntries` entries.
    static lf::Result<OMAUUnpackedLengthWatch> start(const std::filesystem::path& folder,
                                                     uint64_t maximumEntries);

    // Readable when something under the folder has changed.
    int descriptor() const { return inotify_.get(); }
    // Takes in every change reported so far, or those up to where the
    // entries pass the maximum; the entries and their lengths.
    lf::Result<OMAUUnpackedSize> update();

private:
    OMAUUnpackedLengthWatch(lf::FileDescriptor inotify, std::filesystem::path root,
                            uint64_t maximumEntries)
        : inotify_(std::move(inotify)), root_(std::move(root)), maximumEntries_(maximumEntries) {}
    bool full() const { return lengths_.size() > maximumEntries_; }
    OMAUUnpackedSize size() const { return {total_, lengths_.size()}; }
    lf::Status watchFolder(const std::filesystem::path& folder);
    // Reads the entry at `path` again (gone: forgotten).
    void examine(const std::filesystem::path& path);
    void note(const std::filesystem::path& path, uint64_t length);
    void forget(const std::filesystem::path& path);
    // Starts again from the tree as it is, when the kernel dropped events.
    lf::Status rescan();

    lf::FileDescriptor inotify_;
    std::filesystem::path root_;
    uint64_t maximumEntries_;
    std::unordered_map<int, std::filesystem::path> folders_;
    // Every entry but the root; a length for plain files, 0 for the others.
    std::unordered_map<std::string, uint64_t> lengths_;
    uint64_t total_ = 0;
};
