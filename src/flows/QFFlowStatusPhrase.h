#pragma once
// The parts of a flow's status line in the recents list that say when the
// flow last wrote its output and how many files it saved:
// "Just now", "12 minutes ago", "Yesterday", "Tuesday", "3/4/25", and a
// suffix such as " · 3 files".
//
// The time phrases are fixed English texts; dates and times are formatted
// for the locale and time zone (the process's own when empty). Tests name
// the locale, the time zone and the present moment.

#include "platform/core/Formatters.h"

#include <cstdint>
#include <string>

// How long ago `lastRunDate` was, seen at `now`.
std::string QFFlowTimePhrase(lf::SystemTime lastRunDate, lf::SystemTime now,
                             const std::string& locale = {}, const std::string& timeZone = {});

// The localized suffix for the number of files saved; empty for none.
std::string QFFlowSavedItemsSuffix(uint64_t numberOfItemsSaved, const std::string& locale = {});
