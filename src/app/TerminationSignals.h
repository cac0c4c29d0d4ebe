#pragma once
// SIGTERM, SIGINT and SIGHUP end the process as a quit does: the commit of
// outputs under way ends first (AtomicFileSet::finishCommitsBeforeExit,
// which also holds every later one), so that its folder holds one whole
// version, then what the caller still has to note of the commits is noted,
// and then the process dies of the signal, with the status that whoever
// sent it expects. Without a commit under way it dies at once.
//
// The handler only writes the signal's number to a pipe; a thread of its
// own reads it, waits for the commit and raises the signal again with its
// default action. No signal is blocked, and handlers fall back to the
// default action when a child runs its program, so the tools the
// application starts are untouched; a forked child that gets one of these
// signals before it runs its program dies of it, as it would after. A
// signal that the launcher left ignored (nohup) stays ignored.
//
// Threads: called once, by main, before the launch runs.

#include <functional>

namespace lf {

// Installs the handlers and starts the thread that ends the process; a
// later call does nothing. `afterCommits`, when given, runs on that thread
// once the commits are done, before the process dies; it must return
// within a bounded time. When the pipe or the thread cannot be made, the
// signals keep their default action (a line on the log says so).
void endOnTerminationSignalsAfterCommits(std::function<void()> afterCommits = {});

}  // namespace lf
