#pragma once
// What the helper programs' mains (GroupKeeperMain.cpp,
// DieWithParentMain.cpp) share. They use nothing but the C library: they
// run in a child before it is what it is to be, or beside it for its
// whole life, and carry nothing of the application.

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <sys/types.h>
#include <unistd.h>

namespace lf::helper {

// Writes errno to `report`, the pipe its starter reads (StartReport.h),
// and exits with status 127.
[[noreturn]] inline void reportFailure(int report) {
    const int error = errno;
    static_cast<void>(!::write(report, &error, sizeof error));
    ::_exit(127);
}

// A positive decimal number no greater than `largest`, or 0 for anything else.
inline long positiveNumber(const char* text, long largest) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value > 0 && value <= largest ? value : 0;
}

// A process id from its decimal digits; 0 for anything else.
inline pid_t processId(const char* text) {
    return static_cast<pid_t>(positiveNumber(text, INT32_MAX));
}

}  // namespace lf::helper
