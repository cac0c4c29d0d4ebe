#include "updater/unpacking/OMAUToolErrors.h"

#include <fmt/format.h>

#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

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
            if (!lineEnded_) lineEnded_ = takeLine();
            return;
        }
        for (ssize_t at = 0; at < length && !lineEnded_; ++at) {
            if (buffer[at] != '\n') {
                if (line_.size() < kOMAUToolErrorLineLimit) line_.push_back(buffer[at]);
            } else {
                lineEnded_ = takeLine();
            }
        }
    }
}

bool OMAUToolErrorLine::takeLine() {
    const std::string_view line = trimmed(line_);
    // 7z lists its warnings under a heading, up to an empty line.
    if (line.empty() || line == "ERRORS:") inWarnings_ = false;
    if (line == "WARNINGS:") inWarnings_ = true;
    const bool error = !line.empty() && !inWarnings_ && !isNotice(line);
    if (!error) line_.clear();
    return error;
}

std::string OMAUToolErrorLine::line() const {
    return std::string(trimmed(line_));
}

std::string OMAUToolFailureReason(const std::string& tool,
                                  const lf::ChildProcess::Termination& ended,
                                  const std::string& errorLine) {
    if (!errorLine.empty()) {
        // "tar: ...", "tar (child): ...".
        const std::string_view rest = errorLine.starts_with(tool)
                                          ? std::string_view(errorLine).substr(tool.size())
                                          : std::string_view();
        const bool namesTool = rest.starts_with(':') || rest.starts_with(" (");
        return namesTool ? errorLine : tool + ": " + errorLine;
    }
    if (!ended.exited()) return fmt::format("{} {}", tool, ended.description());
    if (const char* reason = tool == "unzip" ? unzipReason(ended.exitCode()) : nullptr)
        return tool + " " + reason;
    return fmt::format("{} failed without saying why (exit status {})", tool, ended.exitCode());
}
