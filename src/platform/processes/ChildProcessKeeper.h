#pragma once
// The keeper of a child's process group (ChildProcess::Options::
// groupDiesWithParent): a small program of its own, layerflow-group-keeper
// (GroupKeeperMain.cpp), started without a copy of this process (no fork),
// so that its memory stays a few pages however large this process grows.
// It joins the group and waits. As long as it is there, the group's
// number is taken, so it can never name another group. When the process
// that started it ends (the kernel tells it with the parent-death signal,
// SIGCONT, which also wakes it when the group is held with SIGSTOP), it
// kills the whole group, stopped members too, and itself with it. It holds
// no descriptor of ours and runs no handler.
//
// The program is found as HelperPrograms.h says; without it no keeper
// starts, and so no child that needs one.
//
// Called on the thread that waits for the child.

#include "platform/core/Result.h"

#include <functional>
#include <sys/types.h>

namespace lf {

// Starts the keeper of `group`, a process group led by a child of ours in
// our session that has not been reaped; its process id once it is in the
// group and keeps it. `keepWaiting` is asked while that is awaited, as
// awaitStart says.
Result<pid_t> startGroupKeeper(pid_t group, const std::function<bool()>& keepWaiting = {});

}  // namespace lf
