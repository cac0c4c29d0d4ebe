#pragma once
// Keeping an unpacking tool from outrunning the watch that counts what it
// writes (OMAUUnpackedLengthWatch, OMAUUnpackingTool.h). A tool that runs on
// a processor of its own goes on writing while the watch waits for one, on
// a busy machine for hundreds of megabytes; so the watching thread pins
// itself to its processor while the tool runs, which the tool, started
// from it, inherits with its children, and holds the tool's whole process
// group while it takes in its changes.
//
// One thread: the one that starts and watches the tool.

#include <sched.h>
#include <sys/types.h>

// Pins the calling thread to the processor it runs on, for as long as it
// lives; then the thread may run wherever it could before. Where the
// system refuses, the thread runs as before.
class OMAUProcessorPin {
public:
    OMAUProcessorPin();
    ~OMAUProcessorPin();
    OMAUProcessorPin(const OMAUProcessorPin&) = delete;
    OMAUProcessorPin& operator=(const OMAUProcessorPin&) = delete;

private:
    cpu_set_t previous_;
    bool pinned_ = false;
};

// Holds the process group `group` (SIGSTOP) for as long as it lives, then
// lets it go on (SIGCONT), unless it is to be ended held.
class OMAUGroupHold {
public:
    explicit OMAUGroupHold(pid_t group);
    ~OMAUGroupHold();
    OMAUGroupHold(const OMAUGroupHold&) = delete;
    OMAUGroupHold& operator=(const OMAUGroupHold&) = delete;

    // Leaves the group held as this goes: for a group about to be killed,
    // which must not write on meanwhile.
    void keepHeld() { held_ = false; }

private:
    pid_t group_;
    bool held_;
};
