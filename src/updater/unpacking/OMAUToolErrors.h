#pragma once
// What an archive tool says when it fails, for the refusal to give its
// reason in words a person can act on: the first error it writes to its
// error output, read as it comes and bounded, whole, or, where it says
// nothing (unzip, told the empty password, passes over an encrypted entry
// without a word), the reason its exit status stands for. Lines that say
// no error are passed over: tar's notice that it takes the leading "/" off
// names, unzip's heading naming the archive and its warnings ("warning
// [x.zip]:  4000 extra bytes at beginning or within zipfile", with the
// indented lines that go on with them), 7z's "ERRORS:" heading and the
// warnings it lists under "WARNINGS:". An error is a whole sentence: unzip
// and bzip2 wrap theirs, going on in an indented line, which is taken in
// up to the sentence's end. Where 7z cannot open an archive it names the
// archive on an "ERROR:" line and says why on a later "Open ERROR:" line,
// which is the error then. The tools' error output never reaches the
// application's own.
//
// One thread at a time.

#include "platform/files/FileDescriptor.h"
#include "platform/processes/ChildProcess.h"

#include <cstddef>
#include <string>
#include <string_view>

// The longest error line kept; a longer one is cut there.
inline constexpr size_t kOMAUToolErrorLineLimit = 1024;

class OMAUToolErrorLine {
public:
    // Reads the end of the pipe the tool writes its error output into.
    explicit OMAUToolErrorLine(lf::FileDescriptor pipe);

    // The pipe's end, for poll(); -1 once every writer has closed it.
    int descriptor() const { return pipe_.get(); }
    // Takes in what the tool has written so far, without waiting; what
    // follows the first error is read and let go, so the tool never waits
    // on a full pipe.
    void read();
    // The first error, whole, without the blanks around it.
    std::string line() const { return error_; }

private:
    // Takes in a line of the tool's error output, its end taken off.
    void take(std::string_view line);
    // Takes in a line that follows the error: the rest of its sentence, or
    // 7z's reason for an archive it cannot open.
    void goOn(std::string_view line, bool indented);

    lf::FileDescriptor pipe_;
    // The line being read.
    std::string pending_;
    std::string error_;
    // Whether nothing that follows changes the error any more.
    bool settled_ = false;
    // Whether the lines are 7z's warnings, or go on with unzip's.
    bool inWarnings_ = false;
    bool inWarning_ = false;
};

// Why `tool` ended as it did, in words: its error line, named after the
// tool unless it names who said it already ("tar: a: Cannot open: File
// name too long", "tar (child): ...", "7z: ERROR: ...", or, from the
// decompressor tar runs, "gzip: stdin: unexpected end of file"), else the
// reason its status stands for ("unzip passed over an entry it could not
// unpack: encrypted, ...").
std::string OMAUToolFailureReason(const std::string& tool,
                                  const lf::ChildProcess::Termination& ended,
                                  const std::string& errorLine);

// Whether `tool` only warned: unzip ends with status 1 for a warning too
// (bytes before the first entry, as self-extracting archives have) as
// for an entry it passed over; with no error said, only what it left
// tells which.
bool OMAUToolOnlyWarned(const std::string& tool, const lf::ChildProcess::Termination& ended,
                        const std::string& errorLine);
