#pragma once
// Console diagnostics: one plain line per call on standard error, without
// levels. Internal inconsistencies are written with a leading "***".
// Lines from several threads never interleave. Tests capture the lines with
// LogCapture.

#include <fmt/format.h>

#include <string>
#include <string_view>
#include <vector>

namespace lf {

void writeLogLine(std::string_view line);

template <typename... Args>
void log(fmt::format_string<Args...> format, Args&&... args) {
    writeLogLine(fmt::format(format, std::forward<Args>(args)...));
}

// While alive, lines go to this capture (and not to standard error).
// Captures nest; the innermost one receives the lines.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(std::string_view fragment) const;

private:
    friend void writeLogLine(std::string_view line);
    LogCapture* previous_;
    std::vector<std::string> lines_;
};

}  // namespace lf
