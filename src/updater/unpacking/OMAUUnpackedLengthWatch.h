#pragma once
// OMAUUnpackedLengthWatch: the entries under a folder, the lengths of its
// plain files and the depth of its folders (OMAUUnpackingLimits.h),
// followed while a tool writes them. inotify tells which entries changed
// and only those are examined again, so the count keeps up with a tool
// writing thousands of files without walking the tree each time. Folders
// that appear are watched, and walked for what came before their watch.
// Links are counted as entries, not followed. A file known under two names
// (a hard link) counts twice, as in OMAUUnpackedSizeOf; a folder made
// again after it went counts again: the count may err upwards only.
//
// Every folder is reached from the watched folder's descriptor one name at
// a time (OMAUFolderIndex), never through a link: a folder that a link has
// replaced by the time its event is handled is passed over, and nothing
// outside is examined, opened or watched. A folder the tool has made
// unreadable is opened to its owner to be watched (OMAUFolderAccess.h);
// one it keeps closed is left to the count that follows the tool. The
// memory kept grows with the entries, not with their paths.
//
// The limits are checked as each change is counted: once one is passed,
// the update stops there and no further folder is watched, for the tool is
// to be stopped then, and the watches this user may hold stay as bounded
// as the entries.
//
// One thread at a time; the descriptor is for that thread's poll().

#include "platform/core/Result.h"
#include "platform/files/FileDescriptor.h"
#include "updater/unpacking/OMAUUnpackingLimits.h"
#include "updater/walks/OMAUFolderIndex.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>
#include <unordered_map>

struct inotify_event;

class OMAUUnpackedLengthWatch {
public:
    // Watches `folder` and everything below it from now on, within `limits`.
    static lf::Result<OMAUUnpackedLengthWatch> start(const std::filesystem::path& folder,
                                                     const OMAUUnpackingLimits& limits);

    // Readable when something under the folder has changed.
    int descriptor() const { return inotify_.get(); }
    // Takes in every change reported so far, or those up to the first that
    // passes a limit; the entries, their lengths and depth.
    lf::Result<OMAUUnpackedSize> update();

    // Called between reading a change and handling it, with the name it
    // concerns: tests make a change on disk happen at that moment.
    void setChangeHook(std::function<void(std::string_view name)> hook) {
        changeHook_ = std::move(hook);
    }

private:
    // An entry of a watched folder; a folder's has the folder's index.
    struct Entry {
        uint64_t length = 0;
        uint32_t folder = OMAUFolderIndex::kRoot;
    };

    OMAUUnpackedLengthWatch(lf::FileDescriptor inotify, lf::FileDescriptor root,
                            const OMAUUnpackingLimits& limits)
        : inotify_(std::move(inotify)), folders_(std::move(root)), limits_(limits) {}
    OMAUUnpackedSize size() const;
    bool withinLimits() const { return size().within(limits_); }
    lf::Status handle(const inotify_event& change);
    // Counts the folder `name` in `parent` and, within the limits, watches
    // it and what it holds.
    lf::Status watchFolder(uint32_t parent, const char* name);
    // Watches the folder recorded as `folder`, open as `opened`, and walks
    // what it already holds, watching its folders in turn.
    lf::Status watchTree(uint32_t folder, int opened);
    lf::Status addWatch(uint32_t folder, int opened);
    // The index of the folder `name` in `parent`, whose status is `status`:
    // the one recorded already, so that its entries count once, or a new one.
    uint32_t indexOf(uint32_t parent, std::string_view name, const struct stat& status);
    // Reads the entry `name` of `folder` again (gone: forgotten).
    void examine(uint32_t folder, const char* name);
    Entry& note(uint32_t folder, std::string_view name, uint64_t length);
    void forget(uint32_t folder, std::string_view name);
    // Starts again from the tree as it is, when the kernel dropped changes.
    lf::Status rescan();

    lf::FileDescriptor inotify_;
    OMAUFolderIndex folders_;
    OMAUUnpackingLimits limits_;
    std::unordered_map<int, uint32_t> watches_;
    std::unordered_map<OMAUEntryKey, Entry, OMAUEntryKeyHash, OMAUEntryKeyEqual> entries_;
    uint64_t total_ = 0;
    uint64_t depth_ = 0;
    std::function<void(std::string_view)> changeHook_;
};
