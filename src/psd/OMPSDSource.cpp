#include "psd/OMPSDSource.h"

#include "psd/OMPSDError.h"

#include <cerrno>
#include <memory>
#include <new>
#include <string>

lf::Result<lf::Data> OMPSDReadBytes(const BAByteArray& bytes, BARange range) {
    if (!range.fitsWithin(bytes.length()))
        return OMPSDMakeError(OMPSDErrorTruncated,
                              "a section reaches past the end of the document");
    if (range.length == 0) return lf::Data();
    if (auto shared = BADataInRange(bytes, range)) return *shared;
    // Not cleared first: the read fills every byte or fails.
    std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[range.length]);
    if (!copy)
        return lf::Error::posix(ENOMEM, "a read of " + std::to_string(range.length) + " bytes");
    auto status = bytes.copyBytes(copy.get(), range);
    if (!status)
        return OMPSDMakeError(OMPSDErrorReadFailed, "the document cannot be read",
                              std::make_shared<const lf::Error>(status.error()));
    return lf::Data::adopt(std::move(copy), range.length);
}
