#include "updater/unpacking/OMAUUnpackedContents.h"

#include "updater/shared/OMAUStringExtras.h"
#include "updater/unpacking/OMAUArchiveExtraction.h"
#include "updater/unpacking/OMAULinkContainment.h"
#include "updater/walks/OMAUFolderAccess.h"
#include "updater/walks/OMAUFolderWalk.h"

#include <fmt/format.h>

#include <algorithm>
#include <fcntl.h>

lf::Result<OMAUUnpackedSize> OMAUUnpackedSizeOf(int folder, std::stop_token stop) {
    OMAUUnpackedSize size;
    OMAUFolderVisitor visitor;
    visitor.stop = std::move(stop);
    visitor.visit = [&](const OMAUWalkEntry& entry) -> lf::Result<bool> {
        ++size.entries;
        if (S_ISREG(entry.status.st_mode))
            size.length +=
                std::min(static_cast<uint64_t>(entry.status.st_size), UINT64_MAX - size.length);
        if (!S_ISDIR(entry.status.st_mode)) return false;
        size.depth = std::max<uint64_t>(size.depth, entry.depth);
        return true;
    };
    LF_TRY(OMAUWalkFolder(folder, visitor));
    return size;
}

lf::Result<OMAUUnpackedSize> OMAUUnpackedSizeOf(const std::string& folder) {
    lf::Result<lf::FileDescriptor> opened = OMAUOpenFolder(folder);
    if (!opened) return opened.error();
    return OMAUUnpackedSizeOf(opened->get());
}

lf::Status OMAUCheckExtractedContents(int folder, const std::string& applicationFolder,
                                      std::stop_token stop) {
    lf::FileDescriptor ownRoot(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    if (!ownRoot.isOpen()) return lf::Error::posix(errno, "examine the folder's links");
    OMAULinkContainment links(std::move(ownRoot), applicationFolder);
    auto hostile = [](const std::string& entry, const char* what) {
        return OMAUArchiveError(kOMAUArchiveHostileContents,
                                fmt::format("the archive's entry {} is {}", entry, what));
    };
    // The folder the walk is in, and those above it, as the links know them.
    std::vector<uint32_t> within = {OMAUFolderIndex::kRoot};
    OMAUFolderVisitor visitor;
    visitor.stop = stop;
    visitor.visit = [&](const OMAUWalkEntry& entry) -> lf::Result<bool> {
        const mode_t mode = entry.status.st_mode;
        if (S_ISLNK(mode)) {
            links.addLink(within.back(), entry.name);
            return false;
        }
        if (!S_ISREG(mode) && !S_ISDIR(mode)) return hostile(entry.path(), "a special file");
        if (mode & (S_ISUID | S_ISGID)) return hostile(entry.path(), "set-id");
        if (S_ISREG(mode)) links.addOther(within.back(), entry.name);
        return S_ISDIR(mode);
    };
    visitor.enter = [&](const OMAUWalkEntry& entry, int) -> lf::Status {
        within.push_back(links.addFolder(within.back(), entry.name, entry.status));
        return {};
    };
    visitor.leave = [&](const OMAUWalkEntry&) -> lf::Status {
        within.pop_back();
        return {};
    };
    LF_TRY(OMAUWalkFolder(folder, visitor));
    lf::Result<std::optional<std::string>> leadingOut = links.firstLinkLeadingOut(stop);
    if (!leadingOut) return leadingOut.error();
    if (*leadingOut) return hostile(**leadingOut, "a link that leads out of its folder");
    return {};
}

lf::Status OMAUCheckExtractedContents(const std::string& folder,
                                      const std::string& applicationFolder) {
    lf::Result<lf::FileDescriptor> opened = OMAUOpenFolder(folder);
    if (!opened) return opened.error();
    return OMAUCheckExtractedContents(opened->get(), applicationFolder);
}

bool OMAUHoldsEntry(int folder, std::string_view path) {
    std::vector<std::string> names;
    OMAUForEachPathComponent(path, [&](std::string_view name) {
        names.emplace_back(name);
        return true;
    });
    if (names.empty()) return true;
    lf::FileDescriptor within;
    int at = folder;
    for (size_t i = 0; i + 1 < names.size(); ++i) {
        within = OMAUEnterFolder(at, names[i].c_str());
        if (!within.isOpen()) return false;
        at = within.get();
    }
    struct stat status {};
    return OMAUExamineEntry(at, names.back().c_str(), status) &&
           S_ISDIR(status.st_mode) == path.ends_with('/');
}

lf::Result<std::vector<std::filesystem::path>> OMAUShallowestEntriesNamed(
    const std::filesystem::path& folder, const std::string& name) {
    lf::Result<lf::FileDescriptor> opened = OMAUOpenFolder(folder);
    if (!opened) return opened.error();
    std::vector<std::filesystem::path> shallowest;
    size_t depth = SIZE_MAX;
    OMAUFolderVisitor visitor;
    visitor.visit = [&](const OMAUWalkEntry& entry) -> lf::Result<bool> {
        if (entry.name != name) return S_ISDIR(entry.status.st_mode) && entry.depth < depth;
        if (entry.depth < depth) shallowest.clear();
        depth = std::min(depth, entry.depth);
        if (entry.depth == depth) shallowest.push_back(folder / entry.path());
        return false;
    };
    LF_TRY(OMAUWalkFolder(opened->get(), visitor));
    return shallowest;
}
