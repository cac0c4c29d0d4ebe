// layerflow-relaunch PID EXECUTABLE FOLDER
//
// Started by the updater just before the application quits: goes on in the
// background on its own, waits (at most 600 seconds) until the process PID
// has ended, removes FOLDER (the update's download folder) and, when the
// process did end, starts EXECUTABLE, the newly installed application.

#include "updater/walks/OMAUScratchFolders.h"

#include <fmt/format.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <string_view>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr auto kLongestWait = std::chrono::seconds(600);

bool isRunning(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// Whether `pid` ended within the longest wait.
bool waitForExit(pid_t pid) {
    // A process descriptor wakes us the moment the process ends and cannot
    // be confused with a later process given the same number.
    const int descriptor = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (descriptor >= 0) {
        pollfd ended{descriptor, POLLIN, 0};
        const auto deadline = std::chrono::steady_clock::now() + kLongestWait;
        int ready = 0;
        while (ready == 0 || (ready < 0 && errno == EINTR)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            ready = ::poll(&ended, 1, static_cast<int>(left.count()));
        }
        ::close(descriptor);
        return ready > 0;
    }
    if (errno == ESRCH) return true;
    for (auto waited = std::chrono::milliseconds(0); waited < kLongestWait;
         waited += std::chrono::milliseconds(200)) {
        if (!isRunning(pid)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return !isRunning(pid);
}

}  // namespace

int main(int argc, char** argv) {
    pid_t pid = 0;
    if (argc != 4 ||
        std::from_chars(argv[1], argv[1] + std::string_view(argv[1]).size(), pid).ec !=
            std::errc() ||
        pid <= 0) {
        fmt::print(stderr, "usage: {} PID EXECUTABLE FOLDER\n", argv[0]);
        return 2;
    }
    // The starter reaps this process at once; the waiting goes on in a
    // child of its own session, which outlives the application.
    const pid_t waiter = ::fork();
    if (waiter < 0) return 1;
    if (waiter > 0) return 0;
    ::setsid();

    const bool ended = waitForExit(pid);
    OMAURemoveQuietly(argv[3]);
    if (!ended) return 1;
    ::execl(argv[2], argv[2], static_cast<char*>(nullptr));
    fmt::print(stderr, "{}: could not start {}\n", argv[0], argv[2]);
    return 1;
}
