#pragma once
// A file opened for positioned reads. Reads do not go through a shared file
// offset, so any number of threads may read at once; the page cache is
// released behind each read. The file is kept open for the reference's
// lifetime: a file that is deleted stays readable, one that shrinks reports
// BAByteArrayErrorFileTruncated for the bytes it lost.

#include "bytearray/BAByteSource.h"
#include "platform/files/FileDescriptor.h"

#include <memory>
#include <string>

class BAFileReference final : public BAByteSource {
public:
    static lf::Result<std::shared_ptr<BAFileReference>> open(const std::string& path);

    lf::Status read(void* destination, uint64_t offset, uint64_t length) const override;

    const std::string& path() const { return path_; }
    // The size of the file when it was opened.
    uint64_t length() const { return length_; }

private:
    BAFileReference(std::string path, lf::FileDescriptor file, uint64_t length)
        : path_(std::move(path)), file_(std::move(file)), length_(length) {}

    std::string path_;
    lf::FileDescriptor file_;
    uint64_t length_;
};
