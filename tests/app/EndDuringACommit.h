#pragma once
// What the tests of the ends of layerflow during a commit of outputs share:
// runs of the executables whose first commit the test copy
// (layerflow_held_commit) holds after its first file until the exit waits
// for it, and a folder that holds another version of the export, which
// the end must leave holding the export whole.

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

inline constexpr const char* kExportedDocument = "psd-tagged/02-formats.psd";

// Every file below `folder` by its relative path, with its bytes.
inline std::map<std::string, std::string> filesWithBytesBelow(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] = lf::test::readFile(entry.path());
    return files;
}

// The same names as `version`, each holding other bytes.
inline void writeAnotherVersion(const std::map<std::string, std::string>& version,
                                const fs::path& folder) {
    for (const auto& [name, bytes] : version) {
        fs::create_directories((folder / name).parent_path());
        std::ofstream(folder / name) << "another version of " << name;
    }
}

// Runs of the executables with the test's own settings, runtime folder
// and no display, the three signals at their default action whatever the
// test runner left, their first commit held (HeldCommitHooks).
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

    // Once the first commit holds, the application is asked to quit.
    void quitOnceHeld() { environment_.push_back("LF_HELD_COMMIT_QUIT=1"); }
    // As the first commit holds, an editor begins a save in place of the
    // settings file, which it never ends.
    void saveTheSettingsOnceHeld() { environment_.push_back("LF_HELD_COMMIT_SETTINGS_SAVE=1"); }

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

    // Whether `pid` has ended (`status` then says how); one that outlives
    // the tests' patience is killed.
    bool waitUntilEnded(pid_t pid, int& status) const {
        for (auto waited = std::chrono::milliseconds(0); waited < lf::test::kPatience;
             waited += std::chrono::milliseconds(10)) {
            if (::waitpid(pid, &status, WNOHANG) == pid) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return false;
    }

private:
    fs::path mark_;
    std::vector<std::string> environment_;
};

// How the process ended, as a line for a failure.
inline std::string describe(int status) {
    if (WIFSIGNALED(status)) return "died of signal " + std::to_string(WTERMSIG(status));
    if (WIFEXITED(status)) return "exited with " + std::to_string(WEXITSTATUS(status));
    return "status " + std::to_string(status);
}

class EndDuringACommit : public ::testing::Test {
protected:
    void SetUp() override {
        LF_REQUIRE_SHARED_DOCUMENTS();
        // The version the folder is to hold whole: a plain export.
        const fs::path reference = scratch / "reference";
        const std::string command = std::string(LF_LAYERFLOW_PATH) + " '" +
                                    lf::test::sharedFile(kExportedDocument).string() +
                                    "' --save-to '" + reference.string() + "' >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        exported = filesWithBytesBelow(reference);
        ASSERT_GT(exported.size(), 1u);
        writeAnotherVersion(exported, out);
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
              {"inputURLs", {fs::canonical(lf::test::sharedFile(kExportedDocument)).string()}}}},
            {"behavior", 2},
            {"outputDirectoryURL", out.string()},
            {"lastRunNumberOfItemsSaved", 0},
            {"hasUnexportedChanges", true}};
        std::ofstream(settings) << nlohmann::json{{"RecentFlowsData-1.0", {flow}}};
    }

    // The settings hold the record of the stored flow's run: the next
    // launch has nothing to export.
    void expectTheRunRecorded() const {
        const nlohmann::json stored =
            nlohmann::json::parse(lf::test::readFile(settings))["RecentFlowsData-1.0"][0];
        EXPECT_TRUE(stored.contains("lastRunDate")) << stored;
        EXPECT_EQ(stored["lastRunNumberOfItemsSaved"], exported.size());
        EXPECT_FALSE(stored.value("hasUnexportedChanges", false));
        EXPECT_TRUE(stored.contains("exportedInputTokens"));
    }

    // The run's record is written over a settings file an editor still
    // saves, which is kept aside, as the file itself, first.
    void expectTheRunRecordedBesideTheEditorsSave() const {
        expectTheRunRecorded();
        EXPECT_TRUE(fs::exists(settings.string() + ".damaged"));
        EXPECT_EQ(lf::test::readFile(settings.string() + ".damaged"), "");
    }

    lf::test::TemporaryDirectory scratch;
    const fs::path out = scratch / "out";
    const fs::path settings = scratch / "config" / "layerflow" / "defaults.json";
    Runs runs{scratch.path()};
    std::map<std::string, std::string> exported;
};
