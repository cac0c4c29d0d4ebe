#pragma once
// The calling thread's stack as text, for diagnostics: one line per frame,
// "function at file:line (in module)", symbolised by binutils' addr2line
// (file and line show as "??" where the module has no debug information).
// Nullopt when addr2line cannot be started. Slow: it runs one process per
// module on the stack.

#include <optional>
#include <string>

std::optional<std::string> OMBacktraceString();
