#pragma once
// The check that keeps a subsystem's folders in layers: every include of
// one of its headers points down or across its own folder.

#include <filesystem>
#include <map>
#include <string>

namespace lf::test {

// Checks (gtest expectations) every file below `root`, the source folder
// of the subsystem `subsystem` ("ui"): an include "subsystem/folder/..."
// must name the file's own folder or one of a lower layer in `layers`
// (folder to layer, 0 at the ground). The name "" stands for `root`
// itself, its files and headers included as "subsystem/Name.h"; without
// it, files there are passed over. A file in a folder of no layer, or an
// include from one, fails. Returns how many files were checked.
int expectIncludesPointDown(const std::filesystem::path& root, const std::string& subsystem,
                            const std::map<std::string, int>& layers);

}  // namespace lf::test
