#include "platform/processes/StartReport.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lf {
namespace {

// How often `keepWaiting` is asked while no word has come.
constexpr int kAskMilliseconds = 5;

// The errno the child reported, or 0 once the pipe closed without a word.
int startFailure(int report) {
    int error = 0;
    ssize_t length;
    while ((length = ::read(report, &error, sizeof error)) < 0 && errno == EINTR) {
    }
    return length == sizeof error ? error : 0;
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
    if (!wordCame(report.get(), keepWaiting)) {
        // Its group too: whatever runs in the child's place, with its own
        // children, goes.
        ::kill(leadsGroup ? -pid : pid, SIGKILL);
        reap(pid);
        return Error::posix(ECANCELED, what);
    }
    const int failure = startFailure(report.get());
    if (failure == 0) return pid;
    reap(pid);
    return Error::posix(failure, what);
}

}  // namespace lf
