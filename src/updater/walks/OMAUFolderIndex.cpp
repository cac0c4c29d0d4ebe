#include "updater/walks/OMAUFolderIndex.h"

#include "updater/walks/OMAUFolderAccess.h"

#include <cerrno>

OMAUFolderIndex::OMAUFolderIndex(lf::FileDescriptor root) : root_(std::move(root)) {
    clear();
}

uint32_t OMAUFolderIndex::add(uint32_t parent, std::string name, const struct stat& status) {
    folders_.push_back(
        {parent, folders_[parent].depth + 1, std::move(name), status.st_dev, status.st_ino});
    return static_cast<uint32_t>(folders_.size() - 1);
}

bool OMAUFolderIndex::isFolder(uint32_t folder, const struct stat& status) const {
    return folders_[folder].device == status.st_dev && folders_[folder].inode == status.st_ino;
}

void OMAUFolderIndex::clear() {
    struct stat status {};
    ::fstat(root_.get(), &status);
    folders_.clear();
    folders_.push_back({kRoot, 0, {}, status.st_dev, status.st_ino});
    held_ = {};
}

std::string OMAUFolderIndex::pathOf(uint32_t folder, std::string_view name) const {
    std::vector<std::string_view> names;
    if (!name.empty()) names.push_back(name);
    for (; folder != kRoot; folder = parent(folder))
        names.push_back(this->name(folder));
    std::string path;
    for (auto component = names.rbegin(); component != names.rend(); ++component) {
        if (!path.empty()) path.push_back('/');
        path.append(*component);
    }
    return path.empty() ? std::string(".") : path;
}

OMAUFolderIndex::Held* OMAUFolderIndex::held(uint32_t folder) {
    for (Held& entry : held_)
        if (entry.descriptor.isOpen() && entry.folder == folder) return &entry;
    return nullptr;
}

int OMAUFolderIndex::open(uint32_t folder) {
    if (folder == kRoot) return root_.get();
    if (Held* entry = held(folder)) {
        entry->lastUse = ++uses_;
        return entry->descriptor.get();
    }
    // Down from the nearest folder held open, or the tree's own.
    std::vector<uint32_t> way;
    uint32_t from = folder;
    for (; from != kRoot && !held(from); from = parent(from))
        way.push_back(from);
    int at = from == kRoot ? root_.get() : held(from)->descriptor.get();
    lf::FileDescriptor opened;
    for (auto step = way.rbegin(); step != way.rend(); ++step) {
        opened = OMAUEnterFolder(at, name(*step).c_str());
        if (!opened.isOpen()) return -1;
        at = opened.get();
    }
    struct stat status {};
    if (::fstat(opened.get(), &status) != 0) return -1;
    if (!isFolder(folder, status)) {
        errno = ESTALE;
        return -1;
    }
    Held* oldest = &held_.front();
    for (Held& entry : held_)
        if (entry.lastUse < oldest->lastUse) oldest = &entry;
    *oldest = {folder, ++uses_, std::move(opened)};
    return oldest->descriptor.get();
}
