#pragma once
// The check that keeps a subsystem's folders in layers: every include of
// one of its headers points down or across its own folder.

#include <filesystem>
#include <map>
#include <string>

namespace lf::test {

// Whether a subsystem's files may include the headers of other subsystems
// (those below it in the stack, which the build's links already bound).
enum class OtherSubsystems { mayBeIncluded, mayNotBeIncluded };

// Checks (gtest expectations) every file below `root`, the source folder
// of the subsystem `subsystem` ("ui") beside the other subsystems' folders:
// an include that leads to one of its headers must name the file's own
// folder or one of a lower layer in `layers` (folder to layer, 0 at the
// ground). The name "" stands for `root` itself, its files and headers
// included as "subsystem/Name.h"; without it, files there are passed over.
// A file in a folder of no layer, or an include from one, fails; so does an
// include of another subsystem's header when `others` forbids it.
//
// An include is followed as the compiler follows it: a quoted name beside
// the including file first ("../files/Data.h" too), then from the folder
// that holds the subsystems ("platform/files/Data.h"); a name in angle
// brackets from that folder only, when the header is there. Headers
// outside that folder (the standard library, external libraries) are
// passed over. Returns how many files were checked.
int expectIncludesPointDown(const std::filesystem::path& root, const std::string& subsystem,
                            const std::map<std::string, int>& layers,
                            OtherSubsystems others = OtherSubsystems::mayBeIncluded);

}  // namespace lf::test
