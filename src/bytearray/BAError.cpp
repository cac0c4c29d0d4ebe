#include "bytearray/BAError.h"

lf::Error BAMakeError(BAByteArrayErrorCode code, std::string description,
                      std::shared_ptr<const lf::Error> underlying) {
    lf::ErrorUserInfo info{{lf::kLocalizedDescriptionKey, std::move(description)}};
    if (underlying) info[lf::kUnderlyingErrorKey] = std::move(underlying);
    return lf::Error(BAByteArrayErrorDomain, code, std::move(info));
}
