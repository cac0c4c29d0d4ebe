#include "platform/processes/StartReport.h"

#include <cerrno>
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

Result<pid_t> awaitStart(const FileDescriptor& report, pid_t pid, const std::string& what) {
    const int failure = startFailure(report.get());
    if (failure == 0) return pid;
    reap(pid);
    return Error::posix(failure, what);
}

}  // namespace lf
