// Starting a ChildProcess. posix_spawn, unless the child is to die with
// its parent: that needs the parent-death signal set in the child before
// it runs the program, which only fork and exec allow. Between fork and
// exec the child of a threaded process may make only async-signal-safe
// calls, so everything it needs is made before the fork.

#include "platform/files/FileDescriptor.h"
#include "platform/processes/ChildProcess.h"
#include "platform/processes/ChildProcessKeeper.h"
#include "platform/processes/ForkedStart.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string_view>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace lf {
namespace {

// The signals a child starts with at their usual action, whatever our
// threads have set or a launcher left ignored (ignored signals survive
// exec); it starts with none blocked. SIGXFSZ ends a child that writes
// past its file size limit, which the updater's tools rely on.
constexpr int kSignalsAtDefault[] = {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD, SIGXFSZ};

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

// The argument vector and environment, as exec takes them.
struct Vectors {
    std::vector<std::string> arguments, environment;
    std::vector<char*> argv, envp;

    explicit Vectors(const ChildProcess::Options& options)
        : arguments(options.arguments), environment(childEnvironment(options.environment)) {
        argv = pointers(arguments);
        envp = pointers(environment);
    }
};

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

Result<pid_t> spawnProcess(const ChildProcess::Options& options, Vectors& vectors) {
    FileActions files;
    for (const auto& [ours, theirs] : options.descriptors)
        posix_spawn_file_actions_adddup2(&files.actions, ours, theirs);
    SpawnAttributes attributes;
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : kSignalsAtDefault)
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
    pid_t pid = -1;
    const int failure =
        options.searchPath
            ? posix_spawnp(&pid, vectors.argv[0], &files.actions, &attributes.attributes,
                           vectors.argv.data(), vectors.envp.data())
            : posix_spawn(&pid, vectors.argv[0], &files.actions, &attributes.attributes,
                          vectors.argv.data(), vectors.envp.data());
    if (failure != 0) return Error::posix(failure, "start " + options.arguments[0]);
    return pid;
}

// The file `program` names: as given when it names a folder or the PATH
// is not to be searched, else the first executable file of that name in
// our PATH, as posix_spawnp takes it.
Result<std::string> programPath(const ChildProcess::Options& options) {
    const std::string& program = options.arguments[0];
    if (!options.searchPath || program.find('/') != std::string::npos) return program;
    const char* path = std::getenv("PATH");
    std::string_view folders = path ? path : "/bin:/usr/bin";
    for (;;) {
        const size_t end = folders.find(':');
        const std::string_view folder = folders.substr(0, end);
        const std::string candidate =
            (folder.empty() ? std::string(".") : std::string(folder)) + "/" + program;
        struct stat status {};
        if (::stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (end == std::string_view::npos) break;
        folders.remove_prefix(end + 1);
    }
    return Error::posix(ENOENT, "start " + program);
}

// What the forked child is to do, made before the fork.
struct ChildPlan {
    const char* program;
    char* const* argv;
    char* const* envp;
    const ChildProcess::Options* options;
    pid_t parent;
    // Where the child writes errno when it cannot run the program.
    int report;
};

// In the forked child; async-signal-safe calls only.
// Handlers of ours make no sense in the program, nor do blocked signals.
void resetSignalsInChild() {
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction action {};
        if (::sigaction(signal, nullptr, &action) != 0) continue;
        bool toDefault = action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
        for (int reset : kSignalsAtDefault)
            toDefault = toDefault || signal == reset;
        if (!toDefault) continue;
        struct sigaction usual {};
        usual.sa_handler = SIG_DFL;
        ::sigaction(signal, &usual, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

[[noreturn]] void runChild(const ChildPlan& plan) {
    // Set first, then checked: a parent that ended before it was set sends
    // nothing, and the child, adopted meanwhile, sees another parent.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != plan.parent) ::_exit(127);
    if (plan.options->newSession ? ::setsid() < 0
                                 : plan.options->newProcessGroup && ::setpgid(0, 0) != 0)
        reportStartFailure(plan.report);
    for (const auto& [ours, theirs] : plan.options->descriptors) {
        // Handed over under its own number, it loses close-on-exec alone.
        if (ours == theirs ? ::fcntl(ours, F_SETFD, 0) != 0 : ::dup2(ours, theirs) < 0)
            reportStartFailure(plan.report);
    }
    resetSignalsInChild();
    ::execve(plan.program, plan.argv, plan.envp);
    reportStartFailure(plan.report);
}

// The pipe the child reports through when it cannot run the program, its
// writing end above every number handed over, so that no handing over
// closes it; both ends close on exec.
struct ReportPipe {
    FileDescriptor read, write;

    static Result<ReportPipe> make(const ChildProcess::Options& options) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return Error::posix(errno, "start " + options.arguments[0]);
        ReportPipe pipe{FileDescriptor(ends[0]), FileDescriptor(ends[1])};
        int highest = STDERR_FILENO;
        for (const auto& [ours, theirs] : options.descriptors)
            highest = std::max(highest, theirs);
        pipe.write = FileDescriptor(::fcntl(pipe.write.get(), F_DUPFD_CLOEXEC, highest + 1));
        if (!pipe.write.isOpen()) return Error::posix(errno, "start " + options.arguments[0]);
        return pipe;
    }
};

Result<pid_t> forkProcess(const ChildProcess::Options& options, Vectors& vectors) {
    Result<std::string> program = programPath(options);
    if (!program) return program.error();
    Result<ReportPipe> report = ReportPipe::make(options);
    if (!report) return report.error();
    const ChildPlan plan = {.program = program->c_str(),
                            .argv = vectors.argv.data(),
                            .envp = vectors.envp.data(),
                            .options = &options,
                            .parent = ::getpid(),
                            .report = report->write.get()};
    return forkAndAwaitStart(
        report->read, report->write, [&plan] { runChild(plan); }, "start " + options.arguments[0]);
}

}  // namespace

Result<ChildProcess> ChildProcess::spawn(const Options& options) {
    if (options.arguments.empty()) return Error::posix(EINVAL, "spawn without a program");
    Vectors vectors(options);
    Result<pid_t> pid =
        options.diesWithParent ? forkProcess(options, vectors) : spawnProcess(options, vectors);
    if (!pid) return pid.error();
    ChildProcess child(*pid, options.newProcessGroup || options.newSession, -1);
    if (options.groupDiesWithParent && options.diesWithParent && options.newProcessGroup &&
        !options.newSession) {
        Result<pid_t> keeper = startGroupKeeper(*pid);
        // The child goes with its group as it is dropped.
        if (!keeper) return keeper.error();
        child.keeper_ = *keeper;
    }
    return child;
}

}  // namespace lf
