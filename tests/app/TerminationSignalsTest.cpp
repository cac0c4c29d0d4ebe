// SIGTERM, SIGINT and SIGHUP sent to layerflow while its outputs are moved
// into a folder that holds another version: the process moves them all in,
// then dies of the signal, leaving one whole version and no temporary
// file. The test copy of the executable (layerflow_held_commit) holds the
// commit after its first file until the exit waits for it, and says when
// it holds. On the headless road, and in the application with its windows,
// whose repeating flow exports a document saved while it was down and
// whose recents then hold the run's record. Locks that another program
// holds on the output folder and the settings folder (a backup or sync
// program, or another user, may lock any folder it can open) hold up
// neither the export nor the end.

#include "EndDuringACommit.h"
#include "app/TerminationSignals.h"
#include "platform/files/FileDescriptor.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// An exclusive flock on `folder` for the descriptor's life, taken by the
// test's process: another program to the application it starts.
lf::FileDescriptor lockedByAnotherProgram(const fs::path& folder) {
    lf::FileDescriptor held(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    EXPECT_EQ(::flock(held.get(), LOCK_EX | LOCK_NB), 0) << folder;
    return held;
}

class TerminationSignals : public EndDuringACommit, public ::testing::WithParamInterface<int> {
protected:
    // Sends the test's signal once `pid` holds its commit, and expects the
    // process to die of it with the folder holding the export whole.
    void expectTheCommitWholeThenDeath(pid_t pid) {
        const int signal = GetParam();
        int status = 0;
        ASSERT_TRUE(runs.waitUntilHeld(pid, status)) << describe(status);
        ::kill(pid, signal);
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << describe(status);
        EXPECT_EQ(filesWithBytesBelow(out), exported) << "mixed versions or temporary files";
    }
};

TEST_P(TerminationSignals, EndTheHeadlessRoadOnceItsOutputsAreIn) {
    expectTheCommitWholeThenDeath(
        runs.start(LF_LAYERFLOW_HELD_COMMIT_PATH,
                   {lf::test::sharedFile(kExportedDocument).string(), "--save-to", out.string()}));
}

TEST_P(TerminationSignals, EndTheHeadlessRoadOnceItsOutputsAreInWhateverOthersLock) {
    const lf::FileDescriptor locked = lockedByAnotherProgram(out);
    expectTheCommitWholeThenDeath(
        runs.start(LF_LAYERFLOW_HELD_COMMIT_PATH,
                   {lf::test::sharedFile(kExportedDocument).string(), "--save-to", out.string()}));
}

TEST_P(TerminationSignals, EndTheApplicationOnceItsBackgroundRunsOutputsAreIn) {
    storeARepeatingFlow();
    expectTheCommitWholeThenDeath(runs.start(LF_LAYERFLOW_HELD_COMMIT_PATH, {}));
    expectTheRunRecorded();
}

// An editor saving the settings file holds up the write of the run's
// record, which the signal's end makes at once.
TEST_P(TerminationSignals, EndTheApplicationWithItsRecordWrittenThoughAnEditorSavesTheSettings) {
    storeARepeatingFlow();
    runs.saveTheSettingsOnceHeld();
    expectTheCommitWholeThenDeath(runs.start(LF_LAYERFLOW_HELD_COMMIT_PATH, {}));
    expectTheRunRecordedBesideTheEditorsSave();
}

// The application exports, records the run in its settings from its main
// thread, and ends at the signal, while both folders are locked.
TEST_P(TerminationSignals, EndTheApplicationThatExportedAndRecordedItsRunWhateverOthersLock) {
    storeARepeatingFlow();
    const lf::FileDescriptor lockedOutput = lockedByAnotherProgram(out);
    const lf::FileDescriptor lockedSettings = lockedByAnotherProgram(settings.parent_path());
    const pid_t pid = runs.start(LF_LAYERFLOW_PATH, {});
    const auto recorded = [&] {
        const nlohmann::json stored =
            nlohmann::json::parse(lf::test::readFile(settings), nullptr, false);
        if (!stored.is_object()) return false;
        const auto flows = stored.value("RecentFlowsData-1.0", nlohmann::json::array());
        return !flows.empty() && flows[0].value("lastRunNumberOfItemsSaved", 0) > 0;
    };
    int status = 0;
    for (auto waited = std::chrono::milliseconds(0); !recorded() && waited < lf::test::kPatience;
         waited += std::chrono::milliseconds(10)) {
        ASSERT_NE(::waitpid(pid, &status, WNOHANG), pid) << describe(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(filesWithBytesBelow(out), exported);
    ::kill(pid, GetParam());
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == GetParam()) << describe(status);
}

INSTANTIATE_TEST_SUITE_P(EachSignal, TerminationSignals, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(sigabbrev_np(info.param));
                         });

// How long a process that must not end is watched after the signal.
constexpr auto kWatch = std::chrono::milliseconds(300);

// Waits for the signal expected to end the calling process.
[[noreturn]] void awaitTheEnd() {
    for (;;)
        ::pause();
}

// The status of a child process that runs `body`, whose result is its exit
// status: the handlers stay out of the test runner. The child dies with
// the test, so that a failure leaves no process waiting.
int statusOfChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::_exit(body());
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    return status;
}

// A child forked by the application that gets a signal before it runs its
// program (a tool being started) dies of it, as the program would, and
// the application, which shares the handler until then, runs on.
TEST(TerminationSignalHandling, AForkedChildDiesOfItAloneBeforeItRunsItsProgram) {
    const int status = statusOfChild([] {
        lf::endOnTerminationSignalsAfterCommits();
        const pid_t tool = ::fork();
        if (tool == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            awaitTheEnd();
        }
        ::kill(tool, SIGTERM);
        int toolStatus = 0;
        ::waitpid(tool, &toolStatus, 0);
        std::this_thread::sleep_for(kWatch);
        return WIFSIGNALED(toolStatus) && WTERMSIG(toolStatus) == SIGTERM ? 0 : 1;
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << describe(status);
}

// A signal the launcher left ignored (nohup's SIGHUP) stays ignored; the
// others still end the process, at once without a commit under way.
TEST(TerminationSignalHandling, ASignalLeftIgnoredStaysIgnored) {
    const int status = statusOfChild([]() -> int {
        ::signal(SIGHUP, SIG_IGN);
        lf::endOnTerminationSignalsAfterCommits();
        ::raise(SIGHUP);
        std::this_thread::sleep_for(kWatch);
        ::raise(SIGTERM);
        awaitTheEnd();
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << describe(status);
}

}  // namespace
