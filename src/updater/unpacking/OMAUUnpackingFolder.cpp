#include "updater/unpacking/OMAUUnpackingFolder.h"

#include "updater/walks/OMAUScratchFolders.h"

#include <string>

namespace {

constexpr const char* kTag = "unpacking";

}  // namespace

lf::Result<OMAUUnpackingFolder> OMAUUnpackingFolder::reserveBeside(
    const std::filesystem::path& archive) {
    lf::Result<OMAUHeldFolder> folder =
        OMAUHeldFolder::make(OMAUFolderPatternBeside(archive, kTag));
    if (!folder) return folder.error();
    return OMAUUnpackingFolder(std::move(*folder));
}

OMAUUnpackingFolder::~OMAUUnpackingFolder() {
    // Removed while still held, so that no launch takes it meanwhile.
    if (descriptor() >= 0) OMAURemoveQuietly(path());
}

bool OMAUIsUnpackingFolderName(std::string_view name) {
    const std::string marker = std::string(".") + kTag + "-";
    const size_t at = name.rfind(marker);
    if (!name.starts_with('.') || at == std::string_view::npos || at < 2) return false;
    return OMAUIsReservedSuffix(name.substr(at + marker.size()));
}
