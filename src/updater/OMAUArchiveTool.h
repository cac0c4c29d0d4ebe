#pragma once
// Running the archive tools as children of ours, started by argument
// vector without a shell: a listing read from a tool's standard output, and
// an unpacking held to a length.
//
// An unpacking tool runs under prlimit, in a process group of its own. No
// file it writes may grow past the length (RLIMIT_FSIZE: the kernel refuses
// the write), and an OMAUUnpackedLengthWatch follows its files together
// from before it starts: once they pass the length the whole group is
// killed. The files pass the length only by what the tool writes before the
// watch wakes for it, far less than kOMAUUnpackingSlack.
//
// Runs on the calling thread.

#include "platform/ChildProcess.h"
#include "platform/FileDescriptor.h"
#include "platform/Result.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// The standard output of `arguments` when it exits with 0.
lf::Result<std::string> OMAUToolOutput(const std::vector<std::string>& arguments);

// An error of kOMAUArchiveToolFailed unless `tool` exited with 0.
lf::Status OMAURequireToolSuccess(const std::string& tool,
                                  const lf::ChildProcess::Termination& ended);

struct OMAUUnpackingTool {
    std::vector<std::string> arguments;
    // Where the tool unpacks.
    std::filesystem::path folder;
    uint64_t maximumLength = 0;
    // An archive handed to the tool's standard input, `fed` told of each
    // piece once handed over; without one the tool reads /dev/null, so it
    // never waits for an answer.
    const lf::FileDescriptor* input = nullptr;
    std::function<void(uint64_t)> fed;
};

struct OMAUUnpackingOutcome {
    lf::ChildProcess::Termination termination;
    // Whether it was stopped because its files passed the length.
    bool stoppedAtLength = false;
};

// Runs the tool until it ends or is stopped.
lf::Result<OMAUUnpackingOutcome> OMAURunUnpackingTool(const OMAUUnpackingTool& tool);
