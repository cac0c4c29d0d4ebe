#pragma once
// A developer's trace: lines on standard output, indented by a nesting level
// that each thread keeps for itself, so nested work on one thread reads as
// a tree and other threads do not shift it.
//
//     QFLog("building {}", name);
//     QFIncreaseLogIndentation();
//     ...                                  // lines here are indented
//     QFDecreaseLogIndentation();
//
// Each call writes its lines in one piece, so the lines of one call stay
// together; calls of different threads may interleave.

#include <fmt/format.h>

#include <cstdint>

class QFLoggingHelper {
public:
    // Three spaces per level.
    static constexpr const char* kIndentation = "   ";

    // The calling thread's helper, made on first use and ended with the
    // thread.
    static QFLoggingHelper& currentLoggingHelper();

    // The level is not bounded: below 0 lines are simply not indented.
    void increaseLoggingIndentation() { ++indentationLevel_; }
    void decreaseLoggingIndentation() { --indentationLevel_; }
    int64_t indentationLevel() const { return indentationLevel_; }

    // Formats the text and writes each of its lines (split at every newline
    // character, so a text ending in one ends with an empty line) indented.
    void log(fmt::string_view format, fmt::format_args args);

private:
    int64_t indentationLevel_ = 0;
};

void QFLogv(fmt::string_view format, fmt::format_args args);

template <typename... Args>
void QFLog(fmt::format_string<Args...> format, Args&&... args) {
    QFLogv(format, fmt::make_format_args(args...));
}

void QFIncreaseLogIndentation();
void QFDecreaseLogIndentation();
