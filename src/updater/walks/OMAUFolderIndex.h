#pragma once
// OMAUFolderIndex: the folders of a tree as a table, each by the index of
// its parent and its name, reached again from the tree's own folder one
// name at a time (OMAUEnterFolder: never through a link) and checked to be
// the folder first recorded. Its memory grows with the number of folders,
// not with their depth or the length of their paths. The few folders used
// last keep a descriptor open, so that many uses of a folder in a row cost
// one way down.
//
// OMAUEntryKey names an entry of an indexed folder, for maps of entries.
//
// One thread at a time.

#include "platform/files/FileDescriptor.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

class OMAUFolderIndex {
public:
    static constexpr uint32_t kRoot = 0;

    // The tree's own folder, open for reading.
    explicit OMAUFolderIndex(lf::FileDescriptor root);

    // Records the folder `name` in `parent`, `status` its own; its index.
    uint32_t add(uint32_t parent, std::string name, const struct stat& status);
    // Whether `status` is that of the folder recorded as `folder`.
    bool isFolder(uint32_t folder, const struct stat& status) const;
    // Forgets every folder but the tree's own.
    void clear();

    size_t size() const { return folders_.size(); }
    uint32_t parent(uint32_t folder) const { return folders_[folder].parent; }
    const std::string& name(uint32_t folder) const { return folders_[folder].name; }
    // Folders from the tree's own, which lies 0 deep.
    uint32_t depth(uint32_t folder) const { return folders_[folder].depth; }
    // The path of `name` in `folder` below the tree's own folder; for
    // messages.
    std::string pathOf(uint32_t folder, std::string_view name = {}) const;

    // The folder open for reading, valid until the next call; -1, with
    // errno set, when it is gone or another one stands under its name
    // (ESTALE).
    int open(uint32_t folder);
    int root() const { return root_.get(); }

private:
    struct Folder {
        uint32_t parent;
        uint32_t depth;
        std::string name;
        dev_t device;
        ino_t inode;
    };
    struct Held {
        uint32_t folder = kRoot;
        uint64_t lastUse = 0;
        lf::FileDescriptor descriptor;
    };
    static constexpr size_t kHeld = 8;

    Held* held(uint32_t folder);

    lf::FileDescriptor root_;
    std::vector<Folder> folders_;
    std::array<Held, kHeld> held_;
    uint64_t uses_ = 0;
};

struct OMAUEntryKey {
    uint32_t folder;
    std::string name;
};

// Looks entries up by a name they do not own.
struct OMAUEntryKeyView {
    uint32_t folder;
    std::string_view name;
    OMAUEntryKeyView(uint32_t folder, std::string_view name) : folder(folder), name(name) {}
    OMAUEntryKeyView(const OMAUEntryKey& key) : folder(key.folder), name(key.name) {}
};

struct OMAUEntryKeyHash {
    using is_transparent = void;
    size_t operator()(OMAUEntryKeyView key) const {
        return std::hash<std::string_view>()(key.name) * 31 + key.folder;
    }
};

struct OMAUEntryKeyEqual {
    using is_transparent = void;
    bool operator()(OMAUEntryKeyView a, OMAUEntryKeyView b) const {
        return a.folder == b.folder && a.name == b.name;
    }
};
