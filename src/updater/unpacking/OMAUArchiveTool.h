#pragma once
// Running the archive tools as children of ours, started by argument
// vector without a shell: a listing read from a tool's standard output, and
// an unpacking held to limits.
//
// Every tool runs in a session of its own, without a terminal, reading
// /dev/null or the archive: none can ask for anything (a password, whether
// to replace a file), and a terminal can neither stop one nor be read by
// it. A tool that stops all the same, or that has not ended within its
// time, is killed with its process group and the run refused.
//
// An unpacking tool runs under prlimit. No file it writes may grow past
// the limit (RLIMIT_FSIZE: the kernel refuses the write, and ends the tool
// with SIGXFSZ), and an OMAUUnpackedLengthWatch follows its entries from
// before it starts: as soon as they pass a limit (entries, bytes on disk
// or depth), checked as each change is counted, the whole group is
// killed. The files pass the limit only by what the tool writes before the
// watch wakes for it, far less than kOMAUUnpackingSlack.
//
// Runs on the calling thread.

#include "platform/ChildProcess.h"
#include "platform/FileDescriptor.h"
#include "platform/Result.h"
#include "updater/unpacking/OMAUUnpackingLimits.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
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
                                       std::chrono::milliseconds timeLimit = kOMAUToolTimeLimit);

// Hands the standard output of `arguments` to `line` a line at a time (its
// end taken off) as the tool prints it, so that only one line is held at
// once; `line` says whether to read on. When it says not to, the tool is
// stopped with its group there and then. Else an error unless the tool
// exits with 0 within `timeLimit`, or when a line passes kOMAUToolLineLimit.
lf::Status OMAUReadToolLines(const std::vector<std::string>& arguments,
                             const std::function<bool(std::string_view line)>& line,
                             std::chrono::milliseconds timeLimit = kOMAUToolTimeLimit);

// An error of kOMAUArchiveToolFailed unless `tool` exited with 0.
lf::Status OMAURequireToolSuccess(const std::string& tool,
                                  const lf::ChildProcess::Termination& ended);

struct OMAUUnpackingTool {
    std::vector<std::string> arguments;
    // Where the tool unpacks.
    std::filesystem::path folder;
    OMAUUnpackingLimits limits;
    std::chrono::milliseconds timeLimit = kOMAUToolTimeLimit;
    // An archive handed to the tool's standard input, `fed` told of each
    // piece once handed over; without one the tool reads /dev/null, so it
    // never waits for an answer.
    const lf::FileDescriptor* input = nullptr;
    std::function<void(uint64_t)> fed;
};

struct OMAUUnpackingOutcome {
    lf::ChildProcess::Termination termination;
    // Whether it was stopped because its entries passed the limits.
    bool stoppedAtLimit = false;
};

// Runs the tool until it ends or its entries pass the limits; an error of
// kOMAUArchiveToolFailed when it stopped or ran out of time instead.
lf::Result<OMAUUnpackingOutcome> OMAURunUnpackingTool(const OMAUUnpackingTool& tool);
