#include "platform/AtomicFile.h"
#include "platform/FileWatcher.h"
#include "platform/MainQueue.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

using namespace lf;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Runs watchers on the main queue and keeps every delivery in order. The
// tests never wait for a change not to come: they make a change of another
// watched path after it and wait for that one, since the watcher reports
// events in the order they happened.
class ConcurrentFileWatching : public ::testing::Test {
protected:
    void SetUp() override { MainQueue::shared()->bindToCurrentThread(); }

    std::unique_ptr<FileWatcher> watch(std::set<std::string> paths,
                                       std::chrono::milliseconds latency = 30ms) {
        auto watcher = std::make_unique<FileWatcher>(
            MainQueue::shared(),
            [this](const std::set<std::string>& changed) { deliveries.push_back(changed); },
            latency);
        watcher->setWatchedPaths(paths);
        watcher->setSuspended(false);
        return watcher;
    }

    // Waits for a delivery naming `path`; true when one came.
    bool waitForChangeOf(const fs::path& path) {
        return MainQueue::shared()->runUntil(
            [&] {
                for (size_t i = checked; i < deliveries.size(); ++i)
                    if (deliveries[i].count(path.string())) {
                        checked = i + 1;
                        return true;
                    }
                return false;
            },
            10s);
    }

    bool everReported(const fs::path& path) const {
        for (const auto& delivery : deliveries)
            if (delivery.count(path.string())) return true;
        return false;
    }

    test::TemporaryDirectory folder;
    std::vector<std::set<std::string>> deliveries;
    size_t checked = 0;
};

}  // namespace

TEST_F(ConcurrentFileWatching, SeesWritesRenameSavesDeletionAndRecreation) {
    const fs::path document = folder / "icons.psd";
    test::writeFile(document, "v1");
    auto watcher = watch({document.string()});
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"write in place", [&] { test::writeFile(document, "v2"); }},
        {"save by rename",
         [&] { ASSERT_TRUE(writeFileAtomically(document.string(), Data::fromString("v3"))); }},
        {"write after the rename", [&] { test::writeFile(document, "v4"); }},
        {"delete", [&] { fs::remove(document); }},
        {"create again", [&] { test::writeFile(document, "v5"); }},
        {"write the new file", [&] { test::writeFile(document, "v6"); }},
        {"move away", [&] { fs::rename(document, folder / "moved.psd"); }},
        {"move back", [&] { fs::rename(folder / "moved.psd", document); }},
    };
    for (const auto& [what, step] : steps) {
        step();
        EXPECT_TRUE(waitForChangeOf(document)) << what;
    }
}

TEST_F(ConcurrentFileWatching, FoldersAreWatchedDeeplyWithoutFollowingLinks) {
    const fs::path input = folder / "input", outside = folder / "outside", sentinel = folder / "s";
    fs::create_directories(input);
    fs::create_directories(outside);
    test::writeFile(sentinel, "0");
    fs::create_directory_symlink(outside, input / "link");
    auto watcher = watch({input.string(), sentinel.string()});

    fs::create_directories(input / "a" / "b");
    EXPECT_TRUE(waitForChangeOf(input));
    test::writeFile(input / "a" / "b" / "deep.psd", "x");  // in a folder made after watching began
    EXPECT_TRUE(waitForChangeOf(input));

    const size_t before = deliveries.size();
    test::writeFile(outside / "elsewhere.psd", "x");  // reached only through the link
    test::writeFile(sentinel, "1");
    EXPECT_TRUE(waitForChangeOf(sentinel));
    for (size_t i = before; i < deliveries.size(); ++i)
        EXPECT_EQ(deliveries[i].count(input.string()), 0u);
}

TEST_F(ConcurrentFileWatching, BurstOfWritesArrivesAsOneChange) {
    const fs::path document = folder / "burst.psd", sentinel = folder / "sentinel";
    test::writeFile(document, "");
    test::writeFile(sentinel, "");
    // The real latency: the 100 writes take far less than half a second.
    auto watcher = watch({document.string(), sentinel.string()}, FileWatcher::kDefaultLatency);
    for (int i = 0; i < 100; ++i)
        test::writeFile(document, std::to_string(i));
    ASSERT_TRUE(waitForChangeOf(document));
    test::writeFile(sentinel, "done");
    ASSERT_TRUE(waitForChangeOf(sentinel));
    ASSERT_EQ(deliveries.size(), 2u);
    EXPECT_EQ(deliveries[0], std::set<std::string>{document.string()});
}

TEST_F(ConcurrentFileWatching, SuspendedWatcherReportsNothingAndUnwatchedPathsAreIgnored) {
    const fs::path document = folder / "d.psd", other = folder / "other.psd",
                   sentinel = folder / "s";
    for (const auto& path : {document, other, sentinel})
        test::writeFile(path, "0");
    auto watcher = watch({document.string(), sentinel.string()});
    watcher->setSuspended(true);
    test::writeFile(document, "1");
    watcher->setSuspended(false);
    test::writeFile(other, "1");  // a sibling in the watched parent folder
    test::writeFile(sentinel, "1");
    ASSERT_TRUE(waitForChangeOf(sentinel));
    EXPECT_FALSE(everReported(document));
    EXPECT_FALSE(everReported(other));

    // A path that does not exist yet is reported once it appears.
    const fs::path later = folder / "later.psd";
    watcher->setWatchedPaths({later.string()});
    test::writeFile(later, "x");
    EXPECT_TRUE(waitForChangeOf(later));
}
