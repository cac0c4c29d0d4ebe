#include "FlowTestSupport.h"
#include "flows/QFExportFlowPlugIn.h"
#include "flows/QFGivenPath.h"
#include "flows/inputs/QFFlowInput.h"
#include "flows/inputs/QFFlowPlugInManager.h"
#include "flows/watching/QFModificationToken.h"
#include "platform/core/Log.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/TypeIdentifier.h"
#include "platform/writing/AtomicFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

using namespace lf;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::set<std::string> paths(const QFFlowInputItemSet& items) {
    std::set<std::string> result;
    for (const auto& item : items)
        result.insert(item->itemURL());
    return result;
}

class FlowInput : public ::testing::Test {
protected:
    void SetUp() override { MainQueue::shared()->bindToCurrentThread(); }
    test::TemporaryDirectory folder;
};

}  // namespace

TEST_F(FlowInput, FoldersAreWalkedDeeplyWithoutFollowingLinks) {
    const fs::path root = folder / "input", deep = root / "a" / "b" / "c" / "Deep.PSD";
    fs::create_directories(deep.parent_path());
    fs::create_directories(folder / "elsewhere");
    test::writeFile(deep, "x");
    test::writeFile(root / ".hidden.psb", "x");
    test::writeFile(root / "notes.txt", "x");
    test::writeFile(folder / "elsewhere" / "linked.psd", "x");
    fs::create_directory_symlink(folder / "elsewhere", root / "link");
    fs::create_symlink(deep, root / "file-link.psd");

    auto input = photoshopInput({root});
    auto snapshot = input->snapshotWithChangesSinceSnapshot(nullptr);
    ASSERT_TRUE(snapshot);
    auto items = snapshot->inputItemsForType(kTypePhotoshopImage, QFFlowInputItemsAll);
    ASSERT_TRUE(items);
    EXPECT_EQ(paths(*items),
              (std::set<std::string>{deep.string(), (root / ".hidden.psb").string()}));
    for (const auto& item : *items)
        EXPECT_EQ(item->securityScopedContainerURL(), root.string());
    EXPECT_EQ(snapshot->inputItemsForType(kTypePhotoshopImage, 3), items);
    EXPECT_FALSE(snapshot->inputItemsForType("public.png", QFFlowInputItemsAll));
    EXPECT_FALSE(snapshot->inputItemsForType(kTypePhotoshopImage, 0));

    const fs::path empty = folder / "empty";
    fs::create_directories(empty / "sub");
    auto nothing = photoshopInput({empty})->snapshotWithChangesSinceSnapshot(nullptr);
    EXPECT_FALSE(nothing->hasInputItemsForType(kTypePhotoshopImage));
}

TEST_F(FlowInput, AnyDifferenceOfTheTokenIsAChange) {
    const fs::path a = folder / "a.psd", b = folder / "b.psd";
    test::writeFile(a, "a");
    test::writeFile(b, "b");
    setModificationSecond(a, 1'000'000);
    setModificationSecond(b, 1'000'000);
    auto input = photoshopInput({a, b});
    int reported = 0;
    input->setDetectedChangesHandler([&] { ++reported; });
    auto first = input->snapshotWithChangesSinceSnapshot(nullptr);
    EXPECT_EQ(first->changedInputItems().size(), 2u);  // the first run sees everything

    input->detectInput();  // unchanged
    auto second = input->snapshotWithChangesSinceSnapshot(first.get());
    EXPECT_TRUE(second->changedInputItems().empty());
    EXPECT_FALSE(second->hasChangedSinceSnapshot(first.get()));
    EXPECT_EQ(second->URLToInputItemMap().at(a.string()),
              first->URLToInputItemMap().at(a.string()));

    // Rewritten with its modification time set back: still a change, of its
    // item only.
    test::writeFile(a, "a, set back");
    setModificationSecond(a, 1'000'000);
    input->detectInput();
    auto third = input->snapshotWithChangesSinceSnapshot(second.get());
    EXPECT_EQ(paths(third->changedInputItems()), std::set<std::string>{a.string()});
    EXPECT_EQ(paths(*third->inputItemsForType(kTypePhotoshopImage, QFFlowInputItemsChanged)),
              std::set<std::string>{a.string()});

    // Deleted: a change, but nothing to run.
    fs::remove(b);
    input->detectInput();
    auto fourth = input->snapshotWithChangesSinceSnapshot(third.get());
    EXPECT_TRUE(fourth->hasChangedSinceSnapshot(third.get()));
    EXPECT_TRUE(fourth->changedInputItems().empty());

    // Adding a path already in the input changes nothing.
    input->addInputWithURLs({a.string(), (folder / "." / "a.psd").string()});
    EXPECT_EQ(input->inputURLs(), (std::set<std::string>{a.string(), b.string()}));
    MainQueue::shared()->drain();
    EXPECT_EQ(reported, 2);  // the rewrite and the deletion
}

// Real writes, with the clock as it goes: saves made within one second, in
// place or by rename, are each a change, and so is an empty save.
TEST_F(FlowInput, SavesWithinOneSecondAreEachAChange) {
    const fs::path document = folder / "d.psd";
    test::writeFile(document, "version 1");
    auto input = photoshopInput({document});
    auto previous = input->snapshotWithChangesSinceSnapshot(nullptr);
    auto expectChange = [&](const char* what) {
        input->detectInput();
        auto next = input->snapshotWithChangesSinceSnapshot(previous.get());
        EXPECT_TRUE(next->hasChangedSinceSnapshot(previous.get())) << what;
        EXPECT_EQ(next->changedInputItems().size(), 1u) << what;
        previous = next;
    };
    test::writeFile(document, "version 2");  // the same size, in place
    expectChange("rewritten in place");
    test::writeFile(document, "");
    expectChange("emptied");
    test::writeFile(document, "version 3");
    expectChange("written again after it was empty");
    const fs::path saving = folder / "d.psd.saving";
    test::writeFile(saving, "version 4");
    fs::rename(saving, document);
    expectChange("saved by rename");
}

TEST_F(FlowInput, ALinkedDocumentChangesWithItsTargetAndItsLink) {
    const fs::path first = folder / "first.psd", second = folder / "second.psd",
                   link = folder / "linked.psd";
    test::writeFile(first, "first");
    test::writeFile(second, "second");
    fs::create_symlink(first, link);
    const auto linked = QFModificationToken::forPath(link.string());
    ASSERT_TRUE(linked.item && linked.linkTarget);
    EXPECT_EQ(linked.linkTarget, QFFileStamp::atPath(first.string()));
    EXPECT_FALSE(QFModificationToken::forPath(first.string()).linkTarget);

    test::writeFile(first, "first, saved again");
    const auto saved = QFModificationToken::forPath(link.string());
    EXPECT_NE(saved, linked);
    EXPECT_EQ(saved.item, linked.item);  // the link itself is as it was

    fs::remove(link);
    fs::create_symlink(second, link);
    const auto switched = QFModificationToken::forPath(link.string());
    EXPECT_NE(switched, saved);
    EXPECT_EQ(switched.linkTarget, QFFileStamp::atPath(second.string()));

    fs::remove(second);
    const auto dangling = QFModificationToken::forPath(link.string());
    EXPECT_TRUE(dangling.item);
    EXPECT_FALSE(dangling.linkTarget);
    EXPECT_NE(dangling, QFModificationToken{});  // the link is still there
    EXPECT_EQ(QFModificationToken::forPath((folder / "missing.psd").string()),
              QFModificationToken{});
}

// A path given as input that is a link stands for what it leads to: the
// document under the path given, typed by its target. A link to nothing or
// to no document is no input, and says why as the command line does; so
// does a path at which nothing is.
TEST_F(FlowInput, ALinkGivenAsInputIsTheDocumentItLeadsTo) {
    const fs::path target = folder / "targets" / "T.psd", notes = folder / "notes.txt",
                   link = folder / "L.psd", toNotes = folder / "notes.psd",
                   dangling = folder / "dangling.psd", toFolder = folder / "folder-link";
    fs::create_directories(target.parent_path());
    test::writeFile(target, "target");
    test::writeFile(notes, "notes");
    fs::create_symlink("targets/T.psd", link);
    fs::create_symlink(notes, toNotes);
    fs::create_symlink(folder / "missing.psd", dangling);
    fs::create_directory_symlink(target.parent_path(), toFolder);

    auto input = photoshopInput({link, toNotes, dangling});
    auto snapshot = input->snapshotWithChangesSinceSnapshot(nullptr);
    EXPECT_EQ(paths(*snapshot->inputItemsForType(kTypePhotoshopImage, QFFlowInputItemsAll)),
              std::set<std::string>{link.string()});
    EXPECT_EQ(snapshot->URLToModificationTokenMap().at(link.string()).linkTarget,
              QFFileStamp::atPath(target.string()));
    const std::vector<std::string> types{kTypePhotoshopImage};
    EXPECT_EQ(QFFlowInput::availabilityOfInputTypes(types, {link.string()}),
              QFFlowInputAvailabilityFiles);
    EXPECT_EQ(QFFlowInput::availabilityOfInputTypes(types, {toNotes.string(), dangling.string()}),
              QFFlowInputAvailabilityNone);

    for (const fs::path& taken : {link, toFolder, target, notes})
        EXPECT_FALSE(QFGivenPathError(taken.string())) << taken;
    const auto nothing = QFGivenPathError(dangling.string());
    ASSERT_TRUE(nothing);
    EXPECT_TRUE(nothing->is(kPOSIXErrorDomain, ENOENT));
    EXPECT_EQ(nothing->localizedDescription(),
              "open " + dangling.string() + ": Is a link to nothing");
    const auto missing = QFGivenPathError((folder / "missing.psd").string());
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->localizedDescription(),
              "open " + (folder / "missing.psd").string() + ": No such file or directory");
    const auto noDocument = QFGivenPathError(toNotes.string());
    ASSERT_TRUE(noDocument);
    EXPECT_EQ(noDocument->localizedDescription(),
              toNotes.string() + " is not a Photoshop document (.psd or .psb)");
}

TEST_F(FlowInput, ArchiveKeepsTypesBookmarksAndPlainPaths) {
    const fs::path a = folder / "a.psd", missing = folder / "missing.psd";
    test::writeFile(a, "a");
    nlohmann::json archive;
    {
        LogCapture log;
        auto input = photoshopInput({a, missing});
        EXPECT_TRUE(log.contains("Couldn't create security-scoped bookmark for input URL: " +
                                 missing.string()));
        archive = input->encode();
    }
    EXPECT_EQ(archive["$class"], "QFFlowInput");
    EXPECT_EQ(archive["inputTypes"], nlohmann::json::array({kTypePhotoshopImage}));
    EXPECT_EQ(archive["inputBookmarks"].size(), 1u);
    EXPECT_EQ(archive["inputURLs"], nlohmann::json::array({missing.string()}));

    auto decoded = QFFlowInput::decode(archive);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->inputURLs(), (std::set<std::string>{a.string(), missing.string()}));
    EXPECT_FALSE(decoded->snapshotWithChangesSinceSnapshot(nullptr));  // decoding takes none
    EXPECT_EQ(decoded->encode(), archive);

    // A bookmark whose file is gone is dropped with a log line.
    fs::remove(a);
    LogCapture log;
    auto without = QFFlowInput::decode(archive);
    EXPECT_TRUE(log.contains("Couldn't resolve security-scoped bookmark: "));
    EXPECT_EQ(without->inputURLs(), std::set<std::string>{missing.string()});

    // Values of the wrong kind are left out, each with a line; the rest
    // is kept. Types that cannot be read are those of the plug-ins.
    test::writeFile(a, "a");
    nlohmann::json damaged = archive;
    damaged["inputBookmarks"].push_back("not base64!");
    damaged["inputURLs"].push_back(12);
    damaged["inputTypes"] = "not a list";
    QFFlowPlugInManager::defaultManager()->registerPlugIn(QFExportFlowPlugIn::sharedPlugIn());
    auto kept = QFFlowInput::decode(damaged);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->inputURLs(), (std::set<std::string>{a.string(), missing.string()}));
    EXPECT_EQ(kept->inputTypes(), std::set<std::string>{kTypePhotoshopImage});
    for (const char* key : {"inputBookmarks", "inputURLs", "inputTypes"})
        EXPECT_TRUE(
            log.contains("Couldn't decode the \"" + std::string(key) + "\" of a flow input"))
            << key;
    damaged["$class"] = "QFFlow";
    EXPECT_FALSE(QFFlowInput::decode(damaged));
}

TEST_F(FlowInput, AvailabilityCountsDocumentsOfTheGivenTypes) {
    const fs::path document = folder / "a.psb", text = folder / "a.txt";
    test::writeFile(document, "x");
    test::writeFile(text, "x");
    const std::vector<std::string> types{kTypePhotoshopImage};
    EXPECT_EQ(QFFlowInput::availabilityOfInputTypes(types, {folder.path().string()}),
              QFFlowInputAvailabilityFoldersOnly);
    EXPECT_EQ(
        QFFlowInput::availabilityOfInputTypes(types, {folder.path().string(), document.string()}),
        QFFlowInputAvailabilityFiles);
    EXPECT_EQ(
        QFFlowInput::availabilityOfInputTypes(types, {text.string(), (folder / "gone").string()}),
        QFFlowInputAvailabilityNone);
}

namespace {

class ConcurrentFlowInput : public FlowInput {
protected:
    bool waitForReports(int count) {
        return MainQueue::shared()->runUntil([&] { return reported >= count; },
                                             lf::test::kPatience);
    }
    // Writes `bytes` beside `path` and renames the file over it, as
    // applications save, with a modification second of its own.
    void saveByRename(const fs::path& path, const std::string& bytes) {
        const fs::path temporary = path.string() + ".saving";
        test::writeFile(temporary, bytes);
        setModificationSecond(temporary, nextSecond++);
        fs::rename(temporary, path);
    }
    int reported = 0;
    time_t nextSecond = 2'000'000;
};

}  // namespace

TEST_F(ConcurrentFlowInput, SavesDeletionsAndRecreationsAreEachSeenOnce) {
    const fs::path document = folder / "icons.psd", other = folder / "other.psd";
    saveByRename(document, "v1");
    saveByRename(other, "v1");
    auto input = photoshopInput({document, other});
    input->setDetectedChangesHandler([&] {
        EXPECT_TRUE(isMainThread());
        ++reported;
    });
    input->setDetectsChanges(true);

    saveByRename(document, "v2");
    ASSERT_TRUE(waitForReports(1));
    fs::remove(document);
    ASSERT_TRUE(waitForReports(2));
    saveByRename(document, "v3");
    ASSERT_TRUE(waitForReports(3));
    // A change of the other document comes next, so no report came twice.
    saveByRename(other, "v2");
    ASSERT_TRUE(waitForReports(4));
    EXPECT_EQ(reported, 4);

    // Switched off, changes are not seen; on again, they are.
    input->setDetectsChanges(false);
    saveByRename(document, "v4");
    input->setDetectsChanges(true);
    saveByRename(other, "v3");
    ASSERT_TRUE(waitForReports(5));
    // Both changes are in the one snapshot that follows the second.
    auto latest = input->snapshotWithChangesSinceSnapshot(nullptr);
    EXPECT_EQ(latest->URLToModificationTokenMap().at(document.string()).item->modification.tv_sec,
              nextSecond - 2);
}
