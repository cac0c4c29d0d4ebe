#pragma once
// The conversion exchange: a TTX document goes to the TTX converter, a
// helper process of ours, which compiles it with fontTools and replies with
// the OpenType (CFF) and WOFF forms and its log.
//
// The converter is the executable kQFTTXConverterServiceName beside the
// running program, or the one that the environment variable
// LF_TTX_CONVERTER names. Each conversion starts a converter of its own
// and stops it afterwards.
//
// Messages: the request holds "ttxData" (the document); the reply holds
// "sfntData", "woffData" and "ttxLog" (the converter's log).

#include "platform/core/Result.h"
#include "platform/files/Data.h"

#include <chrono>
#include <string>

inline constexpr const char* kQFTTXConverterServiceName = "layerflow-ttx-converter";
inline constexpr const char* kQFTTXConverterVariable = "LF_TTX_CONVERTER";
// Longer than the converter allows fontTools, so that a conversion that
// takes too long still comes back with the converter's log.
inline constexpr std::chrono::milliseconds kQFTTXConversionTimeLimit{90'000};

struct QFConvertedFont {
    lf::Data sfntData;
    lf::Data woffData;
};

// The converter's executable, by the rules above.
std::string QFTTXConverterServiceName();

// Sends the document and blocks the caller until the converter replies or
// fails, or `timeLimit` passes. Fails (QFFontErrorDomain) unless the reply
// holds both fonts, non-empty; a reply without them has its log written to
// the console and put in the error.
lf::Result<QFConvertedFont> QFConvertTTXDocument(
    const lf::Data& ttxDocument, std::chrono::milliseconds timeLimit = kQFTTXConversionTimeLimit);
