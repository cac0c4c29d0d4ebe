// A document rewritten while a run reads it: the run writes nothing of
// what it read, in the background or in a window, and the flow runs again
// until its outputs are those of one version, the last.

#include "RecordingController.h"
#include "SavedVersionsSupport.h"
#include "flows/runs/QFFlowRun.h"

#include <algorithm>
#include <mutex>
#include <thread>

using namespace lf;
using namespace saved_versions;

namespace {

class ConcurrentChangedDocument : public SavedVersionsTest {
protected:
    // Holds the next read half way through the document.
    void holdReadsHalfWay() {
        flow->holdAfterBytes = version(0).size() / 2;
        flow->holdsReads = true;
    }
    bool waitForHeldReads(int count) {
        return waitUntil([&] { return flow->heldReads == count; });
    }
    // Rewrites the document in place while the held read waits, then lets
    // the read go on, over the new bytes.
    void rewriteDuringTheHeldRead(const lf::Data& saved) {
        ASSERT_TRUE(waitForHeldReads(1));
        rewriteInPlace(document, saved);
        flow->holdsReads = false;
        flow->gate.signal();
    }
};

// The bytes of a document that one write, begun before the run examined
// its file, is writing over from the start: version 1's below how far it
// has come, version 0's past it. It has come half way when the run starts
// and ends after the read numbered `endsAfter`. Made on the run's thread;
// the last read made off it, as layers are drawn, is kept.
class WriteUnderWaySource final : public BAByteSource {
public:
    explicit WriteUnderWaySource(int endsAfter) : endsAfter_(endsAfter) {}

    lf::Status read(void* destination, uint64_t offset, uint64_t length) const override {
        std::lock_guard lock(mutex_);
        const int number = reads_++;
        if (std::this_thread::get_id() != runThread_) lastDraw = number;
        const uint64_t written = number > endsAfter_ ? after_.size() : after_.size() / 2;
        auto* out = static_cast<uint8_t*>(destination);
        for (uint64_t i = offset; i < offset + length; ++i)
            *out++ = (i < written ? after_ : before_).bytes()[i];
        return {};
    }
    mutable int lastDraw = -1;  // read once the run has ended

private:
    const lf::Data before_ = version(0), after_ = version(1);
    const int endsAfter_;
    const std::thread::id runThread_ = std::this_thread::get_id();
    mutable std::mutex mutex_;
    mutable int reads_ = 0;
};

}  // namespace

// The file's stamp is version 1's all along, as a write changes it when it
// begins. The write ends after each read the outputs are drawn from in
// turn, the last draw's included (one that lasts longer than the whole run
// leaves a file that holds what the run read): the run makes the outputs
// of one version or ends with the input-changed error, never outputs drawn
// from both.
TEST(WriteUnderWay, ARunNeverExportsWhatItReadOfBothVersions) {
    lf::test::TemporaryDirectory folder;
    flows_test::ScopedUserDefaults defaults;
    const fs::path document = folder / "d.psd";
    save(document, version(1));
    QFFlowOutput output;
    int lastDraw = -1;
    const auto exportWhileWriting = [&](int endsAfter) {
        auto source = std::make_shared<WriteUnderWaySource>(endsAfter);
        const BASlice slice{source, 0, version(1).size()};
        const lf::Status status = QFExportRunBody(
            {{document.string(), [slice] { return lf::Result<BASlice>(slice); }, {}}}, output);
        lastDraw = source->lastDraw;
        return status;
    };
    ASSERT_TRUE(exportWhileWriting(-1));
    const int draws = lastDraw;
    const lf::Data exports[] = {exportedA(version(0)), exportedA(version(1))};
    int changed = 0;
    for (int endsAfter = 0; endsAfter <= draws; ++endsAfter) {
        SCOPED_TRACE("the write ends after read " + std::to_string(endsAfter));
        const lf::Status status = exportWhileWriting(endsAfter);
        if (!status) {
            EXPECT_TRUE(QFFlowRunErrorIsInputChanged(status.error())) << describe(status.error());
            ++changed;
            continue;
        }
        ASSERT_EQ(output.items().size(), 1u);
        EXPECT_NE(std::find(std::begin(exports), std::end(exports), output.items()[0]->data()),
                  std::end(exports));
    }
    EXPECT_GT(changed, 0);
}

// A flow that is not watched, so no change can start a run: the one run
// made again on a fresh snapshot is what exports the new version.
TEST_F(ConcurrentChangedDocument, ARunThatReadADocumentWhileItWasRewrittenWritesNothing) {
    holdReadsHalfWay();
    flow->startBackgroundRunIfNeeded();
    rewriteDuringTheHeldRead(version(1));
    ASSERT_TRUE(endsExporting(version(1)));
    EXPECT_EQ(written.size(), 1u);
    expectOnlyExportsOf({version(1)});
    EXPECT_EQ(flow->lastRunNumberOfItemsSaved(), 1u);
}

// A read that failed on the half-written document is no failure of the
// flow either.
TEST_F(ConcurrentChangedDocument, AFailureOfAReadDuringARewriteIsNotKept) {
    save(document, lf::Data::fromString(std::string(version(0).size(), 'x')));
    holdReadsHalfWay();
    flow->startBackgroundRunIfNeeded();
    rewriteDuringTheHeldRead(version(2));
    ASSERT_TRUE(endsExporting(version(2)));
    expectOnlyExportsOf({version(2)});
}

// The behaviour switched off (as removing the flow does) while its run read
// the document: the run writes nothing and is not made again.
TEST_F(ConcurrentChangedDocument, NoRunFollowsOnceTheBehaviourIsSwitchedOff) {
    repeatAutomatically();
    holdReadsHalfWay();
    flow->startBackgroundRunIfNeeded();
    ASSERT_TRUE(waitForHeldReads(1));
    flow->setBehavior(QFFlowBehaviorNone);
    rewriteInPlace(document, version(1));
    flow->holdsReads = false;
    flow->gate.signal();
    ASSERT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
    MainQueue::shared()->drain();
    EXPECT_EQ(flow->status(), QFFlowStatusIdle);
    EXPECT_TRUE(written.empty());
    EXPECT_FALSE(fs::exists(out));
}

// Documents rewritten once every document was opened and scanned, while
// the run draws layers from the files: the document whose layers are half
// drawn, or another one, read whole before. The run writes nothing of what
// it read; the run made again in its place exports the new version.
TEST_F(ConcurrentChangedDocument, ADocumentRewrittenWhileLayersAreDrawnIsExportedAgain) {
    const fs::path other = folder / "b.psd";
    const lf::Data otherDocument = flows_test::documentData(
        240, 160, {flows_test::layer("b.png", 0, 0, 240, 160, {90, 60, 30, 255})});
    const auto rewriteDuringTheSecondDraw = [&](const lf::Data& saved) {
        written.clear();
        flow->draws.holdAt = flow->draws.started + 1;
        const int held = flow->draws.held;
        flow->startBackgroundRunIfNeeded();
        // The first draw read is whole, of the version before.
        ASSERT_TRUE(waitUntil([&] { return flow->draws.held > held && flow->draws.finished > 0; }));
        rewriteInPlace(document, saved);
        flow->draws.gate.signal();
        ASSERT_TRUE(waitUntil([&] { return flow->status() == QFFlowStatusIdle; }));
        EXPECT_FALSE(flow->lastRunError());
        EXPECT_EQ(readOutput(), exportedA(saved));
        expectOnlyExportsOf({saved});
    };
    {
        SCOPED_TRACE("its own layers");
        rewriteDuringTheSecondDraw(version(1));
    }
    {
        SCOPED_TRACE("another document's layers");
        save(other, otherDocument);
        flow->addInputWithURLs({other.string()});
        flow->readWhole = {"d.psd"};
        rewriteDuringTheSecondDraw(version(2));
        EXPECT_EQ(lf::Data::readFile((out / "b.png").string()).valueOr(lf::Data()),
                  exportedA(otherDocument));
    }
}

// In a window: the run that read the rewrite has no result; the window's
// first result is the new version's, and a save asked for meanwhile waits
// for it.
TEST_F(ConcurrentChangedDocument, AWindowRunsAgainInsteadOfOfferingMixedOutputs) {
    QFFlowInterfaceHooks hooks;
    hooks.chooseOutputDirectory = [&](QFFlowRunController&, const std::optional<std::string>&,
                                      std::function<void(std::optional<std::string>)> done) {
        done((folder / "saved").string());
    };
    QFFlowInterfaceHooks::install(hooks);
    auto controller = std::make_shared<RecordingController>(flow);
    auto window = std::make_shared<RecordingWindow>();
    controller->setHost(window);
    controller->willAppearInUI();

    holdReadsHalfWay();
    controller->runFlowForInitialInput();
    ASSERT_TRUE(waitForHeldReads(1));
    controller->tryToFinishBySavingOutput();
    rewriteDuringTheHeldRead(version(1));
    ASSERT_TRUE(waitUntil([&] { return window->reasons.size() == 1; }));
    EXPECT_EQ(controller->results, std::vector<std::string>{"initial ok"});
    ASSERT_EQ(controller->outputItems().size(), 1u);
    EXPECT_EQ(controller->outputItems()[0]->data(), exportedA(version(1)));
    EXPECT_EQ(lf::Data::readFile((folder / "saved" / "a.png").string()).valueOr(lf::Data()),
              exportedA(version(1)));
}

// Real writes: a repeating flow's document rewritten in place in three
// writes, with a pause after the first a little or much longer than the
// flow waits for a save to end, so that runs read it half written, or
// while it is written again. A run that read it paused may write what it
// read, but the flow always ends with the last version exported.
TEST_F(ConcurrentChangedDocument, RewritesWithAPauseEndExported) {
    repeatAutomatically();
    int trial = 0;
    for (auto pause : {550ms, 800ms, 600ms, 700ms}) {
        const lf::Data saved = version(++trial);
        std::atomic<bool> writing{true};
        std::thread writer([&] {
            rewriteInPlace(document, saved, 3, [&] { std::this_thread::sleep_for(pause); });
            writing = false;
        });
        waitUntil([&] { return !writing; });  // the flow runs meanwhile
        writer.join();
        ASSERT_TRUE(endsExporting(saved)) << "trial " << trial;
    }
}
