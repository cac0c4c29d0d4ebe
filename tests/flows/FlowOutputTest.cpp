// A run's output written into its folder: all of it or none, with real
// failures, on a file system that cannot keep permissions, and with a quit
// while the outputs are moved in; outputs of the longest names; the
// temporary files of the outputs' writes killed half way go, those of
// writes under way and of other names stay; and a failure says in words
// what could not be saved and names the output folder.

#include "FlowsTestSupport.h"
#include "flows/runs/QFFlowOutput.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/files/FileDescriptor.h"
#include "platform/writing/AtomicFileSet.h"
#include "platform/writing/HiddenName.h"
#include "platform/writing/TemporaryName.h"
#include "support/ScopedFileStepHook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace flows_test;
namespace fs = std::filesystem;

QFFlowOutput outputOf(const std::vector<std::pair<std::vector<std::string>, std::string>>& files) {
    QFFlowOutput output;
    for (const auto& [components, text] : files) {
        auto item = std::make_shared<QFFlowOutputItem>(components);
        item->setData(lf::Data::fromString(text));
        output.addOutputItem(item, true);
    }
    return output;
}

// A temporary file as a write leaves it, left by a writer that is gone.
void leaveTemporary(const fs::path& path) {
    lf::test::writeFile(path, "half an output");
}

// A temporary file of a write under way: it holds the lock on it, as the
// writer does while it writes.
lf::FileDescriptor holdTemporary(const fs::path& path) {
    leaveTemporary(path);
    lf::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_EQ(::flock(file.get(), LOCK_EX | LOCK_NB), 0);
    return file;
}

// The next run into a folder removes the temporary files that writes of
// its outputs killed half way left there, and no others: files named like
// the temporary files of other names (another program's, or of outputs it
// no longer makes) stay, and so does the temporary file of an output that
// a write under way holds.
TEST(FlowOutputWrite, RemovesTheAbandonedTemporaryFilesOfItsOutputsOnly) {
    lf::test::TemporaryDirectory folder;
    const fs::path out = folder / "out";
    fs::create_directories(out / "icons");
    leaveTemporary(out / ".a.png.tmp-0123456789abcdef");
    leaveTemporary(out / "icons" / ".b.png.tmp-00000000deadbeef");
    const std::vector<std::string> others = {".gone.png.tmp-fedcba9876543210",
                                             ".notes.txt.tmp-0123456789abcdef",
                                             "icons/.old@2x.png.tmp-00000000deadbeef"};
    for (const std::string& other : others)
        leaveTemporary(out / other);
    const lf::FileDescriptor writing = holdTemporary(out / ".a.png.tmp-0a1b2c3d4e5f6789");

    ASSERT_TRUE(outputOf({{{"a.png"}, "a"}, {{"icons", "b.png"}, "b"}})
                    .writeOutputToDirectoryAtURL(out.string()));
    std::vector<std::string> expected = others;
    expected.insert(expected.end(), {".a.png.tmp-0a1b2c3d4e5f6789", "a.png", "icons/b.png"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(filesBelow(out), expected);
}

// Runs of two flows into one folder at the same moment, with real writes:
// neither takes the other's temporary files for leftovers (its rename
// would fail), and none is left once they end.
TEST(FlowOutputWrite, ConcurrentRunsIntoOneFolderLeaveEachOthersWritesAlone) {
    lf::test::TemporaryDirectory folder;
    const std::string big(size_t(256) << 10, 'x');
    std::atomic<int> failures{0};
    std::vector<std::thread> runs;
    for (const char* name : {"a.png", "b.png", "c.png"})
        runs.emplace_back([&, name] {
            const QFFlowOutput output = outputOf({{{name}, big}});
            for (int round = 0; round < 20; ++round)
                if (!output.writeOutputToDirectoryAtURL(folder.path().string())) ++failures;
        });
    for (auto& run : runs)
        run.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(filesBelow(folder.path()), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
}

// Failures name the output folder by its path and say why in words: an
// output folder that is a file, or lies below one, writes nothing; an
// output whose folder inside is a file is not saved, and neither are the
// others.
TEST(FlowOutputWrite, FailuresNameTheOutputFolder) {
    lf::test::TemporaryDirectory folder;
    const fs::path file = folder / "file";
    lf::test::writeFile(file, "a file where the folder should be");
    const QFFlowOutput output = outputOf({{{"a.png"}, "a"}, {{"blocked", "b.png"}, "b"}});

    auto written = output.writeOutputToDirectoryAtURL(file.string());
    ASSERT_FALSE(written);
    EXPECT_TRUE(written.error().is(lf::kPOSIXErrorDomain, ENOTDIR));
    EXPECT_EQ(written.error().localizedDescription(),
              "The output folder “" + file.string() + "” is a file, not a folder");
    EXPECT_EQ(written.error().stringForKey(lf::kFilePathErrorKey), file.string());

    written = output.writeOutputToDirectoryAtURL((file / "out").string());
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().localizedDescription(),
              "The output folder “" + (file / "out").string() +
                  "” cannot be made: A file stands where a folder should be");
    EXPECT_EQ(filesBelow(folder.path()), std::vector<std::string>{"file"});

    const fs::path out = folder / "out";
    fs::create_directory(out);
    lf::test::writeFile(out / "blocked", "a file where a folder should be");
    written = output.writeOutputToDirectoryAtURL(out.string());
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().localizedDescription(),
              "“blocked/b.png” cannot be saved in the output folder “" + out.string() +
                  "”: A file stands where a folder should be");
    EXPECT_EQ(written.error().stringForKey(lf::kFilePathErrorKey),
              (out / "blocked/b.png").string());
    EXPECT_TRUE(written.error().underlyingError());
    EXPECT_EQ(filesBelow(out), std::vector<std::string>{"blocked"});
}

// The files below `folder`, by their paths relative to it, and their
// contents.
std::map<std::string, std::string> contentsBelow(const fs::path& folder) {
    std::map<std::string, std::string> contents;
    for (const std::string& path : filesBelow(folder))
        contents[path] = lf::Data::readFile((folder / path).string())->stringView();
    return contents;
}

// A folder that holds an earlier run's outputs, and the new run's, whose
// third output is `third`.
struct EarlierRun {
    lf::test::TemporaryDirectory folder;
    const fs::path out = folder / "out";
    EarlierRun() {
        fs::create_directory(out);
        for (const char* name : {"a.png", "c.png", "d.png"})
            lf::test::writeFile(out / name, std::string("old ") + name);
    }
    QFFlowOutput nextRun(const std::string& third) const {
        return outputOf({{{"a.png"}, "new a"},
                         {{"b", "b.png"}, "new b"},
                         {{"c.png"}, third},
                         {{"d.png"}, "new d"}});
    }
};

// A run that fails at its third output leaves the folder as it was: the
// outputs written before are not moved in, and the folder made for the
// second goes. Here a folder stands where the third should go.
TEST(FlowOutputWrite, AWriteThatFailsAtTheThirdOutputLeavesTheFolderAsItWas) {
    EarlierRun earlier;
    fs::remove(earlier.out / "c.png");
    fs::create_directory(earlier.out / "c.png");
    lf::test::writeFile(earlier.out / "c.png" / "inside", "in the way");
    const auto before = contentsBelow(earlier.out);

    auto written = earlier.nextRun("new c").writeOutputToDirectoryAtURL(earlier.out.string());
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().localizedDescription(),
              "“c.png” cannot be saved in the output folder “" + earlier.out.string() +
                  "”: Is a directory");
    EXPECT_EQ(contentsBelow(earlier.out), before);
    EXPECT_FALSE(fs::exists(earlier.out / "b"));
}

// A file system that cannot store permissions (FAT, many FUSE mounts)
// refuses to change them, with one of these errors, on the new contents
// that the write owns: the write goes on, and the folder takes the whole
// run. A real failure of the same step or of another one (flushing the
// file) still fails the write and leaves the folder as it was.
TEST(FlowOutputWrite, AFolderThatCannotKeepPermissionsTakesTheWholeRun) {
    for (int refusal : {ENOSYS, EPERM, EOPNOTSUPP, ENOTSUP}) {
        SCOPED_TRACE(refusal);
        EarlierRun earlier;
        lf::test::ScopedFileStepHook hook([&](lf::FileStep step, const std::string&) {
            return step == lf::FileStep::KeepPermissions ? refusal : 0;
        });
        ASSERT_TRUE(earlier.nextRun("new c").writeOutputToDirectoryAtURL(earlier.out.string()));
        EXPECT_EQ(
            contentsBelow(earlier.out),
            (std::map<std::string, std::string>{
                {"a.png", "new a"}, {"b/b.png", "new b"}, {"c.png", "new c"}, {"d.png", "new d"}}));
    }
    for (lf::FileStep failing : {lf::FileStep::KeepPermissions, lf::FileStep::Flush}) {
        EarlierRun earlier;
        const auto before = contentsBelow(earlier.out);
        lf::test::ScopedFileStepHook hook([&](lf::FileStep step, const std::string& target) {
            return step == failing && target.ends_with("c.png") ? EIO : 0;
        });
        auto written = earlier.nextRun("new c").writeOutputToDirectoryAtURL(earlier.out.string());
        ASSERT_FALSE(written);
        EXPECT_TRUE(written.error().is(lf::kPOSIXErrorDomain, EIO));
        EXPECT_EQ(contentsBelow(earlier.out), before);
    }
}

// Names as long as the folder takes, and the hidden names of their
// temporary and replaced files fit beside them: a run of such outputs
// replaces the earlier one's, with or without the exchange of two files
// (the hook refuses it as FAT does), and removes the temporary file that a
// killed write of such an output left.
TEST(FlowOutputWrite, OutputsOfTheLongestNamesAreWrittenWithTheOthers) {
    for (bool canExchange : {true, false}) {
        SCOPED_TRACE(canExchange ? "exchanged" : "moved aside");
        lf::test::TemporaryDirectory folder;
        const size_t longest = lf::longestNameIn(folder.path());
        const std::string longName = std::string(longest - 4, 'l') + ".png",
                          shorterName = std::string(longest - 26, 's') + ".png";
        const QFFlowOutput output = outputOf(
            {{{"a.png"}, "new a"}, {{longName}, "new long"}, {{shorterName}, "new short"}});
        for (const std::string& name : {std::string("a.png"), longName, shorterName})
            lf::test::writeFile(folder / name, "old");
        leaveTemporary(folder /
                       (lf::temporaryNamePrefix(longName, lf::TemporaryRole::NewContents, longest) +
                        "0123456789abcdef"));
        lf::test::ScopedFileStepHook hook([&](lf::FileStep step, const std::string&) {
            return step == lf::FileStep::Exchange && !canExchange ? EINVAL : 0;
        });
        ASSERT_TRUE(output.writeOutputToDirectoryAtURL(folder.path().string()));
        EXPECT_EQ(contentsBelow(folder.path()),
                  (std::map<std::string, std::string>{
                      {"a.png", "new a"}, {longName, "new long"}, {shorterName, "new short"}}));
    }
}

// Runs `body` in a child process; its wait status.
template <typename Body>
int statusOfChild(const Body& body) {
    const pid_t child = ::fork();
    if (child == 0) _exit(body());
    int status = -1;
    ::waitpid(child, &status, 0);
    return status;
}

// With real writes: the file size limit of the process that writes lies
// below the size of the third output, so that its write fails there as on
// a full disk.
TEST(FlowOutputWrite, AWriteOverTheFileSizeLimitLeavesTheFolderAsItWas) {
    EarlierRun earlier;
    const auto before = contentsBelow(earlier.out);
    const QFFlowOutput output = earlier.nextRun(std::string(size_t(1) << 20, 'c'));

    const int status = statusOfChild([&] {
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 64 << 10;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
        auto written = output.writeOutputToDirectoryAtURL(earlier.out.string());
        return !written && written.error().localizedDescription() ==
                               "“c.png” cannot be saved in the output folder “" +
                                   earlier.out.string() + "”: File too large"
                   ? 0
                   : 1;
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(contentsBelow(earlier.out), before);
    EXPECT_FALSE(fs::exists(earlier.out / "b"));
}

// A quit while a run's outputs are moved in waits for the rest of them, so
// that the folder holds the new run whole. The child process quits as the
// application does (AtomicFileSet::finishCommitsBeforeExit) once the first
// output is in, and the hook lets the others follow only once the quit
// waits; the quit then holds the run's thread for good, hence the child.
TEST(FlowOutputWrite, AQuitWhileTheOutputsAreMovedInWaitsForAllOfThem) {
    EarlierRun earlier;
    const QFFlowOutput output = earlier.nextRun("new c");

    const int status = statusOfChild([&] {
        lf::DispatchSemaphore firstIsIn(0), quitWaits(0);
        lf::AtomicFileSet::setMoveInHookForTesting([=](size_t movedIn) mutable {
            if (movedIn > 1) return;
            firstIsIn.signal();
            quitWaits.wait();
        });
        lf::AtomicFileSet::setExitHookForTesting([=]() mutable { quitWaits.signal(); });
        std::thread([&] {
            (void)output.writeOutputToDirectoryAtURL(earlier.out.string());
        }).detach();
        firstIsIn.wait();
        lf::AtomicFileSet::finishCommitsBeforeExit();
        return 0;
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(
        contentsBelow(earlier.out),
        (std::map<std::string, std::string>{
            {"a.png", "new a"}, {"b/b.png", "new b"}, {"c.png", "new c"}, {"d.png", "new d"}}));
}

}  // namespace
