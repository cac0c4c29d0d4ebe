#include "updater/unpacking/OMAULinkContainment.h"

#include "updater/shared/OMAUStringExtras.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <unistd.h>

namespace {

// The system follows no more links than this resolving one path
// (MAXSYMLINKS); a name past them leads nowhere it could go.
constexpr int kLinksFollowed = 40;

}  // namespace

OMAULinkContainment::OMAULinkContainment(lf::FileDescriptor root, std::string applicationFolder)
    : folders_(std::move(root)),
      applicationFolder_(std::move(applicationFolder)),
      bounds_{OMAUFolderIndex::kRoot} {}

uint32_t OMAULinkContainment::addFolder(uint32_t parent, const char* name,
                                        const struct stat& status) {
    const uint32_t folder = folders_.add(parent, name, status);
    const bool outermostApplication = bounds_[parent] == OMAUFolderIndex::kRoot &&
                                      !applicationFolder_.empty() && name == applicationFolder_;
    bounds_.push_back(outermostApplication ? folder : bounds_[parent]);
    entries_.insert_or_assign(OMAUEntryKey{parent, name}, Entry{Kind::folder, folder});
    return folder;
}

void OMAULinkContainment::addLink(uint32_t folder, const char* name) {
    const auto recorded = entries_.insert_or_assign(
        OMAUEntryKey{folder, name}, Entry{Kind::link, static_cast<uint32_t>(links_.size())});
    links_.push_back({folder, &recorded.first->first.name, std::nullopt});
}

void OMAULinkContainment::addOther(uint32_t folder, const char* name) {
    entries_.insert_or_assign(OMAUEntryKey{folder, name}, Entry{Kind::other, 0});
}

lf::Result<std::optional<std::string>> OMAULinkContainment::firstLinkLeadingOut(
    std::stop_token stop) {
    for (const Link& link : links_) {
        if (stop.stop_requested()) return lf::Error::posix(ECANCELED, "check the links");
        lf::Result<std::string> target = targetOf(link);
        if (!target) return target.error();
        if (!follow(link.folder, *target, bounds_[link.folder]))
            return std::optional<std::string>(folders_.pathOf(link.folder, *link.name));
    }
    return std::optional<std::string>();
}

std::optional<uint32_t> OMAULinkContainment::follow(uint32_t folder, std::string_view target,
                                                    uint32_t bound) {
    if (target.starts_with('/')) return std::nullopt;
    // From the bound down to the link's folder, then along the target.
    std::vector<Step> way;
    for (uint32_t at = folder; at != bound; at = folders_.parent(at))
        way.push_back({at, false});
    std::reverse(way.begin(), way.end());
    const bool within = OMAUForEachPathComponent(target, [&](std::string_view name) {
        if (name != "..")
            way.push_back(stepInto(way.empty() ? bound : way.back().position, name));
        else if (way.empty() || way.back().throughLink)
            return false;
        else
            way.pop_back();
        return true;
    });
    if (!within) return std::nullopt;
    return way.empty() ? bound : way.back().position;
}

OMAULinkContainment::Step OMAULinkContainment::stepInto(uint32_t position, std::string_view name) {
    if (position == kNothing) return {kNothing, false};
    if (position == kUnresolved) return {kUnresolved, true};
    const auto found = entries_.find(OMAUEntryKeyView(position, name));
    if (found == entries_.end()) return {kNothing, false};
    switch (found->second.kind) {
        case Kind::folder:
            return {found->second.index, false};
        case Kind::link:
            return {resolve(found->second.index), true};
        case Kind::other:
            break;
    }
    return {kNothing, false};
}

uint32_t OMAULinkContainment::resolve(uint32_t link) {
    if (links_[link].position) return *links_[link].position;
    if (links_[link].resolving || resolving_ >= kLinksFollowed) return kUnresolved;
    links_[link].resolving = true;
    ++resolving_;
    uint32_t position = kUnresolved;
    // The system resolves it from its folder, wherever that leads; a link
    // that would leave the tree is refused on its own.
    if (lf::Result<std::string> target = targetOf(links_[link]))
        position =
            follow(links_[link].folder, *target, OMAUFolderIndex::kRoot).value_or(kUnresolved);
    --resolving_;
    links_[link].resolving = false;
    links_[link].position = position;
    return position;
}

lf::Result<std::string> OMAULinkContainment::targetOf(const Link& link) {
    const int folder = folders_.open(link.folder);
    std::string target(PATH_MAX, '\0');
    const ssize_t length =
        folder < 0 ? -1 : ::readlinkat(folder, link.name->c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) == target.size())
        return lf::Error::posix(length < 0 ? errno : ENAMETOOLONG,
                                "examine " + folders_.pathOf(link.folder, *link.name));
    target.resize(static_cast<size_t>(length));
    return target;
}
