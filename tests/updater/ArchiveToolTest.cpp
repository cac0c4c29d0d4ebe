// The archive tools' runs, whatever a tool does: ended with its children
// when it stops or runs out of time, and stopped once its entries pass the
// limits, with a bounded number of folders watched meanwhile.

#include "UpdaterTestSupport.h"
#include "support/TestSupport.h"
#include "updater/unpacking/OMAUArchiveExtraction.h"
#include "updater/unpacking/OMAUArchiveTool.h"
#include "updater/unpacking/OMAUUnpackedLengthWatch.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// `script` run by sh as an unpacking tool of `folder`, which it finds as $0.
OMAUUnpackingTool shellTool(const fs::path& folder, const std::string& script) {
    OMAUUnpackingTool tool;
    tool.arguments = {"sh", "-c", script, folder.string()};
    tool.folder = folder;
    return tool;
}

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

TEST(OMAUArchiveTool, FilesWrittenDeepDownAreStoppedWithinTheLimitAndItsSlack) {
    // 1,000 files of 1 MiB, 400 folders deep, written one after another
    // by one process that never pauses, against a limit of 64 MiB; the
    // depth bound is raised so that only the bytes stop them. A change
    // costs the watch as much at any depth, and the limit is checked as
    // each one is counted, not once the changes stop coming.
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
