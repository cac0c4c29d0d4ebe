#include "updater/unpacking/OMAUToolErrors.h"

#include <fmt/format.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char* kBlanks = " \t\r";

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
        // The end, once every writer has closed it (or it cannot be read).
        if (length <= 0) {
            pipe_ = lf::FileDescriptor();
            return;
        }
        for (ssize_t at = 0; at < length && !lineEnded_; ++at) {
            if (buffer[at] != '\n') {
                if (line_.size() < kOMAUToolErrorLineLimit) line_.push_back(buffer[at]);
            } else if (line_.find_first_not_of(kBlanks) == std::string::npos) {
                line_.clear();
            } else {
                lineEnded_ = true;
            }
        }
    }
}

std::string OMAUToolErrorLine::line() const {
    const size_t start = line_.find_first_not_of(kBlanks);
    if (start == std::string::npos) return {};
    return line_.substr(start, line_.find_last_not_of(kBlanks) + 1 - start);
}

std::string OMAUToolFailureReason(const std::string& tool,
                                  const lf::ChildProcess::Termination& ended,
                                  const std::string& errorLine) {
    if (!errorLine.empty())
        return errorLine.rfind(tool + ":", 0) == 0 ? errorLine : tool + ": " + errorLine;
    if (!ended.exited()) return fmt::format("{} {}", tool, ended.description());
    if (const char* reason = tool == "unzip" ? unzipReason(ended.exitCode()) : nullptr)
        return tool + " " + reason;
    return fmt::format("{} failed without saying why (exit status {})", tool, ended.exitCode());
}
