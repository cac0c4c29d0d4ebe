#include "psd/OMPSDError.h"

lf::Error OMPSDMakeError(OMPSDErrorCode code, std::string description,
                         std::shared_ptr<const lf::Error> underlying) {
    lf::ErrorUserInfo info{{lf::kLocalizedDescriptionKey, std::move(description)}};
    if (underlying) info[lf::kUnderlyingErrorKey] = std::move(underlying);
    return lf::Error(OMPSDErrorDomain, code, std::move(info));
}
