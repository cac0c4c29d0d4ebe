// Starting a ChildProcess, always with posix_spawn, which the C library
// makes with vfork's sharing of memory: nothing of this process is copied
// and no commit charge of its size is asked for, however large it is. A
// child that is to die with its parent needs the parent-death signal set
// in the child itself; a small program of ours (DieWithParentMain.cpp) is
// started in its place, sets it, and runs the program.

#include "platform/files/FileDescriptor.h"
#include "platform/processes/ChildProcess.h"
#include "platform/processes/ChildProcessKeeper.h"
#include "platform/processes/HelperPrograms.h"
#include "platform/processes/SpawnSetting.h"
#include "platform/processes/StartReport.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
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

    Vectors(std::vector<std::string> givenArguments, const ChildProcess::Options& options)
        : arguments(std::move(givenArguments)), environment(childEnvironment(options.environment)) {
        argv = pointers(arguments);
        envp = pointers(environment);
    }
};

// Spawns the program `vectors` names first (looked up in PATH with
// `searchPath`), set up as `options` asks; `keptOpen`, when not -1, stays
// open in it too.
Result<pid_t> spawnProcess(const ChildProcess::Options& options, bool searchPath, Vectors& vectors,
                           int keptOpen = -1) {
    SpawnSetting setting;
    for (const auto& [ours, theirs] : options.descriptors)
        posix_spawn_file_actions_adddup2(&setting.actions, ours, theirs);
    // Onto its own number, it loses close-on-exec alone.
    if (keptOpen >= 0) posix_spawn_file_actions_adddup2(&setting.actions, keptOpen, keptOpen);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : kSignalsAtDefault)
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&setting.attributes, &none);
    posix_spawnattr_setsigdefault(&setting.attributes, &defaults);
    if (options.newSession) {
        flags |= POSIX_SPAWN_SETSID;
    } else if (options.newProcessGroup) {
        flags |= POSIX_SPAWN_SETPGROUP;
        posix_spawnattr_setpgroup(&setting.attributes, 0);
    }
    posix_spawnattr_setflags(&setting.attributes, flags);
    pid_t pid = -1;
    const int failure =
        searchPath ? posix_spawnp(&pid, vectors.argv[0], &setting.actions, &setting.attributes,
                                  vectors.argv.data(), vectors.envp.data())
                   : posix_spawn(&pid, vectors.argv[0], &setting.actions, &setting.attributes,
                                 vectors.argv.data(), vectors.envp.data());
    if (failure != 0) return Error::posix(failure, "start " + vectors.arguments[0]);
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

// The pipe the helper reports through when it cannot run the program
// (StartReport.h), its writing end above every number handed over, so
// that no handing over closes it; both ends close on exec, the helper's
// copy once it has the program to run.
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

// Starts the child through the helper that binds it to die with us.
Result<pid_t> spawnDyingWithParent(const ChildProcess::Options& options) {
    Result<std::string> program = programPath(options);
    if (!program) return program.error();
    Result<ReportPipe> report = ReportPipe::make(options);
    if (!report) return report.error();
    std::vector<std::string> arguments = {helperProgramPath(kDieWithParent),
                                          std::to_string(::getpid()),
                                          std::to_string(report->write.get()), *program};
    arguments.insert(arguments.end(), options.arguments.begin(), options.arguments.end());
    Vectors vectors(std::move(arguments), options);
    Result<pid_t> pid = spawnProcess(options, false, vectors, report->write.get());
    report->write = FileDescriptor();
    if (!pid) return pid.error();
    return awaitStart(report->read, *pid, "start " + options.arguments[0],
                      options.keepWaitingForStart, options.newProcessGroup || options.newSession);
}

}  // namespace

Result<ChildProcess> ChildProcess::spawn(const Options& options) {
    if (options.arguments.empty()) return Error::posix(EINVAL, "spawn without a program");
    Result<pid_t> pid = [&]() -> Result<pid_t> {
        if (options.diesWithParent) return spawnDyingWithParent(options);
        Vectors vectors(options.arguments, options);
        return spawnProcess(options, options.searchPath, vectors);
    }();
    if (!pid) return pid.error();
    ChildProcess child(*pid, options.newProcessGroup || options.newSession, -1);
    if (options.groupDiesWithParent && options.diesWithParent && options.newProcessGroup &&
        !options.newSession) {
        Result<pid_t> keeper = startGroupKeeper(*pid, options.keepWaitingForStart);
        // The child goes with its group as it is dropped.
        if (!keeper) return keeper.error();
        child.keeper_ = *keeper;
    }
    return child;
}

}  // namespace lf
