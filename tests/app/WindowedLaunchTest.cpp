// The application with its windows, on Qt's offscreen platform, as later
// launches meet it: they hand their files (or the wish for a window) to the
// one that runs and end at once; the headless road never asks it; after a
// crash the next launch takes its place; one that does not answer keeps
// the files and its place; and paths that cannot be opened are refused
// before the hand-over.

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Launches of layerflow whose runtime folder, settings and display are
// the test's own, so they meet neither the user's application nor another
// test's.
class Launches {
public:
    Launches() {
        fs::create_directories(runtime_);
        fs::permissions(runtime_, fs::perms::owner_all);
        for (char** entry = environ; *entry; ++entry) {
            const std::string variable = *entry;
            const std::string name = variable.substr(0, variable.find('='));
            if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "XDG_RUNTIME_DIR" ||
                name == "XDG_CONFIG_HOME" || name == "QT_QPA_PLATFORM")
                continue;
            environment_.push_back(variable);
        }
        environment_.push_back("XDG_RUNTIME_DIR=" + runtime_.string());
        environment_.push_back("XDG_CONFIG_HOME=" + (scratch_ / "config").string());
        environment_.push_back("QT_QPA_PLATFORM=offscreen");
    }
    ~Launches() {
        for (pid_t pid : std::vector(running_))
            crash(pid);
    }

    // Starts layerflow with `arguments` and leaves it running.
    pid_t start(const std::vector<std::string>& arguments) {
        pid_t pid = spawn(LF_LAYERFLOW_PATH, arguments);
        running_.push_back(pid);
        return pid;
    }
    // Runs layerflow with `arguments` to its end: its status (124 if it
    // outlived the patience of the tests, which the runner's timeout ends
    // first). What it wrote on its error stream goes to `err` when given.
    // The applications these launches started settle first: one still
    // starting, or opening what it was handed, answers a launch only when
    // it is done, and a launch waits only so long for the answer, which on
    // a busy machine it would not get.
    int run(std::vector<std::string> arguments, std::string* err = nullptr) {
        for (pid_t pid : std::vector(running_))
            waitUntilSettled(pid);
        const auto patience = std::chrono::duration_cast<std::chrono::seconds>(lf::test::kPatience);
        arguments.insert(arguments.begin(), {std::to_string(patience.count()), LF_LAYERFLOW_PATH});
        const fs::path errors = scratch_ / "stderr";
        const pid_t pid = spawn("/usr/bin/timeout", arguments, err ? &errors : nullptr);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (err) {
            std::ifstream in(errors);
            *err = {std::istreambuf_iterator<char>(in), {}};
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    bool isRunning(pid_t pid) {
        if (::waitpid(pid, nullptr, WNOHANG) == 0) return true;
        std::erase(running_, pid);
        return false;
    }
    // Ends `pid` as a crash would, leaving whatever it holds behind.
    void crash(pid_t pid) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        std::erase(running_, pid);
    }
    // Whether `pid` comes to hold the lock of the application's socket: it
    // is the application that listens. Not if it ends first.
    bool waitUntilListening(pid_t pid) {
        fs::path lock = socket();
        lock += ".lock";
        for (const auto deadline = std::chrono::steady_clock::now() + lf::test::kPatience;
             std::chrono::steady_clock::now() < deadline && isRunning(pid);) {
            std::ifstream in(lock);
            std::string holder;
            if (std::getline(in, holder) && holder == std::to_string(pid) && fs::exists(socket()))
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    const fs::path& scratch() const { return scratch_.path(); }
    // The socket the application listens on.
    fs::path socket() const { return runtime_ / "layerflow.default.socket"; }

private:
    // Waits until `pid` has nothing to do: every thread of it asleep at
    // several looks in a row (a thread with work, waiting for a processor,
    // is runnable). Not while it is stopped, nor once it has ended.
    void waitUntilSettled(pid_t pid) {
        constexpr int kQuietLooks = 20;
        int quietLooks = 0;
        for (const auto deadline = std::chrono::steady_clock::now() + lf::test::kPatience;
             quietLooks < kQuietLooks && std::chrono::steady_clock::now() < deadline &&
             isRunning(pid);) {
            const std::string states = threadStates(pid);
            if (states.find_first_of("tT") != std::string::npos) return;
            const bool asleep =
                !states.empty() && states.find_first_not_of('S') == std::string::npos;
            quietLooks = asleep ? quietLooks + 1 : 0;
            std::this_thread::sleep_for(20ms);
        }
    }

    // The state letter of each thread of `pid` ("S" asleep, "R" runnable,
    // "T" stopped...).
    static std::string threadStates(pid_t pid) {
        std::string states;
        std::error_code error;
        const fs::path tasks = fs::path("/proc") / std::to_string(pid) / "task";
        for (fs::directory_iterator task(tasks, error), end; !error && task != end;
             task.increment(error)) {
            if (const auto fields = lf::test::procStatFields(task->path() / "stat"))
                states += fields->front();
        }
        return states;
    }

    pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
                const fs::path* errors = nullptr) {
        std::vector<std::string> words{program};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& variable : environment_)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (errors)
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors->c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = -1;
        EXPECT_EQ(::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    lf::test::TemporaryDirectory scratch_;
    fs::path runtime_ = scratch_ / "run";
    std::vector<std::string> environment_;
    std::vector<pid_t> running_;
};

TEST(WindowedLaunch, LaterLaunchesHandTheirFilesToTheRunningApplication) {
    Launches launches;
    const std::string document =
        fs::canonical(lf::test::sharedFile("psd-tagged/01-plain.psd")).string();
    const pid_t first = launches.start({});
    ASSERT_TRUE(launches.waitUntilListening(first));

    // With a document and without: each hands it over and ends, and the
    // application runs on.
    EXPECT_EQ(launches.run({document}), 0);
    EXPECT_EQ(launches.run({}), 0);
    EXPECT_TRUE(launches.isRunning(first));

    // The headless road asks nobody: with the running application stopped
    // (it answers nothing), an export still runs to its end.
    ::kill(first, SIGSTOP);
    const fs::path out = launches.scratch() / "out";
    EXPECT_EQ(launches.run({document, "--save-to", out.string()}), 0);
    EXPECT_TRUE(fs::exists(out / "pixel.png"));
    ::kill(first, SIGCONT);

    // After a crash, which leaves its socket and lock behind, the next
    // launch takes the application's place, and later ones find it.
    launches.crash(first);
    const pid_t next = launches.start({});
    ASSERT_TRUE(launches.waitUntilListening(next));
    EXPECT_EQ(launches.run({}), 0);
    EXPECT_TRUE(launches.isRunning(next));
}

// A launch whose request reaches a stopped application leaves the files to
// it: it waits for the answer, then opens nothing and ends with status 1
// (instead of opening them as a second application, which the stopped
// one, once it runs on, would do again). The one application still takes
// requests afterwards. Without a socket to reach the application that
// holds the place, a launch does the same.
TEST(WindowedLaunch, AnApplicationThatDoesNotAnswerKeepsTheFilesAndItsPlace) {
    Launches launches;
    const std::string document =
        fs::canonical(lf::test::sharedFile("psd-tagged/01-plain.psd")).string();
    const pid_t first = launches.start({});
    ASSERT_TRUE(launches.waitUntilListening(first));

    ::kill(first, SIGSTOP);
    const int stopped = launches.run({document});
    ::kill(first, SIGCONT);
    EXPECT_EQ(stopped, 1) << "124: the launch runs on as a second application";
    EXPECT_TRUE(launches.waitUntilListening(first));
    EXPECT_EQ(launches.run({}), 0);

    fs::remove(launches.socket());
    EXPECT_EQ(launches.run({document}), 1);
    EXPECT_TRUE(launches.isRunning(first));
}

// A launch checks its paths before it hands them over: each one that
// cannot be opened is named on the error stream with the headless road's
// line, and the launch ends with status 1 (the others are handed over).
// Given nothing that can be opened, it hands nothing over, not even the
// wish for a window.
TEST(WindowedLaunch, PathsThatCannotBeOpenedAreRefusedBeforeTheHandOver) {
    Launches launches;
    const std::string document =
        fs::canonical(lf::test::sharedFile("psd-tagged/01-plain.psd")).string();
    const std::string missing = launches.scratch() / "missing.psd",
                      dangling = launches.scratch() / "dangling.psd";
    fs::create_symlink(launches.scratch() / "nowhere.psd", dangling);
    const pid_t first = launches.start({});
    ASSERT_TRUE(launches.waitUntilListening(first));

    std::string err;
    EXPECT_EQ(launches.run({missing, document, dangling}, &err), 1);
    const std::string missingLine =
        "layerflow: NSPOSIXErrorDomain 2: open " + missing + ": No such file or directory\n";
    EXPECT_EQ(err, missingLine + "layerflow: NSPOSIXErrorDomain 2: open " + dangling +
                       ": Is a link to nothing\n");
    EXPECT_EQ(launches.run({missing}, &err), 1);
    EXPECT_EQ(err, missingLine);
    EXPECT_EQ(launches.run({missing, "--save-to", launches.scratch() / "out"}, &err), 1);
    EXPECT_EQ(err, missingLine);

    EXPECT_EQ(launches.run({document}, &err), 0);
    EXPECT_EQ(err, "");
    EXPECT_TRUE(launches.isRunning(first));
}

// With no application running, a launch given only paths that cannot be
// opened names them, ends with status 1 and opens no window: it never
// becomes the application, which would run on (and be ended by run()'s
// watchdog, status 124) and listen.
TEST(WindowedLaunch, WithoutARunningApplicationOnlyRefusedPathsOpenNothing) {
    Launches launches;
    const std::string missing = launches.scratch() / "missing.psd",
                      dangling = launches.scratch() / "dangling.psd";
    fs::create_symlink(launches.scratch() / "nowhere.psd", dangling);

    std::string err;
    EXPECT_EQ(launches.run({missing, dangling}, &err), 1);
    EXPECT_EQ(err, "layerflow: NSPOSIXErrorDomain 2: open " + missing +
                       ": No such file or directory\n"
                       "layerflow: NSPOSIXErrorDomain 2: open " +
                       dangling + ": Is a link to nothing\n");
    EXPECT_FALSE(fs::exists(launches.socket()));
    fs::path lock = launches.socket();
    lock += ".lock";
    EXPECT_FALSE(fs::exists(lock));
}

// A FIFO named like a document, with no writer, is refused with the
// headless road's line without waiting for one: by a launch without and
// with a running application, and on the headless road; status 1. A launch
// that waited would be ended by run()'s watchdog (status 124).
TEST(WindowedLaunch, AFIFOIsRefusedWithoutWaitingForAWriter) {
    Launches launches;
    const std::string fifo = launches.scratch() / "pipe.psd";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string refusal = "layerflow: NSPOSIXErrorDomain 22: open " + fifo +
                                ": Is a named pipe (FIFO), not a file or folder\n";
    const fs::path out = launches.scratch() / "out";

    std::string err;
    EXPECT_EQ(launches.run({fifo}, &err), 1);
    EXPECT_EQ(err, refusal);
    EXPECT_FALSE(fs::exists(launches.socket()));
    EXPECT_EQ(launches.run({fifo, "--save-to", out.string()}, &err), 1);
    EXPECT_EQ(err, refusal);
    EXPECT_FALSE(fs::exists(out));

    const pid_t first = launches.start({});
    ASSERT_TRUE(launches.waitUntilListening(first));
    EXPECT_EQ(launches.run({fifo}, &err), 1);
    EXPECT_EQ(err, refusal);
    EXPECT_TRUE(launches.isRunning(first));
}

// A repeating flow whose document was saved while no application ran:
// the next launch exports it. The first launch exports the change its
// flow was left with and records the document as exported; it is killed,
// the document is saved, and the second launch writes the output anew.
TEST(WindowedLaunch, ASaveMadeWhileNoApplicationRanIsExportedAtTheNextLaunch) {
    Launches launches;
    const fs::path document = launches.scratch() / "plain.psd", out = launches.scratch() / "out",
                   settings = launches.scratch() / "config" / "layerflow" / "defaults.json";
    const auto save = [&] {
        fs::copy_file(lf::test::sharedFile("psd-tagged/01-plain.psd"), document.string() + ".new",
                      fs::copy_options::overwrite_existing);
        fs::rename(document.string() + ".new", document);
    };
    save();
    fs::create_directories(settings.parent_path());
    const nlohmann::json flow = {{"$class", "QFExportFlow"},
                                 {"input",
                                  {{"$class", "QFFlowInput"},
                                   {"inputTypes", {"com.adobe.photoshop-image"}},
                                   {"inputURLs", {document.string()}}}},
                                 {"behavior", 2},
                                 {"outputDirectoryURL", out.string()},
                                 {"lastRunNumberOfItemsSaved", 0},
                                 {"hasUnexportedChanges", true}};
    std::ofstream(settings) << nlohmann::json{{"RecentFlowsData-1.0", {flow}}};
    const auto waitFor = [](const std::function<bool()>& done) {
        for (const auto deadline = std::chrono::steady_clock::now() + lf::test::kPatience;
             std::chrono::steady_clock::now() < deadline;) {
            if (done()) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    };
    const auto outputInode = [&] {
        struct stat info {};
        return ::stat((out / "pixel.png").c_str(), &info) == 0 ? info.st_ino : ino_t{0};
    };

    const pid_t first = launches.start({});
    ASSERT_TRUE(waitFor([&] {
        std::ifstream in(settings);
        return std::string(std::istreambuf_iterator<char>(in), {}).find("exportedInputTokens") !=
               std::string::npos;
    }));
    const ino_t exported = outputInode();
    ASSERT_NE(exported, ino_t{0});
    launches.crash(first);

    save();
    launches.start({});
    EXPECT_TRUE(waitFor([&] { return outputInode() != exported && outputInode() != 0; }));
}

}  // namespace
