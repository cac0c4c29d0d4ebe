// Children started by argument vector, both ways (posix_spawn of the
// program, or of the helper that binds a child to die with its parent):
// what they are handed, where they run, when they and their groups die,
// and how their end reads where SIGCHLD is ignored.
#include "platform/files/FileDescriptor.h"
#include "platform/processes/ChildProcess.h"
#include "platform/processes/HelperPrograms.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace lf;

namespace {

// The helper programs, found in the build rather than beside this program.
class HelperProgramsOfTheBuild : public ::testing::Environment {
    void SetUp() override {
        ::setenv(kGroupKeeper.variable, LF_GROUP_KEEPER_PATH, 1);
        ::setenv(kDieWithParent.variable, LF_DIE_WITH_PARENT_PATH, 1);
    }
};
const ::testing::Environment* const helperPrograms =
    ::testing::AddGlobalTestEnvironment(new HelperProgramsOfTheBuild);

// `signal` handled as `action` for the object's life.
class SignalAction {
public:
    SignalAction(int signal, void (*action)(int))
        : signal_(signal), previous_(std::signal(signal, action)) {}
    ~SignalAction() { std::signal(signal_, previous_); }

private:
    int signal_;
    void (*previous_)(int);
};

ChildProcess::Options shell(const std::string& script, bool diesWithParent) {
    ChildProcess::Options options;
    options.arguments = {"sh", "-c", script};
    options.searchPath = true;
    options.diesWithParent = diesWithParent;
    return options;
}

// What the child started with `options` prints, once it has ended well.
std::string outputOf(ChildProcess::Options options) {
    int ends[2];
    EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    FileDescriptor read(ends[0]), write(ends[1]);
    options.descriptors.emplace_back(write.get(), STDOUT_FILENO);
    Result<ChildProcess> child = ChildProcess::spawn(options);
    if (!child) return "not started: " + describe(child.error());
    write = FileDescriptor();
    std::string output;
    char buffer[4096];
    for (ssize_t length; (length = ::read(read.get(), buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<size_t>(length));
    const auto ended = child->waitUntil(std::chrono::steady_clock::time_point::max());
    EXPECT_TRUE(ended && ended->succeeded()) << (ended ? ended->description() : "");
    return output;
}

TEST(ChildProcess, BothWaysOfStartingHandTheChildTheSame) {
    // A signal we ignore or block starts at its usual action in the child;
    // a descriptor handed over under its own number stays open there.
    const SignalAction ignoredHangUp(SIGHUP, SIG_IGN), ignoredFileSize(SIGXFSZ, SIG_IGN);
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    const FileDescriptor own(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 20));
    for (const bool diesWithParent : {false, true}) {
        SCOPED_TRACE(diesWithParent ? "dies with its parent" : "lives on");
        ChildProcess::Options options = shell(
            "echo \"$LF_GIVEN\"; read -r pid name state parent group rest </proc/$$/stat; "
            "[ \"$pid\" = \"$group\" ] && echo leads; grep -E '^Sig(Blk|Ign)' /proc/self/status; "
            "[ -e /proc/self/fd/" +
                std::to_string(own.get()) + " ] && echo own",
            diesWithParent);
        options.environment = {"LF_GIVEN=given"};
        options.newProcessGroup = true;
        options.descriptors = {{own.get(), own.get()}};
        const std::string output = outputOf(options);
        EXPECT_NE(output.find("given\nleads\nSigBlk:\t0000000000000000\n"), std::string::npos)
            << output;
        const size_t ignored = output.find("SigIgn:\t");
        ASSERT_NE(ignored, std::string::npos) << output;
        const uint64_t ignoredSignals = std::stoull(output.substr(ignored + 8, 16), nullptr, 16);
        EXPECT_EQ(ignoredSignals & (1u << (SIGHUP - 1) | 1u << (SIGXFSZ - 1)), 0u) << output;
        EXPECT_TRUE(output.ends_with("own\n")) << output;

        for (const char* missing : {"/no/such/program", "no-such-program-anywhere"}) {
            ChildProcess::Options absent = shell("", diesWithParent);
            absent.arguments = {missing};
            Result<ChildProcess> started = ChildProcess::spawn(absent);
            ASSERT_FALSE(started) << missing;
            EXPECT_TRUE(started.error().is(kPOSIXErrorDomain, ENOENT)) << missing;
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

TEST(ChildProcess, AChildThatDiesWithItsParentEndsWithTheThreadThatStartedIt) {
    std::optional<ChildProcess> child;
    std::thread([&] {
        Result<ChildProcess> started = ChildProcess::spawn(shell("exec sleep 600", true));
        ASSERT_TRUE(started) << describe(started.error());
        child.emplace(std::move(*started));
    }).join();
    ASSERT_TRUE(child);
    // The kernel killed it as the thread ended; this thread reaps it.
    const auto ended = child->waitUntil(std::chrono::steady_clock::time_point::max());
    ASSERT_TRUE(ended);
    EXPECT_TRUE(ended->killedBy(SIGKILL)) << ended->description();
}

// Whether the process `pid` has ended, reaped or not.
bool hasEnded(pid_t pid) {
    const std::optional<std::string> fields =
        lf::test::procStatFields("/proc/" + std::to_string(pid) + "/stat");
    return !fields || fields->front() == 'Z' || fields->front() == 'X';
}

// Expects `left`, left running by a child of ours, to end as the child
// goes, and no child of ours to be left.
void expectNothingLeftOf(pid_t left) {
    const auto giveUp = std::chrono::steady_clock::now() + lf::test::kPatience;
    while (!hasEnded(left) && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(hasEnded(left));
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(ChildProcess, AGroupThatDiesWithItsParentEndsWithTheChild) {
    // What the child leaves running in its group goes as it is reaped,
    // and the group's keeper with it: no child of ours is left.
    ChildProcess::Options options = shell("sleep 600 >/dev/null & echo $!", true);
    options.newProcessGroup = true;
    options.groupDiesWithParent = true;
    const std::string output = outputOf(options);
    ASSERT_FALSE(output.empty());
    const pid_t left = std::stoi(output);
    expectNothingLeftOf(left);
}

TEST(ChildProcess, WithoutItsHelpersAChildThatMustDieWithItsParentDoesNotRun) {
    // A child or group nothing would end with us is never left running:
    // it goes as the keeper fails to start, or never starts without the
    // helper that binds it to us, and no child of ours is left.
    for (const HelperProgram& helper : {kDieWithParent, kGroupKeeper}) {
        SCOPED_TRACE(helper.name);
        const lf::test::ScopedEnvironment missing(helper.variable, "/no/such/helper");
        ChildProcess::Options options = shell("exec sleep 600", true);
        options.newProcessGroup = true;
        options.groupDiesWithParent = true;
        const Result<ChildProcess> started = ChildProcess::spawn(options);
        ASSERT_FALSE(started);
        EXPECT_TRUE(started.error().is(kPOSIXErrorDomain, ENOENT)) << describe(started.error());
        EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
    }
}

TEST(ChildProcess, TheStartHelperRunsNothingForAParentNotItsOwn) {
    // Named another parent than the one that started it (as when that one
    // ended before the binding and the helper was adopted), it runs
    // nothing, which would outlive who it was bound to; named its own, it
    // runs the program.
    const lf::test::TemporaryDirectory folder;
    const std::string ran = (folder / "ran").string();
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const FileDescriptor report(ends[0]), reporting(ends[1]);
    for (const pid_t parent : {::getppid(), ::getpid()}) {
        SCOPED_TRACE(parent == ::getpid() ? "its parent" : "another");
        ChildProcess::Options options;
        options.arguments = {
            LF_DIE_WITH_PARENT_PATH, std::to_string(parent), "3", "/bin/sh", "sh", "-c",
            "touch '" + ran + "'"};
        options.descriptors = {{reporting.get(), 3}};
        Result<ChildProcess> helper = ChildProcess::spawn(options);
        ASSERT_TRUE(helper) << describe(helper.error());
        const auto ended = helper->waitUntil(std::chrono::steady_clock::time_point::max());
        ASSERT_TRUE(ended);
        EXPECT_EQ(ended->exitCode(), parent == ::getpid() ? 0 : 127) << ended->description();
        EXPECT_EQ(std::filesystem::exists(ran), parent == ::getpid());
    }
}

TEST(ChildProcess, AStartNeverReportedEndsWithItsGroupOnceGivenUp) {
    // A helper program of another's that runs the child in its place
    // without a word hands it the report's pipe, open as long as the
    // child runs. Given up on, the child goes with its group, and no child
    // of ours is left.
    const lf::test::TemporaryDirectory folder;
    const std::filesystem::path script = folder / "silent-start", left = folder / "left";
    lf::test::writeFile(script, "#!/bin/sh\np=\"$3\"\nshift 4\nexec \"$p\" \"$@\"\n");
    ::chmod(script.c_str(), 0755);
    const lf::test::ScopedEnvironment silent(kDieWithParent.variable, script.string());
    ChildProcess::Options options =
        shell("sleep 600 >/dev/null & echo $! > '" + left.string() + "'; wait", true);
    options.newProcessGroup = true;
    // Given up on once what it leaves in its group runs.
    options.keepWaitingForStart = [&] { return lf::test::readFile(left).empty(); };
    const Result<ChildProcess> started = ChildProcess::spawn(options);
    ASSERT_FALSE(started);
    EXPECT_TRUE(started.error().is(kPOSIXErrorDomain, ECANCELED)) << describe(started.error());
    expectNothingLeftOf(std::stoi(lf::test::readFile(left)));
}

std::atomic<int> forks{0};

TEST(ChildProcess, AChildThatDiesWithItsParentStartsWithoutACopyOfThisProcess) {
    // A fork of a large process copies its page tables and asks for a
    // commit charge of all its writable memory, which strict overcommit
    // refuses; every start of either kind leaves this process unforked.
    static const int registered = ::pthread_atfork([] { ++forks; }, nullptr, nullptr);
    ASSERT_EQ(registered, 0);
    const int before = forks;
    ChildProcess::Options grouped = shell("exit 0", true);
    grouped.newProcessGroup = true;
    grouped.groupDiesWithParent = true;
    for (const ChildProcess::Options& options :
         {shell("exit 0", true), shell("exit 0", false), grouped}) {
        Result<ChildProcess> child = ChildProcess::spawn(options);
        ASSERT_TRUE(child) << describe(child.error());
        const auto ended = child->waitUntil(std::chrono::steady_clock::time_point::max());
        EXPECT_TRUE(ended && ended->succeeded()) << (ended ? ended->description() : "");
    }
    EXPECT_EQ(forks, before);
}

TEST(ChildProcess, AStatusThatCannotBeReadIsNoSuccess) {
    // Ignored, as a launcher may leave it: the kernel reaps every child as
    // it ends, and waitpid finds none.
    const SignalAction ignoredChildren(SIGCHLD, SIG_IGN);
    for (const bool diesWithParent : {false, true}) {
        SCOPED_TRACE(diesWithParent ? "dies with its parent" : "lives on");
        Result<ChildProcess> succeeding = ChildProcess::spawn(shell("exit 0", diesWithParent));
        ASSERT_TRUE(succeeding);
        const auto ended = succeeding->waitUntil(std::chrono::steady_clock::time_point::max());
        ASSERT_TRUE(ended);
        EXPECT_FALSE(ended->status);
        EXPECT_FALSE(ended->succeeded());
        EXPECT_EQ(ended->description(), "ended with a status that could not be read");
        const auto again = succeeding->waitUntil(std::chrono::steady_clock::time_point::max());
        EXPECT_TRUE(again && !again->succeeded()) << "a child already reaped";

        Result<ChildProcess> killed = ChildProcess::spawn(shell("exec sleep 600", diesWithParent));
        ASSERT_TRUE(killed);
        EXPECT_FALSE(killed->terminate(std::chrono::milliseconds(0)).succeeded());
    }
}

}  // namespace
