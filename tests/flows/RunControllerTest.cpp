#include "FlowTestSupport.h"
#include "RecordingController.h"
#include "flows/QFFlowInterfaceHooks.h"
#include "flows/QFFlowManager.h"
#include "flows/QFFlowRunController.h"
#include "platform/core/Log.h"
#include "platform/settings/UserDefaults.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace lf;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class ConcurrentRunController : public ::testing::Test {
protected:
    void SetUp() override {
        QFFlowInterfaceHooks hooks;
        hooks.chooseOutputDirectory = [this](QFFlowRunController&,
                                             const std::optional<std::string>& initial,
                                             std::function<void(std::optional<std::string>)> done) {
            panelStartedAt.push_back(initial);
            done(panelAnswer);
        };
        environment.emplace(folder.path(), hooks);
        test::writeFile(folder / "a.psd", "a");
        test::writeFile(folder / "b.psd", "b");
        flow->setInitialInput(photoshopInput({folder / "a.psd", folder / "b.psd"}));
        controller->setHost(window);
        controller->willAppearInUI();
    }
    void TearDown() override { QFFlowManager::defaultManager()->removeFlow(flow); }
    bool waitForResults(size_t count) {
        return MainQueue::shared()->runUntil([&] { return controller->results.size() >= count; },
                                             lf::test::kPatience);
    }

    test::TemporaryDirectory folder;
    std::optional<FlowTestEnvironment> environment;
    std::shared_ptr<FakeExportFlow> flow = std::make_shared<FakeExportFlow>();
    std::shared_ptr<RecordingController> controller = std::make_shared<RecordingController>(flow);
    std::shared_ptr<RecordingWindow> window = std::make_shared<RecordingWindow>();
    std::optional<std::string> panelAnswer;
    std::vector<std::optional<std::string>> panelStartedAt;
};

}  // namespace

TEST_F(ConcurrentRunController, RerunsSeeOnlyChangedDocumentsAndAtMostOneWaits) {
    EXPECT_EQ(flow->status(), QFFlowStatusRunningWithUI);
    controller->runFlowForInitialInput();
    ASSERT_TRUE(waitForResults(1));
    // Shown in a window: watched.
    ASSERT_TRUE(
        MainQueue::shared()->runUntil([&] { return isWatching(*flow); }, lf::test::kPatience));
    EXPECT_EQ(controller->outputItems().size(), 2u);

    // Changes while a run is under way: one rerun follows it.
    flow->holdsRuns = true;
    setModificationSecond(folder / "a.psd", 5'000'000);
    flow->input()->detectInput();
    controller->flowInputDidChange(flow);  // runs at once, held at its start
    for (int i = 0; i < 3; ++i)
        controller->flowInputDidChange(flow);
    EXPECT_TRUE(controller->isRunning());
    flow->gate.signal();
    flow->gate.signal();
    ASSERT_TRUE(waitForResults(5));
    MainQueue::shared()->drain();
    EXPECT_EQ(controller->results, (std::vector<std::string>{"initial ok", "will rerun", "rerun ok",
                                                             "will rerun", "rerun ok"}));
    const auto runs = flow->runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0], (std::set<std::string>{"a.psd", "b.psd"}));  // the first run: everything
    EXPECT_EQ(runs[1], std::set<std::string>{"a.psd"});
    EXPECT_TRUE(runs[2].empty());

    // Adding a file already there is still answered yes.
    EXPECT_TRUE(controller->addInputWithURLs({(folder / "a.psd").string()}));
}

TEST_F(ConcurrentRunController, SavingWritesAndClosesOrStaysWithTheError) {
    controller->runFlowForInitialInput();
    ASSERT_TRUE(waitForResults(1));

    // Cancelled: nothing changes.
    controller->tryToFinishBySavingOutput();
    EXPECT_TRUE(window->reasons.empty());
    EXPECT_FALSE(flow->hasOutputDirectory());

    // The chosen folder cannot be written (it is a file): the controller
    // stays, with the error, and the flow's record of its last write stays.
    // The flow keeps the failure, as a failed run does: its row in the
    // recents says so, across a relaunch too.
    test::writeFile(folder / "blocked", "x");
    panelAnswer = (folder / "blocked").string();
    {
        LogCapture log;
        controller->tryToFinishBySavingOutput();
    }
    EXPECT_TRUE(window->reasons.empty());
    ASSERT_EQ(controller->saveErrors.size(), 1u);
    MainQueue::shared()->drain();
    EXPECT_FALSE(flow->lastRunDate());
    EXPECT_FALSE(flow->encode().contains("exportedInputTokens"));
    ASSERT_TRUE(flow->lastRunError());
    const std::string failed = "Failed: " + controller->saveErrors[0].localizedDescription();
    EXPECT_EQ(flow->lastRunError()->localizedDescription(),
              controller->saveErrors[0].localizedDescription());
    EXPECT_EQ(QFFlowManager::decodeFlow(flow->encode())->localizedStatusDescription(), failed);
    controller->willDisappearFromUI();  // as the window that gave up the save
    EXPECT_EQ(flow->localizedStatusDescription(), failed);
    controller->willAppearInUI();

    // A folder that can be written: written, closed as saved, recent.
    panelAnswer = (folder / "assets").string();
    controller->tryToFinishBySavingOutput();
    EXPECT_EQ(panelStartedAt.back(), (folder / "blocked").string());
    EXPECT_EQ(window->reasons, std::vector<QFFlowCloseReason>{QFFlowCloseReasonSaved});
    EXPECT_TRUE(fs::exists(folder / "assets" / "out" / "a.png"));
    EXPECT_TRUE(fs::exists(folder / "assets" / "out" / "b.png"));
    MainQueue::shared()->drain();
    EXPECT_EQ(flow->lastRunNumberOfItemsSaved(), 2u);
    EXPECT_EQ(flow->status(), QFFlowStatusIdle);
    EXPECT_FALSE(flow->lastRunError());
    // The saved documents are recorded as exported, for a relaunch.
    EXPECT_EQ(flow->encode()["exportedInputTokens"].size(), 2u);

    // Without a window, closing does nothing.
    auto alone = std::make_shared<RecordingController>(flow);
    alone->closeWithReason(QFFlowCloseReasonCancelled);
}

TEST_F(ConcurrentRunController, SaveDuringARunWaitsForIt) {
    controller->runFlowForInitialInput();
    ASSERT_TRUE(waitForResults(1));
    flow->holdsRuns = true;
    test::writeFile(folder / "a.psd", "a, second version");
    setModificationSecond(folder / "a.psd", 6'000'000);
    flow->input()->detectInput();
    controller->flowInputDidChange(flow);
    panelAnswer = (folder / "assets").string();
    controller->tryToFinishBySavingOutput();
    EXPECT_TRUE(window->reasons.empty());  // not while the output is being filled
    flow->gate.signal();
    ASSERT_TRUE(MainQueue::shared()->runUntil([&] { return !window->reasons.empty(); },
                                              lf::test::kPatience));
    std::ifstream saved(folder / "assets" / "out" / "a.png");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), "a, second version");
}

// The window saves current outputs into the folder where a background run
// failed: the flow's status line no longer says it failed.
TEST_F(ConcurrentRunController, ASaveFromTheWindowEndsTheFailureOfABackgroundRun) {
    const fs::path assets = folder / "assets";
    flow->setOutputDirectoryURL(assets.string());
    test::writeFile(folder / "a.psd", "fail");
    flow->startBackgroundRunIfNeeded();
    ASSERT_TRUE(MainQueue::shared()->runUntil(
        [&] { return flow->status() == QFFlowStatusRunningWithUI; }, lf::test::kPatience));
    ASSERT_TRUE(flow->lastRunError());

    test::writeFile(folder / "a.psd", "a, mended");
    controller->runFlowForInitialInput();
    ASSERT_TRUE(waitForResults(1));
    panelAnswer = assets.string();
    controller->tryToFinishBySavingOutput();  // after the run of the mended document
    ASSERT_TRUE(MainQueue::shared()->runUntil([&] { return !window->reasons.empty(); },
                                              lf::test::kPatience));
    EXPECT_EQ(window->reasons, std::vector<QFFlowCloseReason>{QFFlowCloseReasonSaved});
    MainQueue::shared()->drain();
    EXPECT_FALSE(flow->lastRunError());
    EXPECT_EQ(flow->localizedStatusDescription().rfind("Failed:", 0), std::string::npos);
    EXPECT_FALSE(flow->encode().contains("lastRunError"));
}

// A change the window saw before its first run began started a run of its
// own: the first run follows that run rather than fill the same output
// beside it, and a Save, asked for while that run is under way or once it
// has ended, waits for the first run and writes its output, never one a
// run is filling.
enum class SaveAskedFor { DuringTheRunForTheChange, DuringTheFirstRun };

class ConcurrentFirstRunBehindAChange : public ConcurrentRunController,
                                        public ::testing::WithParamInterface<SaveAskedFor> {
protected:
    bool waitForHeldRuns(int count) {
        return MainQueue::shared()->runUntil([&] { return flow->heldRuns >= count; },
                                             lf::test::kPatience);
    }
    void askForSaveAt(SaveAskedFor moment) {
        if (GetParam() != moment) return;
        panelAnswer = (folder / "assets").string();
        controller->tryToFinishBySavingOutput();
    }
};

TEST_P(ConcurrentFirstRunBehindAChange, TheFirstRunFollowsAndTheSaveWritesItsOutput) {
    flow->holdsRuns = true;
    flow->input()->detectInput();
    controller->flowInputDidChange(flow);
    ASSERT_TRUE(waitForHeldRuns(1));  // it has read the documents
    test::writeFile(folder / "a.psd", "a, second version");
    setModificationSecond(folder / "a.psd", 7'000'000);
    controller->runFlowForInitialInput();
    askForSaveAt(SaveAskedFor::DuringTheRunForTheChange);
    flow->gate.signal();
    ASSERT_TRUE(waitForResults(2));  // the run for the change has ended
    EXPECT_TRUE(controller->isRunning());

    askForSaveAt(SaveAskedFor::DuringTheFirstRun);
    ASSERT_TRUE(waitForHeldRuns(2));  // the first run has read the documents
    EXPECT_TRUE(window->reasons.empty());
    flow->gate.signal();
    ASSERT_TRUE(MainQueue::shared()->runUntil(
        [&] { return !window->reasons.empty() && controller->results.size() >= 3; },
        lf::test::kPatience));
    EXPECT_EQ(controller->results,
              (std::vector<std::string>{"will rerun", "rerun ok", "initial ok"}));
    EXPECT_EQ(flow->runs().size(), 2u);
    std::ifstream saved(folder / "assets" / "out" / "a.png");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), "a, second version");
}

INSTANTIATE_TEST_SUITE_P(SaveAskedFor, ConcurrentFirstRunBehindAChange,
                         ::testing::Values(SaveAskedFor::DuringTheRunForTheChange,
                                           SaveAskedFor::DuringTheFirstRun),
                         [](const ::testing::TestParamInfo<SaveAskedFor>& moment) {
                             return moment.param == SaveAskedFor::DuringTheRunForTheChange
                                        ? "DuringTheRunForTheChange"
                                        : "DuringTheFirstRun";
                         });

// A Save that waited for a run that then fails is not made: what the
// failed run left in the output is no export of the documents. The window
// stays, with the run's failure, and the flow keeps no folder it did not
// write into.
TEST_F(ConcurrentRunController, ASaveWaitingForARunThatFailsIsNotMade) {
    flow->holdsRuns = true;
    test::writeFile(folder / "b.psd", "fail");  // after a.png is in the run's output
    flow->input()->detectInput();               // the flow tells the window of the change
    ASSERT_TRUE(MainQueue::shared()->runUntil([&] { return controller->isRunning(); },
                                              lf::test::kPatience));
    panelAnswer = (folder / "assets").string();
    controller->tryToFinishBySavingOutput();
    flow->gate.signal();
    ASSERT_TRUE(waitForResults(2));
    MainQueue::shared()->drain();
    EXPECT_EQ(controller->results, (std::vector<std::string>{"will rerun", "rerun failed"}));
    EXPECT_TRUE(window->reasons.empty());
    EXPECT_FALSE(fs::exists(folder / "assets"));
    EXPECT_FALSE(flow->hasOutputDirectory());
    EXPECT_FALSE(flow->lastRunDate());
}
