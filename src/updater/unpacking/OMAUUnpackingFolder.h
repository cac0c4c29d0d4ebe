#pragma once
// OMAUUnpackingFolder: the private folder beside an archive that its tool
// unpacks into (OMAUArchiveExtraction.h), ".<archive>.unpacking-XXXXXX",
// the archive's name shortened where the whole would not fit
// (OMAUFolderPatternBeside). It is removed with what it holds however the
// unpacking ends, and held meanwhile (OMAUHeldFolder.h), so that one no
// process holds was left by an application that ended mid-way, which the
// next launch removes (OMAULaunchSweep.h).
//
// Move-only; one thread at a time.

#include "platform/core/Result.h"
#include "updater/walks/OMAUHeldFolder.h"

#include <filesystem>
#include <string_view>

class OMAUUnpackingFolder {
public:
    // A new folder beside `archive`, held.
    static lf::Result<OMAUUnpackingFolder> reserveBeside(const std::filesystem::path& archive);

    OMAUUnpackingFolder(OMAUUnpackingFolder&& other) noexcept = default;
    OMAUUnpackingFolder& operator=(OMAUUnpackingFolder&&) = delete;
    ~OMAUUnpackingFolder();

    const std::filesystem::path& path() const { return folder_.path(); }
    // Open for reading.
    int descriptor() const { return folder_.descriptor(); }

private:
    explicit OMAUUnpackingFolder(OMAUHeldFolder folder) : folder_(std::move(folder)) {}

    OMAUHeldFolder folder_;
};

// Whether `name` is an unpacking folder's: "." and a name, the marker
// ".unpacking-", then the six letters and digits mkdtemp gives.
bool OMAUIsUnpackingFolderName(std::string_view name);
