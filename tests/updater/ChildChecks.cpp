#include "ChildChecks.h"

#include "platform/processes/ChildProcess.h"
#include "updater/walks/OMAUScratchFolders.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace lf::test {
namespace {

constexpr uid_t kUnprivileged = 65534;
// The environment variable that hands a fresh process its argument.
constexpr const char* kFreshProcessArgument = "LF_TEST_FRESH_PROCESS_ARGUMENT";

bool runningAsRoot() {
    return ::geteuid() == 0;
}

void dropPrivileges() {
    if (!runningAsRoot()) return;
    if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivileged) != 0 ||
        ::setuid(kUnprivileged) != 0) {
        std::perror("drop to uid 65534");
        ::_exit(2);
    }
    // Changing users makes a process undumpable, and its /proc/self
    // unreadable to itself, which the sanitizers read.
    ::prctl(PR_SET_DUMPABLE, 1);
}

// Appends what the terminal has to say, waiting `milliseconds` at most.
void readTerminal(int terminal, std::string& output, int milliseconds) {
    pollfd ready = {terminal, POLLIN, 0};
    char buffer[4096];
    while (::poll(&ready, 1, milliseconds) > 0) {
        const ssize_t length = ::read(terminal, buffer, sizeof buffer);
        if (length <= 0) return;
        output.append(buffer, static_cast<size_t>(length));
        milliseconds = 0;
    }
}

// In a forked child: it is to die with the test, and so with the thread
// that forked it, which waits for it or outlives it.
void dieWithTheTest(pid_t test) {
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != test) ::_exit(3);
}

}  // namespace

void expectInChild(const std::function<void()>& checks, ChildSetting setting) {
    std::fflush(stdout);
    const pid_t test = ::getpid();
    int terminal = -1;
    const pid_t child =
        setting.withTerminal ? ::forkpty(&terminal, nullptr, nullptr, nullptr) : ::fork();
    ASSERT_GE(child, 0) << "fork";
    if (child == 0) {
        dieWithTheTest(test);
        if (setting.unprivileged) dropPrivileges();
        checks();
        std::fflush(stdout);
        // No exit handlers: they belong to the test process.
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    std::string output;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) != child) {
        if (terminal >= 0)
            readTerminal(terminal, output, 10);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (terminal >= 0) {
        readTerminal(terminal, output, 0);
        ::close(terminal);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the child's checks failed (wait status " << status << ")\n"
        << output;
}

pid_t startInChild(const std::function<void()>& work) {
    std::fflush(stdout);
    const pid_t test = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        dieWithTheTest(test);
        work();
        ::_exit(0);
    }
    EXPECT_GE(child, 0) << "fork";
    return child;
}

void expectInFreshProcess(const std::string& argument) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    lf::ChildProcess::Options options;
    options.arguments = {"/proc/self/exe", std::string("--gtest_filter=") +
                                               test->test_suite_name() + "." + test->name()};
    options.environment = {std::string(kFreshProcessArgument) + "=" + argument};
    std::fflush(stdout);
    lf::Result<lf::ChildProcess> fresh = lf::ChildProcess::spawn(options);
    ASSERT_TRUE(fresh) << lf::describe(fresh.error());
    const auto ended = fresh->waitUntil(std::chrono::steady_clock::time_point::max());
    EXPECT_TRUE(ended && ended->succeeded())
        << "the test failed in a fresh process: " << (ended ? ended->description() : "");
}

std::optional<std::string> freshProcessArgument() {
    const char* argument = std::getenv(kFreshProcessArgument);
    if (!argument) return std::nullopt;
    return std::string(argument);
}

UnprivilegedFolder::UnprivilegedFolder() {
    std::string pattern = "/tmp/layerflow-unprivileged-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    if (runningAsRoot() && ::chown(path_.c_str(), kUnprivileged, kUnprivileged) != 0)
        throw std::runtime_error("chown failed");
}

UnprivilegedFolder::~UnprivilegedFolder() {
    OMAURemoveQuietly(path_);
}

fs::path UnprivilegedFolder::copyIn(const fs::path& file) const {
    const fs::path copy = path_ / file.filename();
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
    if (runningAsRoot() && ::chown(copy.c_str(), kUnprivileged, kUnprivileged) != 0)
        throw std::runtime_error("chown failed");
    return copy;
}

}  // namespace lf::test
