// layerflow-group-keeper GROUP PARENT: the keeper of a child's process
// group (ChildProcessKeeper.h), a program of its own so that it holds
// nothing of its starter's memory, however large that is.
//
// PARENT starts it already in the group GROUP, with every signal blocked,
// and with the writing end of a pipe as descriptor 3: the keeper writes
// the errno of a step that failed there and exits with status 127, or
// closes it without a word once it keeps the group. It then holds no
// descriptor at all (a tool waiting for the end of its input would never
// see it) and runs no handler: it waits for the parent-death signal,
// SIGCONT, which also comes each time the group is let go on after a hold.
// As PARENT ends, it kills the whole group, stopped members too, and
// itself with it. It uses nothing but the C library.

#include "platform/processes/HelperMain.h"

#include <cerrno>
#include <csignal>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kReport = 3;

void closeEverything() {
    if (::syscall(SYS_close_range, 0u, ~0u, 0u) == 0) return;
    const long openLimit = ::sysconf(_SC_OPEN_MAX);
    for (int descriptor = 0; descriptor < openLimit; ++descriptor)
        ::close(descriptor);
}

}  // namespace

int main(int argc, char** argv) {
    const pid_t group = argc == 3 ? lf::helper::processId(argv[1]) : 0;
    const pid_t parent = argc == 3 ? lf::helper::processId(argv[2]) : 0;
    if (group == 0 || parent == 0) {
        errno = EINVAL;
        lf::helper::reportFailure(kReport);
    }
    // Set first, then checked: a parent that ended before it was set sends
    // nothing, and the keeper, adopted meanwhile, sees another parent.
    if (::prctl(PR_SET_PDEATHSIG, SIGCONT) != 0) lf::helper::reportFailure(kReport);
    closeEverything();
    sigset_t wake;
    sigemptyset(&wake);
    sigaddset(&wake, SIGCONT);
    while (::getppid() == parent)
        ::sigwaitinfo(&wake, nullptr);
    // SIGKILL ends a stopped process too, without letting it run first.
    ::kill(-group, SIGKILL);
    return 0;
}
