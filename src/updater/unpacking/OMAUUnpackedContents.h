#pragma once
// What an archive unpacked to, examined by walks from a descriptor of its
// folder down (OMAUFolderWalk.h): no link is followed, the depth of the
// tree costs no descriptors, and errors name entries by their path below
// the folder. Each function takes the folder open, or its path.

#include "platform/core/Result.h"
#include "updater/unpacking/OMAUUnpackingLimits.h"

#include <filesystem>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

// Each examination of a folder open as a descriptor ends with ECANCELED
// once its `stop` is asked for.

// The entries under `folder`, the lengths of its plain files and its
// deepest folder.
lf::Result<OMAUUnpackedSize> OMAUUnpackedSizeOf(int folder, std::stop_token stop = {});
lf::Result<OMAUUnpackedSize> OMAUUnpackedSizeOf(const std::string& folder);

// Whether the unpacked contents under `folder` are safe to install: plain
// files, folders and links only, no set-id bit, and every link within its
// bound (OMAULinkContainment.h): `folder`, or, inside a folder named
// `applicationFolder` (when not empty), the outermost such folder. The
// error names the first entry that is not.
lf::Status OMAUCheckExtractedContents(int folder, const std::string& applicationFolder = {},
                                      std::stop_token stop = {});
lf::Status OMAUCheckExtractedContents(const std::string& folder,
                                      const std::string& applicationFolder = {});

// Whether the folder open as `folder` holds the entry at `path`, a path as
// an archive's listing gives it ("a/b/", "a/./c"), reached one name at a
// time, never through a link, as what the listing says it is: a folder
// where the path ends with "/", anything else where it does not.
bool OMAUHoldsEntry(int folder, std::string_view path);

// The shallowest entries named `name` under `folder`, all at one depth:
// the application an archive holds, whose contents may hold the same name
// again deeper down (into which the search does not go).
lf::Result<std::vector<std::filesystem::path>> OMAUShallowestEntriesNamed(
    const std::filesystem::path& folder, const std::string& name);
