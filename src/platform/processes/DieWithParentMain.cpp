// layerflow-die-with-parent PARENT REPORT PATH ARGV0 [ARGUMENT...]: runs
// the program at PATH, with ARGV0 and the arguments as its argument
// vector, bound to be killed (SIGKILL) as the thread of PARENT that
// started it ends (ChildProcess::Options::diesWithParent).
//
// That binding, the kernel's parent-death signal, can only be set by the
// child itself, and it stays across exec. Setting it here, in a program of
// its own, lets the child be started with posix_spawn: a fork would copy
// the starter, page tables and commit charge of all its memory, however
// large, only to replace the copy at once.
//
// PARENT starts it with all the program is to have (descriptors, signals,
// process group or session, environment), and with the writing end of a
// pipe as descriptor REPORT: it writes the errno of a step that failed
// there and exits with status 127; the pipe closes without a word as the
// program starts. Should PARENT have ended before the binding, it exits
// with status 127 and runs nothing. It uses nothing but the C library.

#include "platform/processes/HelperMain.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    const int report =
        argc >= 5 ? static_cast<int>(lf::helper::positiveNumber(argv[2], INT_MAX)) : 0;
    if (report == 0) ::_exit(127);
    const pid_t parent = lf::helper::processId(argv[1]);
    if (parent == 0) {
        errno = EINVAL;
        lf::helper::reportFailure(report);
    }
    if (::fcntl(report, F_SETFD, FD_CLOEXEC) != 0) lf::helper::reportFailure(report);
    // Set first, then checked: a parent that ended before it was set sends
    // nothing, and this process, adopted meanwhile, sees another parent.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) lf::helper::reportFailure(report);
    if (::getppid() != parent) ::_exit(127);
    ::execv(argv[3], argv + 4);
    lf::helper::reportFailure(report);
}
