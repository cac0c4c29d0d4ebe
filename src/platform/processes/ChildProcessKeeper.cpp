// The keeper is started with posix_spawn, as every child is, so that
// nothing of this process is copied (see ChildProcessSpawn.cpp).

#include "platform/processes/ChildProcessKeeper.h"

#include "platform/files/FileDescriptor.h"
#include "platform/processes/HelperPrograms.h"
#include "platform/processes/SpawnSetting.h"
#include "platform/processes/StartReport.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

extern char** environ;

namespace lf {
namespace {

// Where the keeper finds the pipe it reports through (GroupKeeperMain.cpp).
constexpr int kKeeperReport = 3;

}  // namespace

Result<pid_t> startGroupKeeper(pid_t group, const std::function<bool()>& keepWaiting) {
    const std::string what = "start the group's keeper";
    std::string program = helperProgramPath(kGroupKeeper);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return Error::posix(errno, what);
    FileDescriptor report(ends[0]);
    // Above the number the keeper takes it under, so that handing it over
    // copies it there, without close-on-exec.
    FileDescriptor reporting(::fcntl(ends[1], F_DUPFD_CLOEXEC, kKeeperReport + 1));
    ::close(ends[1]);
    if (!reporting.isOpen()) return Error::posix(errno, what);

    SpawnSetting setting;
    posix_spawn_file_actions_adddup2(&setting.actions, reporting.get(), kKeeperReport);
    posix_spawn_file_actions_addclosefrom_np(&setting.actions, kKeeperReport + 1);
    // Every signal blocked, as the keeper waits for the one it takes;
    // that one at its usual action, whatever a launcher left ignored.
    sigset_t all, keeperWaitsFor;
    sigfillset(&all);
    sigemptyset(&keeperWaitsFor);
    sigaddset(&keeperWaitsFor, SIGCONT);
    posix_spawnattr_setsigmask(&setting.attributes, &all);
    posix_spawnattr_setsigdefault(&setting.attributes, &keeperWaitsFor);
    posix_spawnattr_setpgroup(&setting.attributes, group);
    posix_spawnattr_setflags(&setting.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                      POSIX_SPAWN_SETPGROUP);
    std::string groupText = std::to_string(group), parentText = std::to_string(::getpid());
    char* arguments[] = {program.data(), groupText.data(), parentText.data(), nullptr};
    pid_t keeper = -1;
    const int failure = posix_spawn(&keeper, program.c_str(), &setting.actions, &setting.attributes,
                                    arguments, environ);
    if (failure != 0) return Error::posix(failure, what + " " + program);
    reporting = FileDescriptor();
    return awaitStart(report, keeper, what, keepWaiting);
}

}  // namespace lf
