#include "app/TerminationSignals.h"

#include "platform/core/Log.h"
#include "platform/files/FileDescriptor.h"
#include "platform/writing/AtomicFileSet.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace lf {
namespace {

constexpr int kTerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};

// What the handler reads: the pipe's writing end, and the process that
// installed it (a forked child shares both until it runs its program).
// Plain atomics, set before the handler is, read without a lock.
std::atomic<int> wakeUpEnd{-1};
std::atomic<pid_t> installer{0};

void setAction(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

// Async-signal-safe calls only.
void onTerminationSignal(int signal) {
    const int savedErrno = errno;
    if (::getpid() != installer.load(std::memory_order_relaxed)) {
        // A forked child that has not run its program yet: it dies as that
        // program would. The signal, blocked while this handler runs, is
        // delivered again once it returns.
        setAction(signal, SIG_DFL);
        ::raise(signal);
    } else {
        const auto number = static_cast<unsigned char>(signal);
        // The end never blocks: a full pipe already holds a signal to end on.
        static_cast<void>(!::write(wakeUpEnd.load(std::memory_order_relaxed), &number, 1));
    }
    errno = savedErrno;
}

// Ends the process by `signal`'s default action, from the calling thread.
[[noreturn]] void dieOf(int signal) {
    setAction(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    // Not reached: each of these signals ends a process by default.
    ::_exit(128 + signal);
}

// The thread's work: the first signal read ends the process once the
// commit under way has ended and `afterCommits` has run. Later ones find
// the pipe unread.
[[noreturn]] void endOnFirstSignal(FileDescriptor readingEnd,
                                   const std::function<void()>& afterCommits) {
    unsigned char number = 0;
    ssize_t length;
    while ((length = ::read(readingEnd.get(), &number, 1)) < 0 && errno == EINTR) {
    }
    // Only a read error, which a pipe we hold both ends of never gives,
    // leaves the number unread: ending by the first signal is still right.
    const int signal = length == 1 ? number : kTerminationSignals[0];
    AtomicFileSet::finishCommitsBeforeExit();
    if (afterCommits) afterCommits();
    dieOf(signal);
}

// The signals the launcher left at their default action; the others
// (ignored, as nohup leaves SIGHUP) stay as they are.
bool isAtDefault(int signal) {
    struct sigaction current {};
    return ::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_DFL;
}

}  // namespace

void endOnTerminationSignalsAfterCommits(std::function<void()> afterCommits) {
    if (installer.load() != 0) return;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        log("*** signals end the process at once: no pipe ({})", std::strerror(errno));
        return;
    }
    FileDescriptor readingEnd(ends[0]);
    // Held for the life of the process, as the handler may write at any
    // moment until it ends.
    const int writingEnd = ends[1];
    ::fcntl(writingEnd, F_SETFL, O_NONBLOCK);
    try {
        std::thread(endOnFirstSignal, std::move(readingEnd), std::move(afterCommits)).detach();
    } catch (const std::system_error& error) {
        ::close(writingEnd);
        log("*** signals end the process at once: no thread ({})", error.what());
        return;
    }
    wakeUpEnd.store(writingEnd);
    installer.store(::getpid());
    for (const int signal : kTerminationSignals)
        if (isAtDefault(signal)) setAction(signal, onTerminationSignal);
}

}  // namespace lf
