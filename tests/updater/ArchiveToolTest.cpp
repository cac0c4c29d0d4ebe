// The archive tools' runs, whatever a tool does: ended with its children
// when it stops or runs out of time, and stopped once its entries pass the
// limits, with a bounded number of folders watched meanwhile.

#include "ArchiveTestSupport.h"
#include "UpdaterTestSupport.h"
#include "support/TestSupport.h"
#include "updater/unpacking/OMAUArchiveExtraction.h"
#include "updater/unpacking/OMAUArchiveTool.h"
#include "updater/unpacking/OMAUToolErrors.h"
#include "updater/unpacking/OMAUUnpackedLengthWatch.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using lf::test::GroupMember;
using lf::test::groupMembers;
using lf::test::shellTool;

namespace {

TEST(OMAUArchiveTool, AToolThatStopsOrRunsOutOfTimeGoesWithItsChildren) {
    lf::test::TemporaryDirectory folder;
    struct Run {
        const char* script;
        std::chrono::milliseconds timeLimit;
        const char* says;
    };
    // Stopped as one reading a terminal it may not use would be.
    const Run runs[] = {{"sleep 60 & kill -STOP $$", 30s, "sh stopped before it ended"},
                        {"sleep 60 & wait", 200ms, "sh did not end within 0.2 seconds"}};
    for (const Run& run : runs) {
        SCOPED_TRACE(run.script);
        // The tool and its children inherit the write end (it is not closed
        // on exec): the read end ends once the last of them has gone.
        int held[2];
        ASSERT_EQ(::pipe(held), 0);
        OMAUUnpackingTool tool = shellTool(folder.path(), run.script);
        tool.timeLimit = run.timeLimit;
        lf::Result<OMAUUnpackingOutcome> outcome = OMAURunUnpackingTool(tool);
        ::close(held[1]);
        ASSERT_FALSE(outcome);
        EXPECT_EQ(outcome.error().code, kOMAUArchiveToolFailed);
        EXPECT_EQ(outcome.error().localizedDescription(), run.says);
        pollfd ended = {held[0], POLLIN, 0};
        EXPECT_EQ(::poll(&ended, 1, 10000), 1) << "the tool's sleep outlived it";
        ::close(held[0]);
    }

    // A listing tool, as it writes and once it has closed its output.
    const Run listings[] = {{"kill -STOP $$", 30s, "sh stopped before it ended"},
                            {"exec >&-; kill -STOP $$", 30s, "sh stopped before it ended"},
                            {"exec >&-; sleep 60", 200ms, "sh did not end within 0.2 seconds"}};
    for (const Run& run : listings) {
        SCOPED_TRACE(run.script);
        lf::Result<std::string> listing = OMAUToolOutput({"sh", "-c", run.script}, run.timeLimit);
        ASSERT_FALSE(listing);
        EXPECT_EQ(listing.error().localizedDescription(), run.says);
    }
}

TEST(OMAUArchiveTool, AFailedToolsReasonIsItsFirstErrorLine) {
    // Blank lines before it, a line after it and a megabyte more, which is
    // read and let go; a line past the limit is cut there; an unpacking
    // tool's line names its folder as told.
    lf::Result<std::string> said = OMAUToolOutput(
        {"sh", "-c",
         "printf '\\n  \\n  the reason  \\nmore\\n' >&2; head -c 1048576 /dev/zero >&2; exit 3"});
    ASSERT_FALSE(said);
    EXPECT_EQ(said.error().code, kOMAUArchiveToolFailed);
    EXPECT_EQ(said.error().localizedDescription(), "sh: the reason");
    lf::Result<std::string> cut =
        OMAUToolOutput({"sh", "-c", "head -c 5000 /dev/zero | tr '\\0' x >&2; exit 1"});
    ASSERT_FALSE(cut);
    EXPECT_EQ(cut.error().localizedDescription(),
              "sh: " + std::string(kOMAUToolErrorLineLimit, 'x'));
    lf::Result<std::string> brief = OMAUToolOutput({"sh", "-c", "echo x >&2; exit 1"});
    ASSERT_FALSE(brief);
    EXPECT_EQ(brief.error().localizedDescription(), "sh: x");
    lf::Result<std::string> silent = OMAUToolOutput({"sh", "-c", "exit 4"});
    ASSERT_FALSE(silent);
    EXPECT_EQ(silent.error().localizedDescription(),
              "sh failed without saying why (exit status 4)");

    lf::test::TemporaryDirectory folder;
    OMAUUnpackingTool tool = shellTool(folder.path(), "echo \"cannot write $0/a\" >&2; exit 2");
    tool.folderName = "App.tar";
    lf::Result<OMAUUnpackingOutcome> outcome = OMAURunUnpackingTool(tool);
    ASSERT_TRUE(outcome) << lf::describe(outcome.error());
    EXPECT_EQ(outcome->errorLine, "cannot write App.tar/a");
}

TEST(OMAUArchiveTool, AToolThatWarnsOnAndOnIsNeverHeldUpByItsErrorOutput) {
    // Far more than a pipe holds, written while the tool runs, listing or
    // unpacking: read as it comes, it never fills the pipe, where the tool
    // would wait until its time ran out.
    const std::string warnings =
        "line=$(printf '%80s'); i=0; "
        "while [ $i -lt 4000 ]; do echo \"warning $i:$line\" >&2; i=$((i+1)); done";
    lf::Result<std::string> listed = OMAUToolOutput({"sh", "-c", warnings + "; echo listed"});
    ASSERT_TRUE(listed) << lf::describe(listed.error());
    EXPECT_EQ(*listed, "listed\n");

    lf::test::TemporaryDirectory folder;
    lf::Result<OMAUUnpackingOutcome> outcome =
        OMAURunUnpackingTool(shellTool(folder.path(), warnings + "; echo x > \"$0/unpacked\""));
    ASSERT_TRUE(outcome) << lf::describe(outcome.error());
    EXPECT_TRUE(outcome->termination.succeeded()) << outcome->termination.description();
    EXPECT_TRUE(fs::exists(folder / "unpacked"));
}

TEST(OMAUArchiveTool, AToolIsStoppedOnceItsEntriesPassTheLimits) {
    // A thousand empty folders at once, then a wait that only the watch
    // cuts short: by their number, and by the block each takes; and a
    // path of 200 folders, by its depth.
    const std::string thousand = "cd \"$0\" && mkdir $(seq -f d%g 1000) && exec sleep 30";
    const std::string deep = "cd \"$0\" && mkdir -p $(printf 'd/%.0s' $(seq 200)) && exec sleep 30";
    const std::pair<std::string, OMAUUnpackingLimits> runs[] = {
        {thousand, {.entries = 100}}, {thousand, {.length = 100 * kOMAUEntryBlock}}, {deep, {}}};
    for (const auto& [script, limits] : runs) {
        SCOPED_TRACE(script);
        lf::test::TemporaryDirectory folder;
        OMAUUnpackingTool tool = shellTool(folder.path(), script);
        tool.limits = limits;
        lf::Result<OMAUUnpackingOutcome> outcome = OMAURunUnpackingTool(tool);
        ASSERT_TRUE(outcome) << lf::describe(outcome.error());
        EXPECT_TRUE(outcome->stoppedAtLimit);
    }
}

// Whether every process of the group has stopped, waiting until each
// has taken its stop (a process stops as it next runs) or ended.
bool groupStops(pid_t group) {
    const auto giveUp = std::chrono::steady_clock::now() + 30s;
    for (;;) {
        const std::vector<GroupMember> members = groupMembers(group);
        if (!members.empty() && std::all_of(members.begin(), members.end(), [](auto& member) {
                return member.state == 'T' || member.state == 'Z';
            }))
            return true;
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(1ms);
    }
}

TEST(OMAUArchiveTool, AToolIsHeldOnTheWatchsProcessorWhileItsChangesAreTakenIn) {
    // A tool that never pauses, writing files of 64 KiB from a child of
    // its own, against 40 entries: at each change the watch takes in, the
    // whole group stands still on the watch's one processor, in our
    // session; it is killed still held, so nothing comes after the last
    // change taken in. The child writes with the shell's own printf: a
    // process started meanwhile would hold its parent in vfork, where it
    // cannot write either but does not show as stopped.
    lf::test::TemporaryDirectory home;
    const fs::path folder = home / "unpacking";
    fs::create_directory(folder);
    OMAUUnpackingTool tool =
        shellTool(folder,
                  "echo $$ > \"$0/../group\" && { i=0; while :; do "
                  "printf '%65536s' '' > \"$0/f$i\"; i=$((i+1)); done & } && wait");
    tool.limits = {.entries = 40};
    int changes = 0;
    size_t entriesWhenHeld = 0;
    tool.changeHook = [&](std::string_view) {
        if (::testing::Test::HasFailure()) return;
        // The first changes may come before the tool has named its group.
        const std::string named = lf::test::readText(home / "group");
        if (named.empty() || named.back() != '\n') return;
        const pid_t group = std::stoi(named);
        ++changes;
        ASSERT_TRUE(groupStops(group)) << "change " << changes;
        cpu_set_t watch, member;
        ASSERT_EQ(::sched_getaffinity(0, sizeof watch, &watch), 0);
        EXPECT_EQ(CPU_COUNT(&watch), 1);
        for (const GroupMember& process : groupMembers(group)) {
            EXPECT_EQ(process.session, ::getsid(0));
            if (process.state == 'Z') continue;
            ASSERT_EQ(::sched_getaffinity(process.pid, sizeof member, &member), 0);
            EXPECT_TRUE(CPU_EQUAL(&watch, &member)) << "process " << process.pid;
        }
        entriesWhenHeld = static_cast<size_t>(
            std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    };
    lf::Result<OMAUUnpackingOutcome> outcome = OMAURunUnpackingTool(tool);
    ASSERT_TRUE(outcome) << lf::describe(outcome.error());
    EXPECT_TRUE(outcome->stoppedAtLimit);
    EXPECT_GT(changes, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()),
              entriesWhenHeld);
    cpu_set_t after;
    ASSERT_EQ(::sched_getaffinity(0, sizeof after, &after), 0);
    EXPECT_GT(CPU_COUNT(&after), 1) << "the watch may run anywhere again";
}

TEST(OMAUArchiveTool, FoldersMadeOneAtATimeAreStoppedAtTheDepthBound) {
    // Each folder is made in the one before once the watch has taken in the
    // last: the tool waits for a line, which the test writes as the watch
    // takes in a folder, while the tool is held; so every folder is a
    // change the watch itself counts, never one it finds walking the last.
    lf::test::TemporaryDirectory home;
    const fs::path folder = home / "unpacking", steps = home / "steps";
    fs::create_directory(folder);
    ASSERT_EQ(::mkfifo(steps.c_str(), 0600), 0);
    // Read and written here, the pipe never waits for a reader to open.
    const int released = ::open(steps.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(released, 0);
    OMAUUnpackingTool tool =
        shellTool(folder,
                  "cd \"$0\" && exec 3<\"$0/../steps\" && mkdir d && cd d && "
                  "while read -r step <&3; do mkdir d && cd d || exit 1; done");
    tool.limits = {.entries = 200, .depth = 20};
    tool.changeHook = [&](std::string_view name) {
        if (name == "d") {
            ASSERT_EQ(::write(released, "\n", 1), 1);
        }
    };
    lf::Result<OMAUUnpackingOutcome> outcome = OMAURunUnpackingTool(tool);
    ::close(released);
    ASSERT_TRUE(outcome) << lf::describe(outcome.error());
    EXPECT_TRUE(outcome->stoppedAtLimit);
    lf::Result<OMAUUnpackedSize> left = OMAUUnpackedSizeOf(folder.string());
    ASSERT_TRUE(left);
    EXPECT_EQ(left->depth, 21u) << "stopped at the first folder past the bound";
}

TEST(OMAUArchiveTool, FilesWrittenDeepDownAreStoppedWithinTheLimitAndItsSlack) {
    // 1,000 files of 1 MiB, 400 folders deep, written one after another
    // by one process that never pauses, against a limit of 64 MiB; the
    // depth bound is raised so that only the bytes stop them. A change
    // costs the watch as much at any depth, and the limit is checked as
    // each one is counted, not once the changes stop coming. On a busy
    // machine too: the tool cannot write on while the watch waits for the
    // processor.
    constexpr uint64_t kLimit = 64 << 20;
    lf::test::TemporaryDirectory folder;
    OMAUUnpackingTool tool =
        shellTool(folder.path(),
                  "cd \"$0\" && p=$(printf 'd/%.0s' $(seq 400)) && mkdir -p $p && cd $p && "
                  "head -c 1048576000 /dev/zero | split -b 1048576 -a 3 - f; exec sleep 30");
    tool.limits = {.length = kLimit, .depth = 1000};
    lf::Result<OMAUUnpackingOutcome> outcome = OMAURunUnpackingTool(tool);
    ASSERT_TRUE(outcome) << lf::describe(outcome.error());
    EXPECT_TRUE(outcome->stoppedAtLimit);
    lf::Result<OMAUUnpackedSize> left = OMAUUnpackedSizeOf(folder.path().string());
    ASSERT_TRUE(left);
    EXPECT_LE(left->length, kLimit + kOMAUUnpackingSlack);
}

TEST(OMAUUnpackedLengthWatch, WatchesNoMoreFoldersThanItsEntries) {
    lf::test::TemporaryDirectory folder;
    lf::Result<OMAUUnpackedLengthWatch> watch =
        OMAUUnpackedLengthWatch::start(folder.path(), {.entries = 100});
    ASSERT_TRUE(watch);
    for (int i = 0; i < 1000; ++i)
        fs::create_directory(folder / fmt::format("d{}", i));
    lf::Result<OMAUUnpackedSize> size = watch->update();
    ASSERT_TRUE(size);
    EXPECT_GT(size->entries, 100u);
    // The kernel lists the watches of an inotify descriptor a line each.
    const std::string watches =
        lf::test::readText(fs::path("/proc/self/fdinfo") / std::to_string(watch->descriptor()));
    size_t count = 0;
    for (size_t at = watches.find("inotify wd:"); at != std::string::npos;
         at = watches.find("inotify wd:", at + 1))
        ++count;
    EXPECT_GE(count, 100u);
    EXPECT_LE(count, 101u) << "the folder and the first hundred entries";
}

}  // namespace
