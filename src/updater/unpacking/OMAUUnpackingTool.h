#pragma once
// Running the tool that unpacks an archive, held to limits. Like the
// listing tools (OMAUArchiveTool.h) it is started by argument vector
// without a shell, waits for no answer, and is killed with its process
// group, the run refused, once it stops, runs out of time or the unpacking
// is cancelled. It runs in a process group of its own within the
// application's session, never in the terminal's foreground: one that read
// the terminal all the same would be stopped by it. Its standard output
// goes to /dev/null, its error output to us, read as it comes for its first
// error line.
//
// It runs under prlimit: no file it writes may grow past the limit
// (RLIMIT_FSIZE: the kernel refuses the write, and ends the tool with
// SIGXFSZ). An OMAUUnpackedLengthWatch follows its entries from before it
// starts, on the calling thread: as soon as they pass a limit (entries,
// bytes on disk or depth), checked as each change is counted, the whole
// group is killed. The tool does not outrun the watch, on a busy machine as
// on a quiet one (OMAUToolRestraint.h):
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
// The tool dies with the calling thread, and so with the application
// however it ends (a crash or SIGKILL too), and its whole group, held or
// not, with the application, whatever process adopts it (a child
// subreaper above the application keeps the kernel from hanging up a held
// group: OMAUToolProcess.h); nothing of it outlives the tool's end
// either. A stop of the application
// (SIGSTOP, or Ctrl+Z, which stops its process group) does not reach the
// tool's group: no process stops with another, and the group must stay
// apart for the hold and the kill to reach the tool's children. While the
// application stands still, only the length limit of each file bounds the
// tool; once it goes on, the watch takes in what came meanwhile and stops
// the tool at the limits.
//
// Runs on the calling thread, which the tool does not outlive.

#include "platform/core/Result.h"
#include "platform/files/FileDescriptor.h"
#include "platform/processes/ChildProcess.h"
#include "updater/unpacking/OMAUArchiveTool.h"
#include "updater/unpacking/OMAUUnpackingLimits.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

struct OMAUUnpackingTool {
    std::vector<std::string> arguments;
    // Where the tool unpacks.
    std::filesystem::path folder;
    // How the tool's error line is to name `folder` (the archive's name,
    // where the folder is private); its path when empty.
    std::string folderName;
    OMAUUnpackingLimits limits;
    std::chrono::milliseconds timeLimit = kOMAUToolTimeLimit;
    // Asked for, the tool is killed and the run refused.
    std::stop_token stop;
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
// kOMAUArchiveToolFailed when it stopped or ran out of time instead, and
// of ECANCELED when it was cancelled.
lf::Result<OMAUUnpackingOutcome> OMAURunUnpackingTool(const OMAUUnpackingTool& tool);
