#pragma once
// The updater's log lines. The names and reasons they show come from the
// feed's server (an archive's name, a link), from an archive (the names
// of its entries) or from the tools that read it, and may hold what acts
// on a terminal, forges a line or turns the text around: every line is
// written out as reasons are (OMAUEscapedForDisplay), never raw.
//
// Any thread.

#include <fmt/format.h>

#include <string_view>
#include <utility>

void OMAUWriteLogLine(std::string_view line);

template <typename... Args>
void OMAULog(fmt::format_string<Args...> format, Args&&... args) {
    OMAUWriteLogLine(fmt::format(format, std::forward<Args>(args)...));
}
