#include "platform/processes/ChildProcess.h"

#include <fmt/format.h>

#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace lf {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(5);

}  // namespace

bool ChildProcess::Termination::exited() const {
    return status && WIFEXITED(*status);
}

int ChildProcess::Termination::exitCode() const {
    return exited() ? WEXITSTATUS(*status) : -1;
}

bool ChildProcess::Termination::killedBy(int signal) const {
    return status && WIFSIGNALED(*status) && WTERMSIG(*status) == signal;
}

std::string ChildProcess::Termination::description() const {
    if (!status) return "ended with a status that could not be read";
    if (WIFEXITED(*status)) return fmt::format("exited with status {}", WEXITSTATUS(*status));
    if (WIFSIGNALED(*status)) return fmt::format("was killed by signal {}", WTERMSIG(*status));
    return fmt::format("ended with wait status {}", *status);
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        kill();
        pid_ = std::exchange(other.pid_, -1);
        leadsGroup_ = other.leadsGroup_;
        keeper_ = std::exchange(other.keeper_, -1);
    }
    return *this;
}

std::optional<ChildProcess::Termination> ChildProcess::waitUntil(
    std::chrono::steady_clock::time_point deadline, const std::function<bool()>& keepWaiting) {
    if (pid_ < 0) return Termination{};
    for (;;) {
        int status = 0;
        const pid_t result = ::waitpid(pid_, &status, WNOHANG);
        if (result == pid_) {
            endGroup(std::exchange(pid_, -1));
            return Termination{status};
        }
        // Reaped elsewhere (ECHILD): it has ended, and how is lost.
        if (result < 0 && errno != EINTR) {
            endGroup(std::exchange(pid_, -1));
            return Termination{};
        }
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        if (keepWaiting && !keepWaiting()) return std::nullopt;
        std::this_thread::sleep_for(kPollInterval);
    }
}

bool ChildProcess::stopped() const {
    if (pid_ < 0) return false;
    // WNOWAIT: the stop stays to be reported, and the child to be reaped.
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WSTOPPED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid_ && info.si_code == CLD_STOPPED;
}

ChildProcess::Termination ChildProcess::terminate(std::chrono::milliseconds grace) {
    if (auto ended = waitUntil(std::chrono::steady_clock::now() + grace)) return *ended;
    // Its group too: a helper's own children go with it.
    ::kill(leadsGroup_ ? -pid_ : pid_, SIGKILL);
    int status = 0;
    pid_t result;
    while ((result = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    const bool read = result == pid_;
    endGroup(std::exchange(pid_, -1));
    return read ? Termination{status} : Termination{};
}

void ChildProcess::endGroup(pid_t group) {
    if (keeper_ < 0) return;
    // The keeper is still in the group, so the number is still the
    // child's group: whatever the child left running in it goes too.
    ::kill(-group, SIGKILL);
    int status = 0;
    while (::waitpid(keeper_, &status, 0) < 0 && errno == EINTR) {
    }
    keeper_ = -1;
}

void ChildProcess::kill() {
    if (pid_ >= 0) terminate(std::chrono::milliseconds(0));
}

}  // namespace lf
