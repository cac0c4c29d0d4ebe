#include "platform/processes/StartReport.h"

#include <fmt/format.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lf {
namespace {

// How often `keepWaiting` is asked while no word has come.
constexpr int kAskMilliseconds = 5;

// Why the start failed, as the child's report says; none once the pipe
// closed without a word. A helper of ours writes one error number, in one
// write, which a pipe hands over whole; anything else (more or fewer
// bytes, a number no error has) comes from a program that is not ours.
std::optional<Error> startFailure(int report, const std::string& what) {
    int error = 0;
    char reported[sizeof error + 1] = {};
    ssize_t length;
    while ((length = ::read(report, reported, sizeof reported)) < 0 && errno == EINTR) {
    }
    if (length == 0) return std::nullopt;
    if (length < 0) return Error::posix(errno, what);
    std::memcpy(&error, reported, sizeof error);
    if (length == sizeof error && error > 0 && ::strerrordesc_np(error))
        return Error::posix(error, what);
    return Error(kPOSIXErrorDomain, EPROTO,
                 {{kLocalizedDescriptionKey,
                   fmt::format("{}: the start's report is no error number", what)}});
}

// Whether the word came (or the pipe closed) before `keepWaiting` gave up.
bool wordCame(int report, const std::function<bool()>& keepWaiting) {
    for (;;) {
        pollfd ready{report, POLLIN, 0};
        const int result = ::poll(&ready, 1, keepWaiting ? kAskMilliseconds : -1);
        // A poll that fails for good leaves the read to wait.
        if (result > 0 || (result < 0 && errno != EINTR)) return true;
        if (keepWaiting && !keepWaiting()) return false;
    }
}

void reap(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

Result<pid_t> awaitStart(const FileDescriptor& report, pid_t pid, const std::string& what,
                         const std::function<bool()>& keepWaiting, bool leadsGroup) {
    const std::optional<Error> failure = wordCame(report.get(), keepWaiting)
                                             ? startFailure(report.get(), what)
                                             : Error::posix(ECANCELED, what);
    if (!failure) return pid;
    // Never waited out: a helper of ours ends by itself after its report,
    // but whatever else runs in the child's place may go on for ever. Its
    // group goes too, with whatever it started there.
    ::kill(leadsGroup ? -pid : pid, SIGKILL);
    reap(pid);
    return *failure;
}

}  // namespace lf
