#pragma once
// What an archive tool says when it fails, for the refusal to give its
// reason in words: the first error line it writes to its error output,
// read as it comes and bounded, or, where it says nothing (unzip, told the
// empty password, passes over an encrypted entry without a word), the
// reason its exit status stands for. Lines that say no error are passed
// over: tar's notice that it takes the leading "/" off names, unzip's
// heading naming the archive, 7z's "ERRORS:" heading and the warnings it
// lists under "WARNINGS:". The tools' error output never reaches the
// application's own.
//
// One thread at a time.

#include "platform/ChildProcess.h"
#include "platform/FileDescriptor.h"

#include <cstddef>
#include <string>

// The longest error line kept; a longer one is cut there.
inline constexpr size_t kOMAUToolErrorLineLimit = 1024;

class OMAUToolErrorLine {
public:
    // Reads the end of the pipe the tool writes its error output into.
    explicit OMAUToolErrorLine(lf::FileDescriptor pipe);

    // The pipe's end, for poll(); -1 once every writer has closed it.
    int descriptor() const { return pipe_.get(); }
    // Takes in what the tool has written so far, without waiting; what
    // follows the first error line is read and let go, so the tool never
    // waits on a full pipe.
    void read();
    // The first error line, without the blanks around it.
    std::string line() const;

private:
    // Whether the line just ended is the error line; else it is let go.
    bool takeLine();

    lf::FileDescriptor pipe_;
    std::string line_;
    bool lineEnded_ = false;
    bool inWarnings_ = false;
};

// Why `tool` ended as it did, in words: its error line, named after the
// tool unless it names it already ("tar: a: Cannot open: File name too
// long", "tar (child): ...", "7z: ERROR: ..."), else the reason its status
// stands for ("unzip passed over an entry it could not unpack: encrypted,
// ...").
std::string OMAUToolFailureReason(const std::string& tool,
                                  const lf::ChildProcess::Termination& ended,
                                  const std::string& errorLine);
