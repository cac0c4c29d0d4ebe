#include "platform/ChildProcess.h"

#include <fmt/format.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace lf {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(5);

struct FileActions {
    posix_spawn_file_actions_t actions;
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
};

struct SpawnAttributes {
    posix_spawnattr_t attributes;
    SpawnAttributes() { posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
};

std::string variableName(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

// Our environment with the entries replaced or added.
std::vector<std::string> childEnvironment(const std::vector<std::string>& entries) {
    std::vector<std::string> environment;
    for (char** variable = environ; variable && *variable; ++variable) {
        std::string entry(*variable);
        bool replaced = false;
        for (const auto& replacement : entries)
            replaced = replaced || variableName(replacement) == variableName(entry);
        if (!replaced) environment.push_back(std::move(entry));
    }
    environment.insert(environment.end(), entries.begin(), entries.end());
    return environment;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& string : strings)
        result.push_back(string.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

bool ChildProcess::Termination::exited() const {
    return WIFEXITED(status);
}

int ChildProcess::Termination::exitCode() const {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ChildProcess::Termination::description() const {
    if (WIFEXITED(status)) return fmt::format("exited with status {}", WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return fmt::format("was killed by signal {}", WTERMSIG(status));
    return fmt::format("ended with wait status {}", status);
}

Result<ChildProcess> ChildProcess::spawn(const Options& options) {
    if (options.arguments.empty()) return Error::posix(EINVAL, "spawn without a program");
    FileActions files;
    for (const auto& [ours, theirs] : options.descriptors)
        posix_spawn_file_actions_adddup2(&files.actions, ours, theirs);

    SpawnAttributes attributes;
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    // The child starts with no signal blocked and the usual actions for the
    // signals that end a program, whatever our threads have set.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes.attributes, &none);
    posix_spawnattr_setsigdefault(&attributes.attributes, &defaults);
    if (options.newSession) {
        flags |= POSIX_SPAWN_SETSID;
    } else if (options.newProcessGroup) {
        flags |= POSIX_SPAWN_SETPGROUP;
        posix_spawnattr_setpgroup(&attributes.attributes, 0);
    }
    posix_spawnattr_setflags(&attributes.attributes, flags);

    std::vector<std::string> arguments = options.arguments;
    std::vector<std::string> environment = childEnvironment(options.environment);
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment);
    pid_t pid = -1;
    int failure = options.searchPath
                      ? posix_spawnp(&pid, argv[0], &files.actions, &attributes.attributes,
                                     argv.data(), envp.data())
                      : posix_spawn(&pid, argv[0], &files.actions, &attributes.attributes,
                                    argv.data(), envp.data());
    if (failure != 0) return Error::posix(failure, "start " + options.arguments[0]);
    return ChildProcess(pid, options.newProcessGroup || options.newSession);
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        kill();
        pid_ = std::exchange(other.pid_, -1);
        leadsGroup_ = other.leadsGroup_;
    }
    return *this;
}

std::optional<ChildProcess::Termination> ChildProcess::waitUntil(
    std::chrono::steady_clock::time_point deadline, const std::function<bool()>& keepWaiting) {
    if (pid_ < 0) return Termination{};
    for (;;) {
        int status = 0;
        pid_t result = ::waitpid(pid_, &status, WNOHANG);
        if (result == pid_ || (result < 0 && errno != EINTR)) {
            pid_ = -1;
            return Termination{status};
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
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return Termination{status};
}

void ChildProcess::kill() {
    if (pid_ >= 0) terminate(std::chrono::milliseconds(0));
}

}  // namespace lf
