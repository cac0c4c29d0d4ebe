#pragma once
// ChildProcess: a program started by its argument vector (no shell),
// waited for with a deadline, and reaped. The destructor kills a child
// that is still running (its whole process group when it leads one) and
// reaps it, so no child outlives its owner as a zombie.
//
// A child whose status cannot be read (it was reaped elsewhere: where
// SIGCHLD is ignored, the kernel reaps every child as it ends) ended in a
// way nobody knows, which is never success.
//
// Move-only; one thread at a time.

#include "platform/core/Result.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace lf {

class ChildProcess {
public:
    struct Options {
        // argv; arguments[0] is the program.
        std::vector<std::string> arguments;
        // Look the program up in PATH when it names no folder.
        bool searchPath = false;
        // Descriptors of ours to hand over: (our descriptor, the child's number).
        std::vector<std::pair<int, int>> descriptors;
        // "NAME=value" entries that replace or join our environment.
        std::vector<std::string> environment;
        // Lead a new process group, so that kill() reaches its children too.
        bool newProcessGroup = false;
        // Lead a new session, and so a new process group, without a
        // controlling terminal: the child and its own children cannot
        // open a terminal to ask for anything, nor be stopped by one.
        bool newSession = false;
        // Killed (SIGKILL) as soon as the thread that spawns it ends, and
        // so when this process ends, however it ends (a quit, a crash,
        // SIGKILL): for a child that must not go on without us. Spawn it
        // from a thread that outlives it. Its own children are not
        // reached; they end as it goes only where they depend on it.
        bool diesWithParent = false;
        // With diesWithParent and newProcessGroup (not newSession): the
        // child's whole group goes too, stopped or running, when this
        // process ends, whoever its processes are children of by then,
        // and when the child ends or is killed. The kernel hangs up a
        // stopped group that its parents' end orphans, but a child
        // subreaper of our session above us (a container's init, some
        // launchers) adopts the group and keeps it from being orphaned,
        // and the parent-death signal reaches the child alone. So a
        // keeper process stands in the group (ChildProcessKeeper.h): its
        // presence keeps the group's number from being anyone else's, and
        // it kills the group as this process goes.
        bool groupDiesWithParent = false;
        // With diesWithParent: asked every few milliseconds, while the
        // start is awaited from the helper that binds the child (and from
        // the group's keeper), whether to go on waiting. A helper program
        // that is not ours may run the program without a word and keep
        // the wait going for as long as the program runs; once this
        // answers false, the child is killed with its group, and the
        // spawn fails with ECANCELED. Unset, the wait lasts until the word.
        std::function<bool()> keepWaitingForStart;
    };

    // How a child ended, from waitpid's status; none when that could not
    // be read.
    struct Termination {
        std::optional<int> status;
        bool exited() const;
        int exitCode() const;
        // Whether it exited with 0.
        bool succeeded() const { return exited() && exitCode() == 0; }
        bool killedBy(int signal) const;
        // "exited with status 2", "was killed by signal 9".
        std::string description() const;
    };

    static Result<ChildProcess> spawn(const Options& options);

    ChildProcess(ChildProcess&& other) noexcept
        : pid_(std::exchange(other.pid_, -1)),
          leadsGroup_(other.leadsGroup_),
          keeper_(std::exchange(other.keeper_, -1)) {}
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { kill(); }

    pid_t pid() const { return pid_; }

    // Waits until the child ends or `deadline` passes, asking `keepWaiting`
    // (when given) every few milliseconds whether to go on. None when the
    // wait stopped first; the child then still runs. A child already
    // reaped gives a termination without status.
    std::optional<Termination> waitUntil(std::chrono::steady_clock::time_point deadline,
                                         const std::function<bool()>& keepWaiting = {});
    // Whether the child is stopped (by SIGSTOP, say) rather than running
    // or ended; asking leaves it as it is.
    bool stopped() const;
    // Gives the child `grace` to end by itself, then kills it; reaps it.
    Termination terminate(std::chrono::milliseconds grace);
    // Kills the child now (SIGKILL) and reaps it; nothing once reaped.
    void kill();

private:
    ChildProcess(pid_t pid, bool leadsGroup, pid_t keeper)
        : pid_(pid), leadsGroup_(leadsGroup), keeper_(keeper) {}
    // Once the child is reaped: kills what is left of its group, when a
    // keeper stands in it, and reaps the keeper.
    void endGroup(pid_t group);

    pid_t pid_ = -1;
    bool leadsGroup_ = false;
    // The keeper of the child's group (groupDiesWithParent), or -1.
    pid_t keeper_ = -1;
};

}  // namespace lf
