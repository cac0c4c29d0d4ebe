#include "psd/OMPSDError.h"

#include "psd/OMPSDProperty.h"

#include <fmt/format.h>

#include <algorithm>

lf::Error OMPSDMakeError(OMPSDErrorCode code, std::string description,
                         std::shared_ptr<const lf::Error> underlying) {
    lf::ErrorUserInfo info{{lf::kLocalizedDescriptionKey, std::move(description)}};
    if (underlying) info[lf::kUnderlyingErrorKey] = std::move(underlying);
    return lf::Error(OMPSDErrorDomain, code, std::move(info));
}

lf::Error OMPSDErrorAt(std::string_view where, lf::Error error) {
    std::string description = error.localizedDescription();
    if (description.rfind(where, 0) != 0)
        error.userInfo[lf::kLocalizedDescriptionKey] = fmt::format("{}: {}", where, description);
    return error;
}

std::string OMPSDQuotedCode(uint32_t code) {
    std::string text = OMPSDFourCCString(code);
    bool printable =
        std::all_of(text.begin(), text.end(), [](char c) { return c >= ' ' && c <= '~'; });
    return printable ? "'" + text + "'" : fmt::format("0x{:08x}", code);
}
