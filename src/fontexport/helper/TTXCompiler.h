#pragma once
// TTXCompiler: compiles a TTX document into OpenType (CFF) and WOFF data
// with fontTools' ttx, in a private temporary folder that is removed
// afterwards. ttx runs by its argument vector from PATH, with a fixed
// locale so that its parsing and messages do not depend on the user's.
//
// Used by the TTX converter's single thread.

#include "platform/files/Data.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

struct TTXCompilation {
    std::optional<lf::Data> sfntData;
    std::optional<lf::Data> woffData;
    // ttx's own output, and what went wrong around it.
    std::string log;
    // The caller stopped waiting (keepWaiting answered false); the rest is
    // incomplete.
    bool abandoned = false;
};

// Both forms, each compiled by its own ttx run; a run still going at
// `deadline`, or when `keepWaiting` answers false, is killed.
TTXCompilation compileTTX(const lf::Data& ttxDocument,
                          std::chrono::steady_clock::time_point deadline,
                          const std::function<bool()>& keepWaiting);
