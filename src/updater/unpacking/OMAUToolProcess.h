#pragma once
// What running an archive tool takes, listing or unpacking
// (OMAUArchiveTool.h, OMAUUnpackingTool.h): the tool's process, started by
// argument vector without a shell, ending with the thread that starts it
// and so with the application however it ends, and speaking English, so
// that its messages read alike everywhere; the pipes it is handed; and
// when it is given up on.
//
// One thread: the one that starts and waits for the tool.

#include "platform/core/Error.h"
#include "platform/core/Result.h"
#include "platform/files/FileDescriptor.h"
#include "platform/processes/ChildProcess.h"
#include "updater/unpacking/OMAUToolErrors.h"

#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

// How often a tool that writes nothing is asked whether it has ended, or
// is to be given up on.
inline constexpr int kOMAUToolPollMilliseconds = 5;

// Both ends of a pipe, closed on exec and when they go.
struct OMAUPipe {
    lf::FileDescriptor read, write;
    static lf::Result<OMAUPipe> make();
};

// /dev/null, to read from (O_RDONLY) or write to (O_WRONLY).
lf::Result<lf::FileDescriptor> OMAUOpenNull(int access);

// The pipe a tool writes its error output into, our end read for its
// first error line.
struct OMAUErrorOutput {
    lf::FileDescriptor toolEnd;
    OMAUToolErrorLine line;
    static lf::Result<OMAUErrorOutput> make();
};

// Where a tool runs: a listing tool in a session of its own, without a
// terminal; an unpacking tool in a process group of its own within ours,
// so that the kernel weighs it within our share of the processor. Either
// way it leads its group, which goes with it when it is ended early. The
// unpacking tool's whole group, which the watch holds stopped at times,
// goes with the application too, whoever adopts it (a keeper stands in it:
// ChildProcess::Options::groupDiesWithParent) and as the tool ends.
enum class OMAUToolPlace { OwnSession, OwnGroup };

class OMAUToolTime;

// Starts `arguments` (looked up in PATH) with `descriptors` handed over
// (ours, the tool's number); it is killed when the calling thread ends.
// The wait for its start is bounded by `time` as every other wait for the
// tool is: given up on, the tool, whatever runs in its place, is killed
// with its group and the start refused with the reason, naming `tool`. So
// it is at once when its start is reported failed, or in words that are
// no report (StartReport.h).
lf::Result<lf::ChildProcess> OMAUStartTool(std::vector<std::string> arguments,
                                           std::vector<std::pair<int, int>> descriptors,
                                           OMAUToolPlace place, const OMAUToolTime& time,
                                           const std::string& tool);

// When a tool is given up on: once it stops (it may wait for an answer it
// can never have), once its time is up, or once the unpacking is
// cancelled. Its time runs from this object's making, its start included.
class OMAUToolTime {
public:
    OMAUToolTime(std::chrono::milliseconds limit, std::stop_token stop);

    // Why the running `child` is given up on; none while it may go on.
    std::optional<lf::Error> givenUp(const lf::ChildProcess& child, const std::string& tool) const;
    // Why a tool whose start is awaited is given up on; none while the
    // wait may go on.
    std::optional<lf::Error> givenUpStarting(const std::string& tool) const;

    // Tests set the time the tools' times are counted in through this, so
    // that a tool's start may take a share of its time to the tick; null
    // puts back the steady clock.
    static void setClockForTesting(std::function<std::chrono::steady_clock::time_point()> clock);

private:
    // Why `tool` is given up on once cancelled or once its time is up,
    // which it did not `finish` within.
    std::optional<lf::Error> cancelledOrLate(const std::string& tool, const char* finish) const;

    std::chrono::steady_clock::time_point deadline_;
    std::chrono::milliseconds limit_;
    std::stop_token stop_;
};
