#include "flows/watching/FSEventObserver.h"
#include "flows/watching/QFFileObserver.h"
#include "flows/watching/QFFileWatcher.h"
#include "platform/dispatch/MainQueue.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>

using namespace lf;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class CountingDelegate : public QFFileObserverDelegate {
public:
    void observedChangeAtPath(QFFileObserver&, const std::optional<std::string>& path) override {
        EXPECT_FALSE(path.has_value());
        EXPECT_TRUE(isMainThread());
        ++calls;
    }
    int calls = 0;
};

class ConcurrentFileObservation : public ::testing::Test {
protected:
    void SetUp() override { MainQueue::shared()->bindToCurrentThread(); }

    bool waitForCalls(int count) {
        return MainQueue::shared()->runUntil([&] { return delegate->calls >= count; },
                                             lf::test::kPatience);
    }

    test::TemporaryDirectory folder;
    std::shared_ptr<CountingDelegate> delegate = std::make_shared<CountingDelegate>();
};

}  // namespace

TEST_F(ConcurrentFileObservation, BurstsOfChangesGiveOneCallAndSuspensionSilencesThem) {
    const fs::path document = folder / "icons.psd", sentinel = folder / "sentinel.psd";
    test::writeFile(document, "0");
    test::writeFile(sentinel, "0");
    auto observer = std::make_shared<QFFileObserver>();
    observer->setDelegate(delegate);
    // Paths set while suspended are not watched until resumed.
    observer->setObservedURLs({document.string(), sentinel.string()});
    test::writeFile(document, "unseen");
    observer->setSuspended(false);

    // Three changes in quick succession: one call.
    test::writeFile(document, "1");
    test::writeFile(document, "2");
    test::writeFile(sentinel, "1");
    ASSERT_TRUE(waitForCalls(1));
    // Suspended, a change gives nothing; the next change after resuming is
    // the second call, so nothing came between.
    observer->setSuspended(true);
    test::writeFile(document, "3");
    observer->setSuspended(false);
    test::writeFile(sentinel, "2");
    ASSERT_TRUE(waitForCalls(2));
    EXPECT_EQ(delegate->calls, 2);
}

namespace {

// Waits, with `mutex` held while it looks, until `done` answers true; for
// reports made on other threads.
bool waitUntil(std::mutex& mutex, const std::function<bool()>& done) {
    for (const auto deadline = std::chrono::steady_clock::now() + lf::test::kPatience;
         std::chrono::steady_clock::now() < deadline;) {
        {
            std::lock_guard lock(mutex);
            if (done()) return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// Records what a QFFileWatcher reports, from its queue.
struct WatcherReports {
    QFFileWatcher::Handler handler() {
        return [this](const std::optional<std::set<std::string>>& urls,
                      const std::optional<Error>& error, bool isError) {
            std::lock_guard lock(mutex);
            EXPECT_EQ(isError, error.has_value());
            if (error) errors.push_back(error->code);
            if (urls) changed.insert(urls->begin(), urls->end());
        };
    }
    bool waitFor(const std::function<bool()>& done) { return waitUntil(mutex, done); }
    std::mutex mutex;
    std::vector<int64_t> errors;
    std::set<std::string> changed;
};

}  // namespace

TEST(ConcurrentFileWatcher, ReportsChangedFilesButNotHiddenOnes) {
    test::TemporaryDirectory folder;
    const fs::path root = folder / "assets";
    fs::create_directories(root / "sub");
    auto watcher = QFFileWatcher::create(root.string(), false);
    ASSERT_TRUE(watcher);
    WatcherReports reports;
    watcher->watchWithHandler(reports.handler());
    EXPECT_TRUE(watcher->isWatching());

    test::writeFile(root / ".hidden", "x");
    test::writeFile(root / "sub" / "deep.psd", "x");
    const std::string deep = (root / "sub" / "deep.psd").string();
    ASSERT_TRUE(reports.waitFor([&] { return reports.changed.count(deep) > 0; }));
    test::writeFile(root / "top.psd", "x");
    const std::string top = (root / "top.psd").string();
    ASSERT_TRUE(reports.waitFor([&] { return reports.changed.count(top) > 0; }));
    std::lock_guard lock(reports.mutex);
    EXPECT_EQ(reports.changed, (std::set<std::string>{deep, top}));

    // Watching again answers "already watching".
    WatcherReports second;
    watcher->watchWithHandler(second.handler());
    EXPECT_EQ(second.errors, std::vector<int64_t>{QFFileWatcherErrorAlreadyWatching});
}

TEST(ConcurrentFileWatcher, MissingItemsMovedRootsAndArchivedTimes) {
    test::TemporaryDirectory folder;
    EXPECT_FALSE(QFFileWatcher::create((folder / "missing").string(), false));

    // The item goes away between making the watcher and watching.
    test::writeFile(folder / "gone.psd", "x");
    auto gone = QFFileWatcher::create((folder / "gone.psd").string(), false);
    ASSERT_TRUE(gone);
    fs::remove(folder / "gone.psd");
    WatcherReports missing;
    gone->watchWithHandler(missing.handler());
    EXPECT_EQ(missing.errors, std::vector<int64_t>{QFFileWatcherErrorItemMissing});

    // A decoded watcher reports what changed while it was not watching.
    const fs::path root = folder / "root";
    fs::create_directories(root);
    test::writeFile(root / "a.psd", "x");
    fs::last_write_time(root / "a.psd", fs::file_time_type::clock::now() - 1h);
    auto watcher = QFFileWatcher::create(root.string(), true);
    WatcherReports first;
    watcher->watchWithHandler(first.handler());
    test::writeFile(root / "b.psd", "x");
    ASSERT_TRUE(first.waitFor([&] { return first.changed.size() == 2; }));
    watcher->pause();
    EXPECT_FALSE(watcher->isWatching());
    const nlohmann::json archive = watcher->encode();
    EXPECT_TRUE(archive.contains("bookmarkData"));
    watcher.reset();

    fs::last_write_time(root / "a.psd", fs::file_time_type::clock::now());
    auto decoded = QFFileWatcher::decode(archive);
    ASSERT_TRUE(decoded);
    WatcherReports later;
    decoded->watchWithHandler(later.handler());
    ASSERT_TRUE(later.waitFor([&] { return !later.changed.empty(); }));
    {
        std::lock_guard lock(later.mutex);
        EXPECT_EQ(later.changed, std::set<std::string>{(root / "a.psd").string()});
    }

    // Moving the watched folder answers "root changed" and pauses.
    fs::rename(root, folder / "moved");
    ASSERT_TRUE(later.waitFor([&] { return !later.errors.empty(); }));
    EXPECT_EQ(later.errors, std::vector<int64_t>{QFFileWatcherErrorRootChanged});
    EXPECT_FALSE(decoded->isWatching());
    // A damaged archive decodes to nothing.
    EXPECT_FALSE(QFFileWatcher::decode(nlohmann::json{{"$class", "QFFileWatcher"}, {"path", 3}}));
}

namespace {

class FolderDelegate : public FSEventObserverDelegate {
public:
    void observedChangeInDirectoryAtPath(FSEventObserver&, const std::string& path,
                                         bool recursive) override {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(recursive);
        paths.insert(path);
    }
    bool waitFor(const std::string& path) {
        return waitUntil(mutex, [&] { return paths.count(path) > 0; });
    }
    std::mutex mutex;
    std::set<std::string> paths;
};

}  // namespace

TEST(ConcurrentEventObserver, StreamFollowsPathSetAndSuspension) {
    test::TemporaryDirectory folder;
    const fs::path a = folder / "a", b = folder / "b";
    fs::create_directories(a);
    fs::create_directories(b);
    auto observer = std::make_shared<FSEventObserver>();
    auto delegate = std::make_shared<FolderDelegate>();
    observer->setDelegate(delegate);
    observer->setObservedPaths({a.string()});
    EXPECT_FALSE(observer->hasStream());  // suspended
    observer->setSuspended(false);
    EXPECT_TRUE(observer->hasStream());
    test::writeFile(a / "x.psd", "x");
    EXPECT_TRUE(delegate->waitFor(a.string()));

    observer->addObservedPath(b.string());
    EXPECT_TRUE(observer->hasStream());  // waits for the stream to take the new folder
    test::writeFile(b / "y.psd", "y");
    EXPECT_TRUE(delegate->waitFor(b.string()));
    EXPECT_EQ(observer->observedPaths(), (std::set<std::string>{a.string(), b.string()}));

    observer->setSuspended(true);
    EXPECT_FALSE(observer->hasStream());
    observer->setSuspended(false);
    EXPECT_TRUE(observer->hasStream());
    observer->setObservedPaths({});
    EXPECT_FALSE(observer->hasStream());
}
