#pragma once
// OMAULinkContainment: whether the links of an unpacked tree stay within
// it. A link's target must be relative and, taken one component at a time
// from the link's own folder, never climb above the link's bound: the
// tree's own folder, or, for a link inside a folder of the application's
// name, the outermost such folder, which is installed alone under another
// name. The system takes a ".." after a link from where the link leads, not
// from the link's folder; so ".." may climb out of folders only, and a link
// it would climb out of is refused, as is a name reached through a link
// that cannot be resolved (a loop, or too many links on the way).
//
// The tree is recorded first, as a walk meets it: its folders, and the
// kind of each entry. Each link then costs time linear in its target's
// length: every component is one lookup among the recorded entries, and a
// link met on the way is resolved once, its position kept. Targets are
// read from the tree one at a time as they are checked, not kept, so the
// memory grows with the entries, not with the length of the targets.
//
// One thread at a time.

#include "platform/core/Result.h"
#include "updater/walks/OMAUFolderIndex.h"

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class OMAULinkContainment {
public:
    // The tree's own folder, open for reading; links inside a folder named
    // `applicationFolder` (when not empty) are held within it.
    OMAULinkContainment(lf::FileDescriptor root, std::string applicationFolder);

    // Records the folder `name` in the recorded `parent`, `status` its own;
    // its index.
    uint32_t addFolder(uint32_t parent, const char* name, const struct stat& status);
    // Records the link `name` in `folder`.
    void addLink(uint32_t folder, const char* name);
    // Records anything else than a folder or a link: no name goes on below it.
    void addOther(uint32_t folder, const char* name);

    // The path, below the tree's own folder, of the first link that leads
    // out of its bound; none when every link stays within. An error when a
    // link cannot be read, and ECANCELED once `stop` is asked for.
    lf::Result<std::optional<std::string>> firstLinkLeadingOut(std::stop_token stop = {});

private:
    enum class Kind : uint8_t { folder, link, other };
    struct Entry {
        Kind kind;
        // A folder's index among the folders, a link's among the links.
        uint32_t index;
    };
    struct Link {
        uint32_t folder;
        const std::string* name;
        // Where the link leads, once resolved: a folder, or one of the two
        // positions below.
        std::optional<uint32_t> position;
        bool resolving = false;
    };
    // Where a name leads that does not lead to a folder of the tree: to
    // nothing the system could go on from (a file, or nothing at all), or
    // to where a link that could not be resolved leads.
    static constexpr uint32_t kNothing = UINT32_MAX;
    static constexpr uint32_t kUnresolved = UINT32_MAX - 1;

    // A position on the way along a target, and whether it was reached
    // through a link (or may have been), which ".." may not climb out of.
    struct Step {
        uint32_t position;
        bool throughLink;
    };
    // Follows `target` from `folder`, climbing no higher than `bound`: where
    // it ends, or none when it climbs above the bound or out of a link.
    std::optional<uint32_t> follow(uint32_t folder, std::string_view target, uint32_t bound);
    Step stepInto(uint32_t position, std::string_view name);
    // Where the link leads: a folder of the tree, kNothing or kUnresolved.
    uint32_t resolve(uint32_t link);
    lf::Result<std::string> targetOf(const Link& link);

    OMAUFolderIndex folders_;
    std::string applicationFolder_;
    // For each folder, the folder its links may not climb above.
    std::vector<uint32_t> bounds_;
    std::unordered_map<OMAUEntryKey, Entry, OMAUEntryKeyHash, OMAUEntryKeyEqual> entries_;
    std::vector<Link> links_;
    // Links being resolved inside one another.
    int resolving_ = 0;
};
