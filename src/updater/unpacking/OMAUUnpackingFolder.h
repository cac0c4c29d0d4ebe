#pragma once
// OMAUUnpackingFolder: the private folder beside an archive that its tool
// unpacks into (OMAUArchiveExtraction.h), ".<archive>.unpacking-XXXXXX"
// (OMAUScratchFolders.h). It is removed with what it holds however the
// unpacking ends, and held meanwhile: an exclusive lock on a descriptor of
// it, which the kernel lets go with the process that took it, however that
// ends. So one that no process holds was left by an application that ended
// mid-way, and OMAURemoveAbandonedUnpackingFolders removes it.
//
// Move-only; one thread at a time.

#include "platform/FileDescriptor.h"
#include "platform/Result.h"

#include <filesystem>

class OMAUUnpackingFolder {
public:
    // A new folder beside `archive`, held.
    static lf::Result<OMAUUnpackingFolder> reserveBeside(const std::filesystem::path& archive);

    OMAUUnpackingFolder(OMAUUnpackingFolder&& other) noexcept;
    OMAUUnpackingFolder& operator=(OMAUUnpackingFolder&&) = delete;
    ~OMAUUnpackingFolder();

    const std::filesystem::path& path() const { return path_; }
    // Open for reading.
    int descriptor() const { return descriptor_.get(); }

private:
    OMAUUnpackingFolder(std::filesystem::path path, lf::FileDescriptor descriptor)
        : path_(std::move(path)), descriptor_(std::move(descriptor)) {}

    std::filesystem::path path_;
    lf::FileDescriptor descriptor_;
};

// Removes, with what they hold, the unpacking folders in `folder` (the
// archives' folder) that no unpacking holds, passing over failures. Only
// folders of this user's named as unpacking folders are touched.
void OMAURemoveAbandonedUnpackingFolders(const std::filesystem::path& folder);
