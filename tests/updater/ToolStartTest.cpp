// A tool's start, as a helper program that is not ours may make it: the
// start helper's program (or the group keeper's) replaced by a script.
// One that runs the tool in its place, handing it the report's pipe,
// which stays open as long as the tool runs: a tool that writes more than
// a pipe holds before anyone reads it then never ends; its time, a cancel
// and the quit end it, with its group, and refuse the unpacking. One that
// reports what no helper of ours reports, and goes on: the start fails at
// once. And a start that takes a share of the tool's time leaves the tool
// only the rest.

#include "ArchiveTestSupport.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/FileDescriptor.h"
#include "platform/processes/HelperPrograms.h"
#include "updater/unpacking/OMAUArchiveListing.h"
#include "updater/unpacking/OMAUArchiveTool.h"
#include "updater/unpacking/OMAUToolProcess.h"
#include "updater/unpacking/OMAUWorkUnderWay.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using lf::test::ArchiveTest;

namespace {

// Waits until `happened` says so.
void await(const std::function<bool()>& happened) {
    const auto giveUp = std::chrono::steady_clock::now() + lf::test::kPatience;
    while (!happened() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(1ms);
}

// In place of a helper program for its life: a script that notes its
// process group (the tool's: the start helper's program becomes the tool,
// and the keeper joins its group) and then runs the shell commands `then`
// with the helper's arguments.
class StandInHelper {
public:
    StandInHelper(const fs::path& folder, const lf::HelperProgram& helper, const std::string& then)
        : script_(folder / helper.name), noted_(folder / (std::string(helper.name) + ".groups")) {
        lf::test::writeFile(script_,
                            "#!/bin/sh\nread -r pid name state parent group rest "
                            "</proc/$$/stat\necho $group >> '" +
                                noted_.string() + "'\n" + then + "\n");
        ::chmod(script_.c_str(), 0755);
        fs::remove(noted_);
        standsIn_.emplace(helper.variable, script_.string());
    }

    // The groups it stood in, as it noted them.
    std::vector<pid_t> groups() const {
        std::vector<pid_t> groups;
        std::ifstream noted(noted_);
        for (pid_t group; noted >> group;)
            groups.push_back(group);
        return groups;
    }
    // Whether each tool's group it stood in is gone, the tool with it.
    bool nothingLeftRunning() const {
        for (const pid_t group : groups()) {
            if (!lf::test::processEnded(group)) return false;
            for (const lf::test::GroupMember& member : lf::test::groupMembers(group))
                if (member.state != 'Z' && member.state != 'X') return false;
        }
        return true;
    }

private:
    fs::path script_, noted_;
    std::optional<lf::test::ScopedEnvironment> standsIn_;
};

// What the start helper does to run the tool in its place without a word.
constexpr const char* kRunTheTool = "p=\"$3\"; shift 4; exec \"$p\" \"$@\"";

// A zip whose names, listed, take far more than a pipe holds.
fs::path zipOfManyNames(const fs::path& folder) {
    const fs::path zip = folder / "App.zip";
    EXPECT_TRUE(lf::test::runIn(
        folder,
        "python3 -c 'import zipfile\n"
        "with zipfile.ZipFile(\"" +
            zip.string() +
            "\", \"w\") as z:\n"
            "    for i in range(3000): z.writestr(\"layerflow.app/%s%05d\" % (\"n\" * 40, "
            "i), \"\")'"));
    return zip;
}

TEST_F(ArchiveTest, AToolStartedWithoutAWordIsEndedWithinItsTime) {
    LF_REQUIRE_INSTALLED(lf::test::hasProgram("python3"), "python3");
    const fs::path zip = zipOfManyNames(download());
    const StandInHelper helper(folder_.path(), lf::kDieWithParent, kRunTheTool);

    // A listing tool, blocked on its output.
    const lf::Status listed = OMAUReadToolLines(
        OMAUListingArguments(OMAUArchiveKind::ZIP, zip.string()).front(),
        [](std::string_view) { return true; }, 300ms);
    ASSERT_FALSE(listed);
    EXPECT_EQ(listed.error().code, kOMAUArchiveToolFailed);
    EXPECT_EQ(listed.error().localizedDescription(), "unzip did not start within 0.3 seconds");

    // An unpacking tool, blocked on its error output.
    OMAUUnpackingTool tool = lf::test::shellTool(folder_ / "out", "head -c 200000 /dev/zero >&2");
    fs::create_directories(tool.folder);
    tool.timeLimit = 300ms;
    const lf::Result<OMAUUnpackingOutcome> unpacked = OMAURunUnpackingTool(tool);
    ASSERT_FALSE(unpacked);
    EXPECT_EQ(unpacked.error().localizedDescription(), "sh did not start within 0.3 seconds");

    EXPECT_EQ(helper.groups().size(), 2u);
    EXPECT_TRUE(helper.nothingLeftRunning());
}

TEST_F(ArchiveTest, ACancelOrAQuitEndsAToolStartedWithoutAWord) {
    LF_REQUIRE_INSTALLED(lf::test::hasProgram("python3"), "python3");
    const fs::path zip = zipOfManyNames(download());
    const StandInHelper helper(folder_.path(), lf::kDieWithParent, kRunTheTool);
    // Once the tool runs, its start awaited.
    const auto onceStarted = [&] { await([&] { return !helper.groups().empty(); }); };

    std::stop_source stop;
    std::thread canceller([&] {
        onceStarted();
        stop.request_stop();
    });
    const lf::Status cancelled = OMAUExtractArchive(zip.string(), {}, {}, {}, stop.get_token());
    canceller.join();
    ASSERT_FALSE(cancelled);
    EXPECT_TRUE(cancelled.error().is(lf::kPOSIXErrorDomain, ECANCELED))
        << lf::describe(cancelled.error());
    EXPECT_TRUE(helper.nothingLeftRunning());

    // Quitting ends the unarchiver's unpacking, whose delegate hears nothing.
    fs::remove(folder_ / "layerflow-die-with-parent.groups");
    auto recorder = std::make_shared<lf::test::UnarchiverRecorder>();
    auto unarchiver = OMAUUnarchiver::create();
    unarchiver->setDelegate(recorder);
    unarchiver->unarchivePath(zip.string());
    onceStarted();
    OMAUEndUnpackings();
    lf::MainQueue::shared()->drain();
    EXPECT_FALSE(recorder->finished.has_value());
    EXPECT_TRUE(helper.nothingLeftRunning());
    EXPECT_EQ(downloadHolds(), std::vector<std::string>{"App.zip"});
}

TEST_F(ArchiveTest, AStartReportThatIsNoErrorNumberIsAFailedStart) {
    // Four bytes that are no error number, then the tool run unwatched,
    // or a wait: the start is refused at once, well within the tool's
    // time, and the tool goes with its group.
    const std::pair<lf::HelperProgram, std::string> reports[] = {
        {lf::kDieWithParent, "printf XXXX >/proc/self/fd/$2; " + std::string(kRunTheTool)},
        {lf::kGroupKeeper, "printf XXXX >&3; exec sleep 600"},
    };
    for (const auto& [helper, then] : reports) {
        SCOPED_TRACE(helper.name);
        const StandInHelper standIn(folder_.path(), helper, then);
        OMAUUnpackingTool tool = lf::test::shellTool(folder_ / "out", "exec sleep 600");
        fs::create_directories(tool.folder);
        tool.timeLimit = 3s;
        const lf::Result<OMAUUnpackingOutcome> unpacked = OMAURunUnpackingTool(tool);
        ASSERT_FALSE(unpacked);
        EXPECT_TRUE(unpacked.error().is(lf::kPOSIXErrorDomain, EPROTO))
            << lf::describe(unpacked.error());
        EXPECT_EQ(standIn.groups().size(), 1u);
        EXPECT_TRUE(standIn.nothingLeftRunning());
    }
}

// The time the tools' times are counted in, standing still where the test
// puts it.
class ToolClock {
public:
    ToolClock() {
        OMAUToolTime::setClockForTesting([this] {
            std::lock_guard lock(mutex_);
            ++reads_;
            read_.notify_all();
            return now_;
        });
    }
    ~ToolClock() { OMAUToolTime::setClockForTesting(nullptr); }

    // Moves it to `sinceMade` after its making.
    void moveTo(std::chrono::steady_clock::duration sinceMade) {
        std::lock_guard lock(mutex_);
        now_ = made_ + sinceMade;
        reads_ = 0;
    }
    // Waits until it has been read since it was last moved.
    void awaitRead() {
        std::unique_lock lock(mutex_);
        read_.wait_for(lock, lf::test::kPatience, [&] { return reads_ > 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable read_;
    const std::chrono::steady_clock::time_point made_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point now_ = made_;
    int reads_ = 0;
};

TEST_F(ArchiveTest, AStartThatTakesAShareOfTheToolsTimeLeavesItTheRest) {
    // The start helper holds the start until the test lets it go; the tool
    // writes more than a pipe holds, which it can only once its start is
    // over and its output read, and then runs until the test ends it with
    // a line through a FIFO. It starts no process of its own, which could
    // linger a moment after the kill of its group.
    constexpr auto kLimit = 10s;
    const fs::path go = folder_ / "go", running = folder_ / "running", end = folder_ / "end";
    const std::string script = "printf '%0200000d' 0 >&2; : > '" + running.string() +
                               "'; read -r line < '" + end.string() + "'";
    // What ended each tool's run.
    const std::function<std::string()> tools[] = {
        [&] {
            const lf::Result<std::string> listed = OMAUToolOutput({"sh", "-c", script}, kLimit);
            return listed ? "its end" : listed.error().localizedDescription();
        },
        [&] {
            OMAUUnpackingTool tool = lf::test::shellTool(folder_ / "out", script);
            fs::create_directories(tool.folder);
            tool.timeLimit = kLimit;
            const lf::Result<OMAUUnpackingOutcome> unpacked = OMAURunUnpackingTool(tool);
            return unpacked ? "its end" : unpacked.error().localizedDescription();
        },
    };
    for (const std::function<std::string()>& runTool : tools) {
        SCOPED_TRACE(&runTool == tools ? "listing" : "unpacking");
        for (const fs::path& mark : {go, running, end})
            fs::remove(mark);
        ASSERT_EQ(::mkfifo(end.c_str(), 0600), 0);
        const StandInHelper helper(folder_.path(), lf::kDieWithParent,
                                   "while [ ! -e '" + go.string() +
                                       "' ]; do sleep 0.01; done; exec '" LF_DIE_WITH_PARENT_PATH
                                       "' \"$@\"");
        ToolClock clock;
        std::string ended;
        std::thread run([&] { ended = runTool(); });
        await([&] { return !helper.groups().empty(); });
        clock.moveTo(kLimit / 2);
        lf::test::writeFile(go, "");
        await([&] { return fs::exists(running); });
        // Past the tool's time counted from before its start, within it
        // counted from after.
        clock.moveTo(kLimit + 1ms);
        clock.awaitRead();
        const lf::FileDescriptor ending(::open(end.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
        EXPECT_EQ(::write(ending.get(), "\n", 1), 1);
        run.join();
        EXPECT_EQ(ended, "sh did not end within 10 seconds");
        EXPECT_TRUE(helper.nothingLeftRunning());
    }
}

}  // namespace
