// The keeper runs in a forked copy of this process, which may hold other
// threads' locks: it makes async-signal-safe calls only, and exits with
// _exit, never running anything of ours.

#include "platform/processes/ChildProcessKeeper.h"

#include "platform/files/FileDescriptor.h"
#include "platform/processes/ForkedStart.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lf {
namespace {

// Closes every descriptor: the keeper must hold no pipe or file of ours
// open (a tool waiting for the end of its input would never see it).
// `openLimit` bounds the numbers where close_range is not there.
void closeEverything(long openLimit) {
    if (::syscall(SYS_close_range, 0u, ~0u, 0u) == 0) return;
    for (int descriptor = 0; descriptor < openLimit; ++descriptor)
        ::close(descriptor);
}

// In the forked keeper, every signal blocked from before the fork.
[[noreturn]] void keep(pid_t group, pid_t parent, int report, long openLimit) {
    if (::setpgid(0, group) != 0) reportStartFailure(report);
    // Set first, then checked: a parent that ended before it was set sends
    // nothing, and the keeper, adopted meanwhile, sees another parent.
    if (::prctl(PR_SET_PDEATHSIG, SIGCONT) != 0) reportStartFailure(report);
    closeEverything(openLimit);
    sigset_t wake;
    sigemptyset(&wake);
    sigaddset(&wake, SIGCONT);
    // SIGCONT also comes each time the group is let go on after a hold.
    while (::getppid() == parent)
        ::sigwaitinfo(&wake, nullptr);
    // SIGKILL ends a stopped process too, without letting it run first.
    ::kill(-group, SIGKILL);
    ::_exit(0);
}

}  // namespace

Result<pid_t> startGroupKeeper(pid_t group) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return Error::posix(errno, "start the group's keeper");
    FileDescriptor report(ends[0]), reporting(ends[1]);
    const pid_t parent = ::getpid();
    const long openLimit = ::sysconf(_SC_OPEN_MAX);
    const int reportingEnd = reporting.get();
    return forkAndAwaitStart(
        report, reporting, [=] { keep(group, parent, reportingEnd, openLimit); },
        "start the group's keeper");
}

}  // namespace lf
