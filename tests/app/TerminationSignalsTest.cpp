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

#include "app/TerminationSignals.h"
#include "platform/files/FileDescriptor.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr const char* kDocument = "psd-tagged/02-formats.psd";

// Every file below `folder` by its relative path, with its bytes.
std::map<std::string, std::string> filesWithBytesBelow(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] = lf::test::readFile(entry.path());
    return files;
}

// The same names as `version`, each holding other bytes.
void writeAnotherVersion(const std::map<std::string, std::string>& version,
                         const fs::path& folder) {
    for (const auto& [name, bytes] : version) {
        fs::create_directories((folder / name).parent_path());
        std::ofstream(folder / name) << "another version of " << name;
    }
}

// An exclusive flock on `folder` for the descriptor's life, taken by the
// test's process: another program to the application it starts.
lf::FileDescriptor lockedByAnotherProgram(const fs::path& folder) {
    lf::FileDescriptor held(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    EXPECT_EQ(::flock(held.get(), LOCK_EX | LOCK_NB), 0) << folder;
    return held;
}

// Runs of the executables with the test's own settings, runtime folder
// and no display, the three signals at their default action whatever the
// test runner left.
class Runs {
public:
    explicit Runs(const fs::path& scratch) : mark_(scratch / "held") {
        for (char** entry = environ; *entry; ++entry) {
            const std::string variable = *entry;
            const std::string name = variable.substr(0, variable.find('='));
            if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && !name.starts_with("XDG_") &&
                name != "QT_QPA_PLATFORM")
                environment_.push_back(variable);
        }
        fs::create_directories(scratch / "run");
        fs::permissions(scratch / "run", fs::perms::owner_all);
        environment_.push_back("XDG_RUNTIME_DIR=" + (scratch / "run").string());
        environment_.push_back("XDG_CONFIG_HOME=" + (scratch / "config").string());
        environment_.push_back("QT_QPA_PLATFORM=offscreen");
        environment_.push_back("LF_HELD_COMMIT_MARK=" + mark_.string());
    }

    pid_t start(const std::string& program, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), program);
        std::vector<char*> argv, envp;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        for (std::string& variable : environment_)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults, none;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (const int signal : {SIGTERM, SIGINT, SIGHUP})
            sigaddset(&defaults, signal);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        pid_t pid = -1;
        EXPECT_EQ(
            ::posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv.data(), envp.data()),
            0);
        posix_spawnattr_destroy(&attributes);
        return pid;
    }
    // Whether `pid` holds its commit; false once it has ended (`status`
    // then says how).
    bool waitUntilHeld(pid_t pid, int& status) const {
        for (auto waited = std::chrono::milliseconds(0); waited < lf::test::kPatience;
             waited += std::chrono::milliseconds(10)) {
            if (fs::exists(mark_)) return true;
            if (::waitpid(pid, &status, WNOHANG) == pid) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

private:
    fs::path mark_;
    std::vector<std::string> environment_;
};

// How the process ended, as a line for a failure.
std::string describe(int status) {
    if (WIFSIGNALED(status)) return "died of signal " + std::to_string(WTERMSIG(status));
    if (WIFEXITED(status)) return "exited with " + std::to_string(WEXITSTATUS(status));
    return "status " + std::to_string(status);
}

class TerminationSignals : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        LF_REQUIRE_SHARED_DOCUMENTS();
        // The version the folder is to hold whole: a plain export.
        const fs::path reference = scratch / "reference";
        const std::string command = std::string(LF_LAYERFLOW_PATH) + " '" +
                                    lf::test::sharedFile(kDocument).string() + "' --save-to '" +
                                    reference.string() + "' >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        exported = filesWithBytesBelow(reference);
        ASSERT_GT(exported.size(), 1u);
        writeAnotherVersion(exported, out);
    }

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

    // A flow of the document into the output folder, repeating, with a
    // change not yet exported, as the application's settings.
    void storeARepeatingFlow() const {
        fs::create_directories(settings.parent_path());
        const nlohmann::json flow = {
            {"$class", "QFExportFlow"},
            {"input",
             {{"$class", "QFFlowInput"},
              {"inputTypes", {"com.adobe.photoshop-image"}},
              {"inputURLs", {fs::canonical(lf::test::sharedFile(kDocument)).string()}}}},
            {"behavior", 2},
            {"outputDirectoryURL", out.string()},
            {"lastRunNumberOfItemsSaved", 0},
            {"hasUnexportedChanges", true}};
        std::ofstream(settings) << nlohmann::json{{"RecentFlowsData-1.0", {flow}}};
    }

    lf::test::TemporaryDirectory scratch;
    const fs::path out = scratch / "out";
    const fs::path settings = scratch / "config" / "layerflow" / "defaults.json";
    Runs runs{scratch.path()};
    std::map<std::string, std::string> exported;
};

TEST_P(TerminationSignals, EndTheHeadlessRoadOnceItsOutputsAreIn) {
    expectTheCommitWholeThenDeath(
        runs.start(LF_LAYERFLOW_HELD_COMMIT_PATH,
                   {lf::test::sharedFile(kDocument).string(), "--save-to", out.string()}));
}

TEST_P(TerminationSignals, EndTheHeadlessRoadOnceItsOutputsAreInWhateverOthersLock) {
    const lf::FileDescriptor locked = lockedByAnotherProgram(out);
    expectTheCommitWholeThenDeath(
        runs.start(LF_LAYERFLOW_HELD_COMMIT_PATH,
                   {lf::test::sharedFile(kDocument).string(), "--save-to", out.string()}));
}

TEST_P(TerminationSignals, EndTheApplicationOnceItsBackgroundRunsOutputsAreIn) {
    storeARepeatingFlow();
    expectTheCommitWholeThenDeath(runs.start(LF_LAYERFLOW_HELD_COMMIT_PATH, {}));
    // The run's record is stored too: the next launch has nothing to export.
    const nlohmann::json stored =
        nlohmann::json::parse(lf::test::readFile(settings))["RecentFlowsData-1.0"][0];
    EXPECT_TRUE(stored.contains("lastRunDate")) << stored;
    EXPECT_EQ(stored["lastRunNumberOfItemsSaved"], exported.size());
    EXPECT_FALSE(stored.value("hasUnexportedChanges", false));
    EXPECT_TRUE(stored.contains("exportedInputTokens"));
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
