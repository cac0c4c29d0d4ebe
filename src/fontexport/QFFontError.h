#pragma once
// Errors of the font exporter: a font that cannot be written as TTX, and a
// conversion by the TTX converter that gave no font.

#include "platform/core/Error.h"

#include <cstdint>
#include <memory>
#include <string>

inline constexpr const char* QFFontErrorDomain = "QFFontErrorDomain";

// User-info key of the converter's log (a string), where it sent one.
inline constexpr const char* QFTTXLogErrorKey = "QFTTXLog";

enum QFFontErrorCode : int64_t {
    // The font has no name, which its name and CFF tables need.
    QFFontErrorMissingName = 1,
    // A metric or charstring number, in font units, does not fit the field
    // that holds it (16 bits in the binary font).
    QFFontErrorValueOutOfRange = 2,
    // The converter could not be started, or its connection failed before
    // it replied.
    QFFontErrorConversionFailed = 3,
    // The converter did not reply within the time limit.
    QFFontErrorConversionTimedOut = 4,
    // The converter replied without one of the fonts; its log says why.
    QFFontErrorConversionIncomplete = 5,
    // A text the document carries (the font name) is not UTF-8, or holds a
    // character XML cannot carry (SWXMLCharacters.h).
    QFFontErrorTextNotXML = 6,
};

lf::Error QFFontMakeError(QFFontErrorCode code, std::string description,
                          lf::ErrorUserInfo extraInfo = {});
