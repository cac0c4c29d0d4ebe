// An unpacking's tool and folders do not outlive the application: the
// tool and its whole group die with it however it ends, whoever adopts
// them, quitting or cancelling ends the unpacking under way at any step,
// and what a killed application left behind goes at the next launch.

#include "ArchiveTestSupport.h"
#include "ChildChecks.h"
#include "EngineTestSupport.h"
#include "platform/dispatch/MainQueue.h"
#include "updater/unpacking/OMAUUnpackingFolder.h"
#include "updater/walks/OMAUHeldFolder.h"
#include "updater/walks/OMAUScratchFolders.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <sstream>
#include <stop_token>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using lf::test::ArchiveTest;
using lf::test::processEnded;
using lf::test::runIn;
using lf::test::UnarchiverRecorder;

namespace {

// Waits until `pid` has ended; false when it has not after a minute, far
// above any stall, and then kills it so that it writes no more.
bool endsSoon(pid_t pid) {
    const auto giveUp = std::chrono::steady_clock::now() + 1min;
    while (!processEnded(pid) && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(1ms);
    if (processEnded(pid)) return true;
    ::kill(pid, SIGKILL);
    return false;
}

// Starts an application, a child process, that unpacks `archive` and
// stands still once it has handed the tool the first piece, and returns
// its process id then.
pid_t startUnpackingUntilFed(const fs::path& archive) {
    int fed[2];
    EXPECT_EQ(::pipe2(fed, O_CLOEXEC), 0);
    const pid_t application = lf::test::startInChild([&] {
        static_cast<void>(OMAUExtractArchive(archive.string(), [&](uint64_t) {
            static_cast<void>(!::write(fed[1], "f", 1));
            ::pause();
        }));
    });
    ::close(fed[1]);
    char byte = 0;
    EXPECT_EQ(::read(fed[0], &byte, 1), 1) << "the tool was never fed";
    ::close(fed[0]);
    return application;
}

// Launches an engine, as the application does, and waits until the sweep
// it starts off the main thread has ended.
void launchAndSweep() {
    const lf::test::TemporaryDirectory settings;
    OMAUUpdater::Environment environment;
    environment.host = lf::test::makeHost({{"AUCheckAtStartup", false}});
    environment.defaults = std::make_shared<lf::UserDefaults>((settings / "d.json").string());
    environment.scheduler = std::make_shared<lf::test::ManualScheduler>();
    environment.presenter = std::make_shared<lf::test::ScriptedPresenter>();
    const std::shared_ptr<OMAUUpdater> engine = OMAUUpdater::create(environment);
    engine->applicationDidFinishLaunching();
    ASSERT_TRUE(engine->launchSweep());
    engine->launchSweep()->waitUntilEnded();
}

// The names of the unpacking folders in `folder`.
std::vector<std::string> unpackingFolders(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().find(".unpacking-") != std::string::npos)
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(OMAUUnpackingLifetime, AToolDiesWithTheApplicationHoweverItIsKilled) {
    for (const int signal : {SIGKILL, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal));
        lf::test::TemporaryDirectory home;
        const fs::path folder = home / "unpacking";
        fs::create_directory(folder);
        int wrote[2];
        ASSERT_EQ(::pipe2(wrote, O_CLOEXEC), 0);
        // A tool that writes on and on from its own process, and takes no
        // hang-up: the kernel hangs up a group left stopped by a parent
        // that went, and the watch may hold it at that moment.
        const pid_t application = lf::test::startInChild([&] {
            OMAUUnpackingTool tool =
                lf::test::shellTool(folder,
                                    "trap '' HUP; echo $$ > \"$0/../tool\"; i=0; "
                                    "while :; do printf x > \"$0/f$i\"; i=$((i+1)); done");
            tool.limits.entries = UINT64_MAX;
            tool.changeHook = [&](std::string_view) {
                static_cast<void>(!::write(wrote[1], "w", 1));
            };
            static_cast<void>(OMAURunUnpackingTool(tool));
        });
        ::close(wrote[1]);
        char byte = 0;
        ASSERT_EQ(::read(wrote[0], &byte, 1), 1) << "the tool wrote nothing";
        ::close(wrote[0]);
        const pid_t tool = std::stoi(lf::test::readText(home / "tool"));
        ASSERT_EQ(::kill(application, signal), 0);
        ASSERT_EQ(::waitpid(application, nullptr, 0), application);
        EXPECT_TRUE(endsSoon(tool)) << "the tool outlived its application";
        const uint64_t written = lf::test::lengthUnder(folder);
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(lf::test::lengthUnder(folder), written);
    }
}

// While alive, this process is a child subreaper, as a container's init
// and some launchers are: the processes its children leave as they end
// become its own, so the kernel never finds their groups orphaned and
// never hangs up those held stopped.
class ChildSubreaper {
public:
    ChildSubreaper() { EXPECT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0); }
    ~ChildSubreaper() { ::prctl(PR_SET_CHILD_SUBREAPER, 0); }
};

// Whether every process of `members` has ended within a second, those
// this process adopted reaped as they end.
bool allEndWithinASecond(const std::vector<lf::test::GroupMember>& members) {
    const auto giveUp = std::chrono::steady_clock::now() + 1s;
    for (;;) {
        bool left = false;
        for (const lf::test::GroupMember& member : members) {
            ::waitpid(member.pid, nullptr, WNOHANG);
            left = left || !processEnded(member.pid);
        }
        if (!left) return true;
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(1ms);
    }
}

TEST_F(ArchiveTest, AHeldToolGoesWithTheApplicationUnderASubreaper) {
    // tar forks a tar of its own and the decompressor; the application is
    // killed while the watch holds the whole group, with this process
    // adopting what it leaves. 64 MiB of zeros: tar writes long after its
    // first entry, which the watch takes in holding the group.
    ASSERT_TRUE(runIn(source(), "truncate -s 64M layerflow.app/zeros"));
    const ChildSubreaper subreaper;
    for (const auto& [name, command] : {std::pair{"App.tgz", "tar -czf %s layerflow.app"},
                                        std::pair{"App.tbz", "tar -cjf %s layerflow.app"}}) {
        SCOPED_TRACE(name);
        const fs::path archive = make(name, command);
        const fs::path folder = folder_ / (std::string("into-") + name);
        fs::create_directory(folder);
        int held[2];
        ASSERT_EQ(::pipe2(held, O_CLOEXEC), 0);
        const pid_t application = lf::test::startInChild([&] {
            lf::Result<lf::FileDescriptor> input = lf::FileDescriptor::openForReading(archive);
            OMAUUnpackingTool tool;
            tool.arguments = OMAUUnpackingArguments(*OMAUArchiveKindOfPath(archive),
                                                    archive.string(), folder.string());
            tool.folder = folder;
            tool.input = &*input;
            tool.changeHook = [&](std::string_view) {
                static_cast<void>(!::write(held[1], "h", 1));
                ::pause();
            };
            static_cast<void>(OMAURunUnpackingTool(tool));
        });
        ::close(held[1]);
        char byte = 0;
        ASSERT_EQ(::read(held[0], &byte, 1), 1) << "the tool wrote nothing";
        ::close(held[0]);
        const std::vector<pid_t> tars = lf::test::processesNaming(folder.string());
        ASSERT_FALSE(tars.empty());
        const std::optional<pid_t> group = lf::test::processGroupOf(tars.front());
        ASSERT_TRUE(group);
        const std::vector<lf::test::GroupMember> members = lf::test::groupMembers(*group);
        EXPECT_GE(members.size(), 2u) << "tar and the tar it forked";

        ASSERT_EQ(::kill(application, SIGKILL), 0);
        ASSERT_EQ(::waitpid(application, nullptr, 0), application);
        EXPECT_TRUE(allEndWithinASecond(members)) << "a process of the tool was left";
        ::kill(-*group, SIGKILL);
        allEndWithinASecond(members);
    }
}

TEST_F(ArchiveTest, ACancelledUnpackingKillsItsToolAndLeavesNothing) {
    // Noise does not compress: the archive comes in many pieces, and is
    // cancelled as the first is handed to tar, with tar at work.
    ASSERT_TRUE(runIn(source(), "head -c 4194304 /dev/urandom > layerflow.app/noise"));
    const fs::path archive = make("App.tar", "tar -cf %s layerflow.app");
    std::stop_source stop;
    const lf::Status cancelled = OMAUExtractArchive(
        archive.string(), [&](uint64_t) { stop.request_stop(); }, {}, {}, stop.get_token());
    ASSERT_FALSE(cancelled);
    EXPECT_TRUE(cancelled.error().is(lf::kPOSIXErrorDomain, ECANCELED))
        << lf::describe(cancelled.error());
    EXPECT_EQ(downloadHolds(), std::vector<std::string>{"App.tar"});
    for (const pid_t tool : lf::test::processesNaming(download().string()))
        EXPECT_TRUE(processEnded(tool)) << "tool " << tool;
}

TEST_F(ArchiveTest, AnUnarchiverCancelledConcurrentlyTellsItsDelegateNothing) {
    // Cancelled as its thread starts, it says nothing to its delegate, and
    // ending the unpackings waits until it has cleared up.
    const fs::path archive = make("App.tgz", "tar -czf %s layerflow.app");
    auto recorder = std::make_shared<UnarchiverRecorder>();
    auto unarchiver = OMAUUnarchiver::create();
    unarchiver->setDelegate(recorder);
    unarchiver->unarchivePath(archive.string());
    unarchiver->cancel();
    OMAUEndUnpackings();
    lf::MainQueue::shared()->drain();
    EXPECT_FALSE(recorder->finished.has_value());
    EXPECT_EQ(recorder->extracted, 0u);
    EXPECT_EQ(downloadHolds(), std::vector<std::string>{"App.tgz"});
}

TEST_F(ArchiveTest, QuittingDuringAnUnpackingLeavesNoToolAndNoFolder) {
    if (const std::optional<std::string> archive = lf::test::freshProcessArgument()) {
        // The process returns from main with the unarchiver at work.
        auto recorder = std::make_shared<UnarchiverRecorder>();
        auto unarchiver = OMAUUnarchiver::create();
        unarchiver->setDelegate(recorder);
        unarchiver->unarchivePath(*archive);
        lf::MainQueue::shared()->runUntil(
            [&] { return recorder->extracted > 0 || recorder->finished.has_value(); },
            lf::test::kPatience);
        EXPECT_FALSE(recorder->finished.has_value()) << "done before the quit";
        return;
    }
    // 256 MiB of zeros: tar writes them long after it has had its first
    // piece.
    ASSERT_TRUE(runIn(source(), "truncate -s 256M layerflow.app/zeros"));
    const fs::path archive = make("App.tgz", "tar -czf %s layerflow.app");
    lf::test::expectInFreshProcess(archive.string());
    EXPECT_EQ(downloadHolds(), std::vector<std::string>{"App.tgz"});
    for (const pid_t tool : lf::test::processesNaming(download().string()))
        EXPECT_TRUE(processEnded(tool)) << "tool " << tool;
}

TEST_F(ArchiveTest, QuittingAfterTheToolEndedLeavesNothing) {
    if (const std::optional<std::string> argument = lf::test::freshProcessArgument()) {
        // "STEP HOLD ARCHIVE": the process returns from main once the
        // unpacking has come through the step, held there until the quit
        // stops it unless HOLD is 0; the delegate is never told the end.
        std::istringstream words(*argument);
        int step = 0, hold = 0;
        std::string archive;
        words >> step >> hold >> std::ws;
        std::getline(words, archive);
        // The hook runs on until the quit, after this body has returned:
        // it owns all it reads.
        auto reached = std::make_shared<std::promise<void>>();
        std::future<void> reaching = reached->get_future();
        auto recorder = std::make_shared<UnarchiverRecorder>();
        auto unarchiver = OMAUUnarchiver::create();
        unarchiver->setDelegate(recorder);
        unarchiver->setStepHook([reached, step, hold](OMAUUnpackingStep at, std::stop_token stop) {
            if (static_cast<int>(at) != step) return;
            reached->set_value();
            std::mutex mutex;
            std::condition_variable_any never;
            std::unique_lock lock(mutex);
            never.wait(lock, stop, [hold] { return hold == 0; });
        });
        unarchiver->unarchivePath(archive);
        reaching.wait();
        return;
    }
    ASSERT_TRUE(runIn(source(),
                      "mkdir layerflow.app/many && cd layerflow.app/many && "
                      "for i in $(seq 300); do echo $i > f$i; done"));
    const fs::path archive = make("App.tar", "tar -cf %s layerflow.app");
    const OMAUUnpackingStep steps[] = {OMAUUnpackingStep::ToolEnded,
                                       OMAUUnpackingStep::FoldersOpened, OMAUUnpackingStep::Counted,
                                       OMAUUnpackingStep::Checked, OMAUUnpackingStep::Moved};
    for (const OMAUUnpackingStep step : steps) {
        // Held in the step, and, after the move, also let go on at once:
        // the delegate, on a main thread that never runs its queue again,
        // never takes what was moved.
        for (const int hold : {1, 0}) {
            if (hold == 0 && step != OMAUUnpackingStep::Moved) continue;
            SCOPED_TRACE(fmt::format("step {}, held {}", static_cast<int>(step), hold));
            lf::test::expectInFreshProcess(
                fmt::format("{} {} {}", static_cast<int>(step), hold, archive.string()));
            EXPECT_EQ(downloadHolds(), std::vector<std::string>{"App.tar"});
            // What a failed run left would stand in the next one's way.
            for (const fs::directory_entry& entry : fs::directory_iterator(download()))
                if (entry.path() != archive) OMAURemoveQuietly(entry.path());
        }
    }
    EXPECT_TRUE(extract(archive));
    EXPECT_TRUE(fs::is_regular_file(download() / "layerflow.app" / "many" / "f300"));
}

TEST_F(ArchiveTest, AnUnpackingFolderLeftByAKilledApplicationGoesAtTheNextLaunch) {
    // Two applications unpack in a download folder, each standing still
    // with its tool fed; one is killed, the other goes on. Beside them,
    // folders and a file that only look alike.
    const fs::path temporary = folder_ / "tmp", downloads = temporary / "layerflow-update-a1B2c3";
    fs::create_directories(downloads);
    const lf::test::ScopedEnvironment tmpdir("TMPDIR", temporary.string());
    ASSERT_TRUE(runIn(source(), "head -c 1048576 /dev/urandom > layerflow.app/noise"));
    const fs::path archive = downloads / "App.tar";
    fs::copy_file(make("App.tar", "tar -cf %s layerflow.app"), archive);
    const pid_t killed = startUnpackingUntilFed(archive);
    const std::vector<std::string> left = unpackingFolders(downloads);
    const pid_t living = startUnpackingUntilFed(archive);
    std::vector<std::string> held = unpackingFolders(downloads);
    ASSERT_EQ(left.size(), 1u);
    ASSERT_EQ(held.size(), 2u);
    std::erase(held, left[0]);
    const std::vector<std::string> lookAlike = {
        ".App.tar.unpacking-d4E5f6", ".App.tar.unpacking-d4E5f", ".App.tar.unpacking-d4E5f6g",
        ".App.tar.unpacking-d4E5f!"};
    fs::create_directory(downloads / ".App.tar.other-a1B2c3");
    lf::test::writeFile(downloads / lookAlike[0], "a file");
    for (size_t i = 1; i < lookAlike.size(); ++i)
        fs::create_directory(downloads / lookAlike[i]);
    ::kill(killed, SIGKILL);
    ::waitpid(killed, nullptr, 0);

    launchAndSweep();
    held.insert(held.end(), lookAlike.begin(), lookAlike.end());
    std::sort(held.begin(), held.end());
    EXPECT_EQ(unpackingFolders(downloads), held) << "the killed application's went";
    EXPECT_TRUE(fs::is_directory(downloads / ".App.tar.other-a1B2c3"));

    // Nothing holds the download folder any more: it goes whole.
    ::kill(living, SIGKILL);
    ::waitpid(living, nullptr, 0);
    launchAndSweep();
    EXPECT_FALSE(fs::exists(downloads));
}

TEST_F(ArchiveTest, ALaunchRemovesTheDownloadFoldersNothingHolds) {
    // An abandoned download folder holding an archive and the tree it
    // unpacked to; one an update in progress holds, with an unpacking
    // folder of an archive whose name is the longest there is, abandoned,
    // and another in use; and a link that only looks like one.
    const fs::path temporary = folder_ / "tmp";
    const fs::path abandoned = temporary / "layerflow-update-Ab4nd0",
                   live = temporary / "layerflow-update-L1ve00";
    fs::create_directories(abandoned);
    fs::create_directories(live);
    const lf::test::ScopedEnvironment tmpdir("TMPDIR", temporary.string());
    ASSERT_TRUE(runIn(source(),
                      "mkdir layerflow.app/many && cd layerflow.app/many && "
                      "for i in $(seq 500); do mkdir d$i && echo $i > d$i/f; done"));
    fs::copy_file(make("App.tar", "tar -cf %s layerflow.app"), abandoned / "App.tar");
    ASSERT_TRUE(runIn(abandoned, "tar -xf App.tar && chmod -R a-w layerflow.app"));
    fs::create_directory_symlink(source(), temporary / "layerflow-update-L1nk00");
    const lf::Result<OMAUHeldFolder> inUse = OMAUHeldFolder::hold(live);
    ASSERT_TRUE(inUse) << lf::describe(inUse.error());
    const fs::path longest = live / (std::string(251, 'u') + ".tar");
    std::string leftBehind = OMAUFolderPatternBeside(longest, "unpacking");
    ASSERT_TRUE(::mkdtemp(leftBehind.data()));
    lf::Result<OMAUUnpackingFolder> unpacking = OMAUUnpackingFolder::reserveBeside(longest);
    ASSERT_TRUE(unpacking) << lf::describe(unpacking.error());
    lf::test::writeFile(live / "App.tar", "");

    launchAndSweep();
    EXPECT_FALSE(fs::exists(abandoned));
    EXPECT_FALSE(fs::exists(leftBehind)) << "an abandoned unpacking folder of a shortened name";
    EXPECT_TRUE(fs::is_directory(unpacking->path()));
    EXPECT_TRUE(fs::exists(live / "App.tar"));
    EXPECT_TRUE(fs::is_directory(source() / "layerflow.app" / "many"));
}

}  // namespace
