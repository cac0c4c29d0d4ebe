#include "platform/dispatch/MainQueue.h"
#include "platform/files/FileWatcher.h"
#include "platform/writing/AtomicFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
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
            lf::test::kPatience);
    }

    bool everReported(const fs::path& path) const {
        for (const auto& delivery : deliveries)
            if (delivery.count(path.string())) return true;
        return false;
    }

    // Writes the marker, which must be watched, and waits for its report:
    // every change made before has been delivered by then.
    void settle() {
        test::writeFile(marker, std::to_string(++markerWrites));
        ASSERT_TRUE(waitForChangeOf(marker));
    }
    // Whether `change`, made once everything before was delivered, is
    // reported as a change of `path`.
    bool reportsChange(const fs::path& path, const std::function<void()>& change) {
        settle();
        change();
        return waitForChangeOf(path);
    }
    // Whether nothing reports `path` between `change` and a write of the
    // marker after it.
    bool reportsNothing(const fs::path& path, const std::function<void()>& change) {
        settle();
        const size_t from = checked;
        change();
        settle();
        for (size_t i = from; i < checked; ++i)
            if (deliveries[i].count(path.string())) return false;
        return true;
    }

    test::TemporaryDirectory folder;
    const fs::path marker = folder / "marker";
    int markerWrites = 0;
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

// A document's folder, or one further up, moved away or deleted and made
// again: the path is watched where it leads now. Its going and its coming
// back are changes, and so are the saves after; the folder that went is
// not watched under its new name.
TEST_F(ConcurrentFileWatching, FollowsAPathWhoseFoldersAreMovedDeletedOrMadeAgain) {
    const fs::path top = folder / "t", parent = top / "P", document = parent / "d.psd";
    fs::create_directories(parent);
    test::writeFile(document, "v1");
    test::writeFile(marker, "0");
    auto watcher = watch({document.string(), marker.string()});

    struct Replacement {
        const char* what;
        std::function<void()> replace;
        fs::path wentTo;  // the document where it went, if anywhere
    };
    const Replacement replacements[] = {
        {"the folder moved away", [&] { fs::rename(parent, top / "P.old"); },
         top / "P.old" / "d.psd"},
        {"the folder deleted", [&] { fs::remove_all(parent); }, {}},
        {"a folder two levels up moved away", [&] { fs::rename(top, folder / "t.old"); },
         folder / "t.old" / "P" / "d.psd"},
    };
    for (const Replacement& replacement : replacements) {
        const std::string what = replacement.what;
        const fs::path& wentTo = replacement.wentTo;
        EXPECT_TRUE(reportsChange(document, replacement.replace)) << what;
        if (!wentTo.empty()) {
            EXPECT_TRUE(reportsNothing(document, [&] { test::writeFile(wentTo, "edited"); }))
                << what;
        }
        EXPECT_TRUE(reportsChange(document, [&] { fs::create_directories(parent); })) << what;
        EXPECT_TRUE(reportsChange(document, [&] { test::writeFile(document, "new"); })) << what;
        EXPECT_TRUE(reportsChange(document, [&] { test::writeFile(document, "saved in place"); }))
            << what;
        EXPECT_TRUE(reportsChange(document, [&] {
            ASSERT_TRUE(writeFileAtomically(document.string(), Data::fromString("renamed")));
        })) << what;
        if (!wentTo.empty()) {
            EXPECT_TRUE(reportsNothing(document, [&] { test::writeFile(wentTo, "again"); }))
                << what << ", with the document back";
        }
    }
}

// A document's folder swapped for another in one step, with no moment in
// between when the path leads nowhere: another folder renamed over it, or
// the two exchanged. The path is watched in the folder that came: the
// swap is a change, and so are the saves there after it; the folder that
// went is not watched, though it lives on elsewhere.
TEST_F(ConcurrentFileWatching, FollowsAPathWhoseFolderIsSwappedInOneStep) {
    const fs::path parent = folder / "P", document = parent / "d.psd",
                   incoming = folder / "incoming", wentTo = incoming / "d.psd";
    fs::create_directories(parent);
    test::writeFile(document, "v1");
    test::writeFile(marker, "0");
    auto watcher = watch({document.string(), marker.string()});
    const auto exchange = [&] {
        if (::renameat2(AT_FDCWD, incoming.c_str(), AT_FDCWD, parent.c_str(), RENAME_EXCHANGE) != 0)
            GTEST_FAIL() << "renameat2: " << std::strerror(errno);
    };

    fs::create_directories(incoming);
    test::writeFile(wentTo, "swapped in");
    EXPECT_TRUE(reportsChange(document, exchange));
    EXPECT_TRUE(reportsChange(document, [&] { test::writeFile(document, "saved there"); }));
    EXPECT_TRUE(reportsNothing(document, [&] { test::writeFile(wentTo, "left behind"); }));
    EXPECT_TRUE(reportsChange(document, exchange));  // and back again
    EXPECT_TRUE(reportsChange(document, [&] { test::writeFile(document, "saved again"); }));
    EXPECT_TRUE(reportsNothing(document, [&] { test::writeFile(wentTo, "left again"); }));

    // Renamed over the path, which must then be an empty folder: the
    // document appears.
    fs::remove_all(incoming);
    fs::remove(document);
    fs::create_directories(incoming);
    test::writeFile(wentTo, "renamed over");
    EXPECT_TRUE(reportsChange(document, [&] { fs::rename(incoming, parent); }));
    EXPECT_TRUE(reportsChange(document, [&] { test::writeFile(document, "saved after"); }));
}

// The moment of the race: a folder is made again and the document written
// into it before the watcher has watched the folder. The watcher watches a
// folder before it looks inside, so it finds the document, and the later
// writes to it.
TEST_F(ConcurrentFileWatching, ADocumentWrittenBeforeItsNewFolderIsWatchedIsSeen) {
    const fs::path parent = folder / "P", document = parent / "d.psd";
    test::writeFile(marker, "0");
    auto watcher = watch({document.string(), marker.string()});
    std::atomic<bool> written{false};
    FileWatcher::setFollowingPathsHookForTesting([&] {
        if (fs::is_directory(parent) && !written.exchange(true)) test::writeFile(document, "v1");
    });
    struct RemoveHook {
        ~RemoveHook() { FileWatcher::setFollowingPathsHookForTesting(nullptr); }
    } removeHook;

    fs::create_directory(parent);
    EXPECT_TRUE(waitForChangeOf(document));
    EXPECT_TRUE(written);
    EXPECT_TRUE(reportsChange(document, [&] { test::writeFile(document, "v2"); }));
}

// A document given as a link is watched through the link and at its
// target: saving the target and switching the link are changes, a target
// left behind is not watched, and a document that a save replaces by a
// link is then watched at the link's target.
TEST_F(ConcurrentFileWatching, FollowsALinkToItsTargetWhereverItIsSwitched) {
    const fs::path docs = folder / "docs", targets = folder / "targets", link = docs / "L.psd",
                   first = targets / "T.psd", second = targets / "U.psd",
                   plain = docs / "plain.psd", elsewhere = folder / "elsewhere" / "X.psd";
    for (const auto& path : {docs, targets, elsewhere.parent_path()})
        fs::create_directories(path);
    for (const auto& path : {first, second, plain, elsewhere, marker})
        test::writeFile(path, "0");
    fs::create_symlink("../targets/T.psd", link);
    auto watcher = watch({link.string(), plain.string(), marker.string()});
    // As `ln -sfn` does: a new link renamed over the old one.
    const auto pointLink = [](const fs::path& at, const fs::path& to) {
        const fs::path made = at.string() + ".new";
        fs::create_symlink(to, made);
        fs::rename(made, at);
    };

    EXPECT_TRUE(reportsChange(link, [&] { test::writeFile(first, "in place"); }));
    EXPECT_TRUE(reportsChange(link, [&] {
        ASSERT_TRUE(writeFileAtomically(first.string(), Data::fromString("renamed")));
    }));
    EXPECT_TRUE(reportsChange(link, [&] { pointLink(link, "../targets/U.psd"); }));
    EXPECT_TRUE(reportsNothing(link, [&] { test::writeFile(first, "left behind"); }));
    EXPECT_TRUE(reportsChange(link, [&] { test::writeFile(second, "followed"); }));
    // The target's folder goes and comes back, as in a save of the folder.
    EXPECT_TRUE(reportsChange(link, [&] { fs::rename(targets, folder / "targets.old"); }));
    EXPECT_TRUE(reportsNothing(
        link, [&] { test::writeFile(folder / "targets.old" / "U.psd", "left behind"); }));
    EXPECT_TRUE(reportsChange(link, [&] {
        fs::create_directory(targets);
        test::writeFile(second, "back");
    }));
    EXPECT_TRUE(reportsChange(link, [&] { test::writeFile(second, "saved"); }));

    EXPECT_TRUE(reportsChange(plain, [&] { pointLink(plain, elsewhere); }));
    EXPECT_TRUE(reportsChange(plain, [&] { test::writeFile(elsewhere, "saved"); }));
}

namespace {

// The inotify watches this process holds, as the kernel lists them for its
// inotify descriptors.
size_t inotifyWatchCount() {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error).string() != "anon_inode:inotify") continue;
        std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
        for (std::string line; std::getline(info, line);)
            if (line.starts_with("inotify wd:")) ++count;
    }
    return count;
}

}  // namespace

// A document's folder moved away and made again, 200 times: the watches of
// the folders that went, and of the documents in them, are let go as the
// path is followed, so the watcher holds as many watches as at the start.
TEST_F(ConcurrentFileWatching, WatchesOfReplacedFoldersAreLetGo) {
    const fs::path parent = folder / "P", document = parent / "d.psd", gone = folder / "gone";
    fs::create_directories(parent);
    fs::create_directories(gone);
    test::writeFile(document, "0");
    test::writeFile(marker, "0");
    auto watcher = watch({document.string(), marker.string()}, 1ms);
    settle();
    const size_t watches = inotifyWatchCount();
    ASSERT_GT(watches, 0u);
    for (int i = 1; i <= 200; ++i) {
        ASSERT_TRUE(reportsChange(document, [&] {
            fs::rename(parent, gone / std::to_string(i));
            fs::create_directory(parent);
            test::writeFile(document, std::to_string(i));
        })) << i;
    }
    settle();
    EXPECT_EQ(inotifyWatchCount(), watches);
}

// A folder on the way that the watcher may not enter shuts the document
// out; opening it again is a change of the document, which is watched from
// then on, and so is shutting it again. Root enters every folder: the
// watcher acts as another user.
TEST_F(ConcurrentFileWatching, AFolderOnTheWayOpenedOrShutIsAChange) {
    const fs::path locked = folder / "locked", document = locked / "d.psd";
    fs::create_directories(locked);
    test::writeFile(document, "v1");
    test::writeFile(marker, "0");
    const test::ScopedUnprivilegedUser user(folder.path());
    fs::permissions(locked, fs::perms::none);
    auto watcher = watch({document.string(), marker.string()});

    EXPECT_TRUE(reportsChange(document, [&] { fs::permissions(locked, fs::perms::owner_all); }));
    EXPECT_TRUE(reportsChange(document, [&] { test::writeFile(document, "v2"); }));
    EXPECT_TRUE(reportsChange(document, [&] { fs::permissions(locked, fs::perms::none); }));
    EXPECT_TRUE(reportsChange(document, [&] { fs::permissions(locked, fs::perms::owner_all); }));
}
