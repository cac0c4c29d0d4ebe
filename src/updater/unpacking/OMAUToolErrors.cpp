#include "updater/unpacking/OMAUToolErrors.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <string_view>
#include <unistd.h>
#include <utility>

namespace {

constexpr const char* kBlanks = " \t\r";

std::string_view trimmed(std::string_view line) {
    const size_t start = line.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) return {};
    return line.substr(start, line.find_last_not_of(kBlanks) + 1 - start);
}

// A line that says no error: a heading, or a notice of something done.
bool isNotice(std::string_view line) {
    return line == "ERRORS:" || line == "WARNINGS:" ||
           // unzip names the archive before what it found in it.
           (line.starts_with('[') && line.ends_with(']')) ||
           (line.find("Removing leading ") != std::string_view::npos &&
            (line.ends_with(" from member names") || line.ends_with(" from hard link targets")));
}

// unzip's warnings ("warning [x.zip]:  4000 extra bytes at beginning or
// within zipfile", "warning:  stripped absolute path spec from /a").
bool isWarning(std::string_view line) {
    return line.starts_with("warning [") || line.starts_with("warning:");
}

bool endsSentence(char c) {
    return c == '.' || c == '?' || c == '!';
}

// Where the sentence that `text` goes on with ends: after its first '.',
// '?' or '!' that a blank or the end follows; npos when it goes on further.
size_t sentenceEnd(std::string_view text) {
    for (size_t at = 0; at < text.size(); ++at)
        if (endsSentence(text[at]) &&
            (at + 1 == text.size() || text[at + 1] == ' ' || text[at + 1] == '\t'))
            return at + 1;
    return std::string_view::npos;
}

// The programs tar runs to decompress the kinds it unpacks
// (OMAUTarCompressionOption), which name themselves in their lines.
constexpr std::string_view kDecompressors[] = {"gzip", "bzip2"};

// Whether `line` begins with who said it: `tool` ("tar: ...", "tar
// (child): ...") or, for tar, a decompressor it runs ("gzip: ...").
bool namesItsSayer(const std::string& tool, std::string_view line) {
    const auto names = [&](std::string_view program) {
        if (!line.starts_with(program)) return false;
        const std::string_view rest = line.substr(program.size());
        return rest.starts_with(':') || rest.starts_with(" (");
    };
    return names(tool) || (tool == "tar" && std::any_of(std::begin(kDecompressors),
                                                        std::end(kDecompressors), names));
}

// What unzip's statuses stand for where it says nothing itself (unzip(1)).
const char* unzipReason(int status) {
    switch (status) {
        case 1:
            return "passed over an entry it could not unpack: encrypted with a password, or "
                   "compressed in a way it does not know";
        case 2:
        case 3:
            return "found the archive damaged";
        case 50:
            return "ran out of room on the disk";
        case 51:
            return "found the archive cut short";
        case 81:
            return "met an entry compressed or encrypted in a way it does not know";
        case 82:
            return "could unpack nothing: every entry needs a password";
        default:
            return nullptr;
    }
}

}  // namespace

OMAUToolErrorLine::OMAUToolErrorLine(lf::FileDescriptor pipe) : pipe_(std::move(pipe)) {
    ::fcntl(pipe_.get(), F_SETFL, O_NONBLOCK);
}

void OMAUToolErrorLine::read() {
    char buffer[4096];
    while (pipe_.isOpen()) {
        const ssize_t length = ::read(pipe_.get(), buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) continue;
        if (length < 0 && errno == EAGAIN) return;
        // The end, once every writer has closed it (or it cannot be read);
        // a last line may have no end of its own.
        if (length <= 0) {
            pipe_ = lf::FileDescriptor();
            if (!pending_.empty()) take(std::exchange(pending_, {}));
            return;
        }
        for (ssize_t at = 0; at < length && !settled_; ++at) {
            if (buffer[at] != '\n') {
                if (pending_.size() < kOMAUToolErrorLineLimit) pending_.push_back(buffer[at]);
            } else {
                take(std::exchange(pending_, {}));
            }
        }
    }
}

void OMAUToolErrorLine::take(std::string_view raw) {
    const bool indented = raw.starts_with(' ') || raw.starts_with('\t');
    const std::string_view line = trimmed(raw);
    if (!error_.empty()) return goOn(line, indented);
    // 7z lists its warnings under a heading, up to an empty line; unzip's
    // go on in the indented lines that follow them.
    if (line.empty() || line == "ERRORS:") inWarnings_ = false;
    if (line == "WARNINGS:") inWarnings_ = true;
    if (isWarning(line)) {
        inWarning_ = true;
        return;
    }
    if (inWarning_ && indented && !line.empty()) return;
    inWarning_ = false;
    if (!line.empty() && !inWarnings_ && !isNotice(line)) error_ = line;
}

void OMAUToolErrorLine::goOn(std::string_view line, bool indented) {
    if (settled_) return;
    // 7z's line naming an archive it cannot open waits for why, up to the
    // end of its block.
    if (error_.starts_with("ERROR: ")) {
        const bool why = line.starts_with("Open ERROR: ");
        if (why) error_ = line;
        settled_ = why || line.empty();
        return;
    }
    if (endsSentence(error_.back()) || !indented || line.empty()) {
        settled_ = true;
        return;
    }
    const size_t end = sentenceEnd(line);
    error_ += ' ';
    error_ += line.substr(0, end);
    if (error_.size() > kOMAUToolErrorLineLimit) error_.resize(kOMAUToolErrorLineLimit);
    settled_ = end != std::string_view::npos;
}

std::string OMAUToolFailureReason(const std::string& tool,
                                  const lf::ChildProcess::Termination& ended,
                                  const std::string& errorLine) {
    if (!errorLine.empty())
        return namesItsSayer(tool, errorLine) ? errorLine : tool + ": " + errorLine;
    if (!ended.exited()) return fmt::format("{} {}", tool, ended.description());
    if (const char* reason = tool == "unzip" ? unzipReason(ended.exitCode()) : nullptr)
        return tool + " " + reason;
    return fmt::format("{} failed without saying why (exit status {})", tool, ended.exitCode());
}

bool OMAUToolOnlyWarned(const std::string& tool, const lf::ChildProcess::Termination& ended,
                        const std::string& errorLine) {
    return tool == "unzip" && ended.exited() && ended.exitCode() == 1 && errorLine.empty();
}
