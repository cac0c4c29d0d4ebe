// A run's output written into its folder: the temporary files of writes
// killed half way go, those of writes under way stay, and a failure says in
// words what could not be saved and names the output folder.

#include "FlowsTestSupport.h"
#include "flows/QFFlowOutput.h"
#include "platform/FileDescriptor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>

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

// The next run into a folder removes the temporary files that writes
// killed half way left in the folders it writes into, of any output, the
// ones of outputs it no longer makes too; a write under way keeps its own.
TEST(FlowOutputWrite, RemovesTheTemporaryFilesOfWritersThatAreGone) {
    lf::test::TemporaryDirectory folder;
    const fs::path out = folder / "out";
    fs::create_directories(out / "icons");
    leaveTemporary(out / ".a.png.tmp-0123456789abcdef");
    leaveTemporary(out / ".gone.png.tmp-fedcba9876543210");
    leaveTemporary(out / "icons" / ".old@2x.png.tmp-00000000deadbeef");
    const lf::FileDescriptor writing = holdTemporary(out / ".busy.png.tmp-0a1b2c3d4e5f6789");

    ASSERT_TRUE(outputOf({{{"a.png"}, "a"}, {{"icons", "b.png"}, "b"}})
                    .writeOutputToDirectoryAtURL(out.string()));
    EXPECT_EQ(filesBelow(out),
              (std::vector<std::string>{".busy.png.tmp-0a1b2c3d4e5f6789", "a.png", "icons/b.png"}));
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
// output whose folder inside is a file is not saved, the others are.
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
    EXPECT_EQ(filesBelow(out), (std::vector<std::string>{"a.png", "blocked"}));
}

}  // namespace
