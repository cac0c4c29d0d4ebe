// Export flows over real tagged documents: a flow that repeats
// automatically exports again in the background when its document is
// saved, and comes back from the recents list in the user defaults; a
// folder flow with a damaged document names it, by its path below the
// folder; a flow whose document is gone says that it is missing.

#include "FlowTestSupport.h"
#include "RecordingController.h"
#include "flows/QFExportFlow.h"
#include "flows/QFFlowManager.h"
#include "platform/settings/UserDefaults.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace lf;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(ConcurrentExportFlow, RepeatingFlowExportsAgainWhenItsDocumentChanges) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    test::TemporaryDirectory folder;
    FlowTestEnvironment environment(folder.path(), {});
    const std::string defaultsPath = UserDefaults::standard()->path();
    const fs::path document = folder / "icons.psd", out = folder / "out";
    fs::copy_file(test::sharedFile("psd-tagged/01-plain.psd"), document);
    setModificationSecond(document, 7'000'000);

    auto flow = std::make_shared<QFExportFlow>();
    flow->setInitialInput(photoshopInput({document}));
    flow->setOutputDirectoryURL(out.string());
    flow->setBehavior(QFFlowBehaviorRepeatAutomatically);
    auto manager = std::make_shared<QFFlowManager>();
    manager->noteNewRecentFlow(flow);
    manager->activateAutomaticBehaviorIfNeeded();
    ASSERT_TRUE(
        MainQueue::shared()->runUntil([&] { return isWatching(*flow); }, lf::test::kPatience));
    EXPECT_FALSE(fs::exists(out));

    // Saved again: exported within a few seconds, without a window.
    setModificationSecond(document, 7'000'001);
    ASSERT_TRUE(MainQueue::shared()->runUntil(
        [&] { return flow->lastRunDate() && flow->status() == QFFlowStatusIdle; },
        lf::test::kPatience));
    EXPECT_FALSE(flow->lastRunError());
    EXPECT_EQ(flow->lastRunNumberOfItemsSaved(), 1u);
    EXPECT_TRUE(fs::is_regular_file(out / "pixel.png"));

    // The recents list, read back from the defaults file, holds the flow
    // with its behaviour, folder and record.
    QFFlowManager reloaded(std::make_shared<UserDefaults>(defaultsPath));
    ASSERT_EQ(reloaded.recentFlows().size(), 1u);
    const auto& stored = reloaded.recentFlows()[0];
    EXPECT_TRUE(std::dynamic_pointer_cast<QFExportFlow>(stored));
    EXPECT_EQ(stored->behavior(), QFFlowBehaviorRepeatAutomatically);
    EXPECT_EQ(stored->outputDirectoryURL(), out.string());
    EXPECT_EQ(stored->inputURLs(), std::set<std::string>{document.string()});
    EXPECT_EQ(stored->lastRunNumberOfItemsSaved(), 1u);
    ASSERT_TRUE(stored->lastRunDate());
    EXPECT_LT(abs(*stored->lastRunDate() - *flow->lastRunDate()), 1ms);  // stored in seconds

    manager->removeFlow(flow);
}

// One damaged document among several: the run writes nothing, and its
// error, which the flow keeps and its status line shows, names that file.
TEST(ConcurrentExportFlow, AFolderFlowNamesTheDocumentItCannotRead) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    test::TemporaryDirectory folder;
    FlowTestEnvironment environment(folder.path(), {});
    const fs::path documents = folder / "documents", out = folder / "out";
    fs::create_directory(documents);
    fs::copy_file(test::sharedFile("psd-tagged/01-plain.psd"), documents / "a.psd");
    fs::copy_file(test::sharedFile("psd-tagged/05-folders.psd"), documents / "c.psd");
    test::writeFile(documents / "b-damaged.psd", "not a Photoshop document");

    auto flow = std::make_shared<QFExportFlow>();
    flow->setInitialInput(photoshopInput({documents}));
    flow->setOutputDirectoryURL(out.string());
    flow->startBackgroundRunIfNeeded();
    ASSERT_TRUE(MainQueue::shared()->runUntil([&] { return flow->status() == QFFlowStatusIdle; },
                                              lf::test::kPatience));
    ASSERT_TRUE(flow->lastRunError());
    EXPECT_TRUE(flow->lastRunError()->is("QFExportFlowErrorDomain", -10));
    const std::string description = flow->lastRunError()->localizedDescription();
    EXPECT_NE(description.find("b-damaged.psd"), std::string::npos) << description;
    EXPECT_EQ(flow->localizedStatusDescription(), "Failed: " + description);
    EXPECT_FALSE(fs::exists(out));
}

// Two documents of one name in different folders of a folder flow: the
// error names the one it is about by its path below the flow's folder.
TEST(ConcurrentExportFlow, DocumentsOfOneNameAreNamedByTheirPathBelowTheFolder) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    test::TemporaryDirectory folder;
    FlowTestEnvironment environment(folder.path(), {});
    const fs::path documents = folder / "documents";
    fs::create_directories(documents / "one");
    fs::create_directories(documents / "two");
    fs::copy_file(test::sharedFile("psd-tagged/01-plain.psd"), documents / "one" / "x.psd");
    test::writeFile(documents / "two" / "x.psd", "not a Photoshop document");

    auto flow = std::make_shared<QFExportFlow>();
    flow->setInitialInput(photoshopInput({documents}));
    flow->setOutputDirectoryURL((folder / "out").string());
    flow->startBackgroundRunIfNeeded();
    ASSERT_TRUE(MainQueue::shared()->runUntil([&] { return flow->status() == QFFlowStatusIdle; },
                                              lf::test::kPatience));
    ASSERT_TRUE(flow->lastRunError());
    EXPECT_EQ(flow->lastRunError()->localizedDescription(),
              "“two/x.psd” Is Not a Photoshop Document");
    EXPECT_EQ(flow->lastRunError()->stringForKey(kFilePathErrorKey),
              (documents / "two" / "x.psd").string());
}

// The only document moved away or deleted: the run says it is missing and
// names it, in the recents row and in a window, instead of finding no
// tagged layers.
TEST(ConcurrentExportFlow, AFlowWhoseDocumentIsGoneSaysItIsMissing) {
    LF_REQUIRE_SHARED_DOCUMENTS();
    test::TemporaryDirectory folder;
    FlowTestEnvironment environment(folder.path(), {});
    for (bool moved : {true, false}) {
        const fs::path document = folder / (moved ? "moved.psd" : "deleted.psd");
        fs::copy_file(test::sharedFile("psd-tagged/01-plain.psd"), document);
        auto flow = std::make_shared<QFExportFlow>();
        flow->setInitialInput(photoshopInput({document}));
        flow->setOutputDirectoryURL((folder / "out").string());
        if (moved)
            fs::rename(document, folder / "elsewhere.psd");
        else
            fs::remove(document);
        const std::string missing = "“" + document.filename().string() + "” Is Missing";

        flow->startBackgroundRunIfNeeded();
        ASSERT_TRUE(MainQueue::shared()->runUntil(
            [&] { return flow->status() == QFFlowStatusIdle; }, lf::test::kPatience));
        ASSERT_TRUE(flow->lastRunError());
        EXPECT_TRUE(flow->lastRunError()->is("QFExportFlowErrorDomain", -12));
        EXPECT_EQ(flow->localizedStatusDescription(), "Failed: " + missing);

        auto controller = std::make_shared<RecordingController>(flow);
        controller->willAppearInUI();
        controller->runFlowForInitialInput();
        ASSERT_TRUE(MainQueue::shared()->runUntil([&] { return !controller->errors.empty(); },
                                                  lf::test::kPatience));
        ASSERT_TRUE(controller->errors[0]);
        EXPECT_EQ(controller->errors[0]->localizedDescription(), missing);
        EXPECT_EQ(controller->errors[0]->stringForKey(kFilePathErrorKey), document.string());
        controller->willDisappearFromUI();
    }
}
