#include "fontexport/QFFontError.h"

lf::Error QFFontMakeError(QFFontErrorCode code, std::string description,
                          lf::ErrorUserInfo extraInfo) {
    extraInfo[lf::kLocalizedDescriptionKey] = std::move(description);
    return lf::Error(QFFontErrorDomain, code, std::move(extraInfo));
}
