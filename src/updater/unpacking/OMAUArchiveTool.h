#pragma once
// Running the archive tools as children of ours, started by argument
// vector without a shell: a listing read from a tool's standard output, and
// an unpacking held to limits.
//
// No tool waits for an answer (a password, whether to replace a file): it
// reads /dev/null or the archive, and is told the empty password. A
// listing tool runs in a session of its own, without a terminal. An
// unpacking tool runs in a process group of its own within the
// application's session (below), never in the terminal's foreground: one
// that read the terminal all the same would be stopped by it. A tool that
// stops, or that has not ended within its time, is killed with its process
// group and the run refused. A tool's error output comes to us, read as it
// comes for its first line, which a refusal gives as its reason
// (OMAUToolErrors.h), and never reaches the application's own; an
// unpacking tool's standard output goes to /dev/null.
//
// An unpacking tool runs under prlimit: no file it writes may grow past
// the limit (RLIMIT_FSIZE: the kernel refuses the write, and ends the tool
// with SIGXFSZ). An OMAUUnpackedLengthWatch follows its entries from
// before it starts, on the calling thread: as soon as they pass a limit
// (entries, bytes on disk or depth), checked as each change is counted,
// the whole group is killed. The tool does not outrun the watch, on a busy
// machine as on a quiet one (OMAUToolRestraint.h):
// - it runs on one processor with the watch: the calling thread is pinned
//   to the processor it runs on until the tool has ended, and the tool
//   and its children take that from it;
// - it is weighed with the watch, within the application's share of the
//   processor: in a session of its own, the kernel would weigh it against
//   the application's whole share (Linux groups each session);
// - its whole group is held (SIGSTOP) from the moment the watch wakes for
//   its changes until it has taken them in, and killed still held once
//   they pass a limit.
// So the files pass the limit only by what the tool writes from a change
// to the moment the watch, woken for it, has taken the processor back from
// it: a slice of the kernel's, far less than kOMAUUnpackingSlack.
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

// An error of kOMAUArchiveToolFailed unless `tool` exited with 0, saying
// why in words: its first error line, else what its status stands for
// (OMAUToolErrors.h).
lf::Status OMAURequireToolSuccess(const std::string& tool,
                                  const lf::ChildProcess::Termination& ended,
                                  const std::string& errorLine = {});

struct OMAUUnpackingTool {
    std::vector<std::string> arguments;
    // Where the tool unpacks.
    std::filesystem::path folder;
    // How the tool's error line is to name `folder` (the archive's name,
    // where the folder is private); its path when empty.
    std::string folderName;
    OMAUUnpackingLimits limits;
    std::chrono::milliseconds timeLimit = kOMAUToolTimeLimit;
    // An archive handed to the tool's standard input, `fed` told of each
    // piece once handed over; without one the tool reads /dev/null, so it
    // never waits for an answer.
    const lf::FileDescriptor* input = nullptr;
    std::function<void(uint64_t)> fed;
    // Called as the watch takes in a change, with the name it concerns
    // (OMAUUnpackedLengthWatch::setChangeHook): tests look at the tool then.
    std::function<void(std::string_view name)> changeHook;
};

struct OMAUUnpackingOutcome {
    lf::ChildProcess::Termination termination;
    // Whether it was stopped because its entries passed the limits.
    bool stoppedAtLimit = false;
    // The first line of its error output, `folder` named as told.
    std::string errorLine;
};

// Runs the tool until it ends or its entries pass the limits; an error of
// kOMAUArchiveToolFailed when it stopped or ran out of time instead.
lf::Result<OMAUUnpackingOutcome> OMAURunUnpackingTool(const OMAUUnpackingTool& tool);
