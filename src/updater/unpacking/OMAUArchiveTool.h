#pragma once
// Running the archive tools that list an archive, as children of ours
// (OMAUToolProcess.h): a listing read from a tool's standard output as it
// prints it. The unpacking tool runs apart, held to limits
// (OMAUUnpackingTool.h).
//
// No tool waits for an answer (a password, whether to replace a file): it
// reads /dev/null or the archive, and is told the empty password. A
// listing tool runs in a session of its own, without a terminal; one that
// stops, or that has not ended within its time, is killed with its process
// group and the listing refused, as it is when the listing is cancelled;
// so is one whose start is not reported by then (OMAUStartTool).
// A tool's error output comes to us, read as it comes for its first error
// line, which a refusal gives as its reason (OMAUToolErrors.h), and never
// reaches the application's own.
//
// Runs on the calling thread, which the tool does not outlive.

#include "platform/core/Result.h"
#include "platform/processes/ChildProcess.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

// How long a tool may take, listing or unpacking: far longer than an
// update needs.
inline constexpr std::chrono::milliseconds kOMAUToolTimeLimit = std::chrono::minutes(5);

// The longest line a listing tool may print: far longer than any path the
// tools can unpack.
inline constexpr size_t kOMAUToolLineLimit = size_t{1} << 20;

// The standard output of `arguments` when it exits with 0 within `timeLimit`.
lf::Result<std::string> OMAUToolOutput(const std::vector<std::string>& arguments,
                                       std::chrono::milliseconds timeLimit = kOMAUToolTimeLimit,
                                       std::stop_token stop = {});

// Hands the standard output of `arguments` to `line` a line at a time (its
// end taken off) as the tool prints it, so that only one line is held at
// once; `line` says whether to read on. When it says not to, the tool is
// stopped with its group there and then. Else an error unless the tool
// exits with 0 within `timeLimit`, or when a line passes kOMAUToolLineLimit.
lf::Status OMAUReadToolLines(const std::vector<std::string>& arguments,
                             const std::function<bool(std::string_view line)>& line,
                             std::chrono::milliseconds timeLimit = kOMAUToolTimeLimit,
                             std::stop_token stop = {});

// An error of kOMAUArchiveToolFailed unless `tool` exited with 0 or only
// warned (OMAUToolOnlyWarned: then what it left decides), saying why in
// words: its first error line, else what its status stands for
// (OMAUToolErrors.h).
lf::Status OMAURequireToolSuccess(const std::string& tool,
                                  const lf::ChildProcess::Termination& ended,
                                  const std::string& errorLine = {});
