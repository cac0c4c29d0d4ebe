#pragma once
// Checked preconditions. A broken precondition is a programming error of the
// caller: the program writes one "***" line naming it and stops.

namespace lf {

[[noreturn]] void preconditionFailure(const char* condition, const char* message, const char* file,
                                      int line);

}  // namespace lf

#define LF_PRECONDITION(condition, message)                                          \
    do {                                                                             \
        if (!(condition)) ::lf::preconditionFailure(#condition, message, __FILE__, __LINE__); \
    } while (0)
