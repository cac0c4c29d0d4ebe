#include "bytearray/BAFileReference.h"

#include "bytearray/BAError.h"

#include <fmt/format.h>

#include <limits>

lf::Result<std::shared_ptr<BAFileReference>> BAFileReference::open(const std::string& path) {
    auto file = lf::FileDescriptor::openForReading(path);
    if (!file) return file.error();
    auto size = file->size();
    if (!size) return size.error();
    return std::shared_ptr<BAFileReference>(new BAFileReference(path, std::move(*file), *size));
}

lf::Status BAFileReference::read(void* destination, uint64_t offset, uint64_t length) const {
    if (length > std::numeric_limits<size_t>::max())
        return BAMakeError(BAByteArrayErrorRangeOutOfBounds, "read larger than the address space");
    auto count = file_.readUncached(destination, static_cast<size_t>(length), offset);
    if (!count)
        return BAMakeError(BAByteArrayErrorReadFailed, fmt::format("reading {} failed", path_),
                           std::make_shared<lf::Error>(count.error()));
    if (*count != length)
        return BAMakeError(BAByteArrayErrorFileTruncated,
                           fmt::format("{} ends at {} bytes, before the {} bytes asked at {}",
                                       path_, offset + *count, length, offset));
    return {};
}
