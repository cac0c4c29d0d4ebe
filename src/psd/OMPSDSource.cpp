#include "psd/OMPSDSource.h"

#include "psd/OMPSDError.h"

#include <vector>

lf::Result<lf::Data> OMPSDReadBytes(const BAByteArray& bytes, BARange range) {
    if (!range.fitsWithin(bytes.length()))
        return OMPSDMakeError(OMPSDErrorTruncated,
                              "a section reaches past the end of the document");
    if (range.length == 0) return lf::Data();
    if (auto shared = BADataInRange(bytes, range)) return *shared;
    std::vector<uint8_t> copy(range.length);
    auto status = bytes.copyBytes(copy.data(), range);
    if (!status)
        return OMPSDMakeError(OMPSDErrorReadFailed, "the document cannot be read",
                              std::make_shared<const lf::Error>(status.error()));
    return lf::Data(std::move(copy));
}
