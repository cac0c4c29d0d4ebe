#include "platform/processes/ForkedStart.h"

#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lf {
namespace {

// The errno the child reported, or 0 once the pipe closed without a word.
int startFailure(int report) {
    int error = 0;
    ssize_t length;
    while ((length = ::read(report, &error, sizeof error)) < 0 && errno == EINTR) {
    }
    return length == sizeof error ? error : 0;
}

void reap(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

Result<pid_t> forkAndAwaitStart(const FileDescriptor& report, FileDescriptor& reporting,
                                const std::function<void()>& child, const std::string& what) {
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = ::fork();
    if (pid == 0) {
        child();
        ::_exit(127);
    }
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    reporting = FileDescriptor();
    if (pid < 0) return Error::posix(forkError, what);
    return awaitStart(report, pid, what);
}

Result<pid_t> awaitStart(const FileDescriptor& report, pid_t pid, const std::string& what) {
    const int failure = startFailure(report.get());
    if (failure == 0) return pid;
    reap(pid);
    return Error::posix(failure, what);
}

void reportStartFailure(int report) {
    const int error = errno;
    static_cast<void>(!::write(report, &error, sizeof error));
    ::_exit(127);
}

}  // namespace lf
