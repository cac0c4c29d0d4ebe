// Two saves of a repeating flow's document within one second, with real
// writes and the clock as it goes: the second save is exported, whenever it
// comes in the first one's run, and an empty save followed by a valid one
// ends with the valid one exported and no error.

#include "SavedVersionsSupport.h"

#include <chrono>

using namespace lf;
using namespace saved_versions;

namespace {

class ConcurrentSameSecondSaves : public SavedVersionsTest {
protected:
    void SetUp() override {
        SavedVersionsTest::SetUp();
        repeatAutomatically();
    }
    // The next version, unlike any saved before.
    lf::Data nextVersion() { return version(++versions); }
    // Lets the flow work for `duration` of the clock.
    static void runFor(std::chrono::nanoseconds duration) {
        MainQueue::shared()->runUntil([] { return false; }, duration);
    }
    // Waits into the first 50 ms of a second, so that saves less than 0.95 s
    // apart fall within one second.
    static void waitForTheStartOfASecond() {
        using namespace std::chrono;
        const auto now = system_clock::now();
        runFor(ceil<seconds>(now) + 10ms - now);
    }
    int versions = 0;
};

}  // namespace

// The second save made while the run of the first has read none, part, or
// all of the document, and just after it wrote its outputs.
TEST_F(ConcurrentSameSecondSaves, ASecondSaveAtAnyMomentOfTheFirstOnesRunIsExported) {
    const size_t size = version(0).size();
    for (size_t heldAfter : {size_t(0), size / 2, size}) {
        flow->holdAfterBytes = heldAfter;
        flow->holdsReads = true;
        const int held = flow->heldReads;
        save(document, nextVersion());
        ASSERT_TRUE(waitUntil([&] { return flow->heldReads == held + 1; }));
        const lf::Data second = nextVersion();
        save(document, second);
        flow->holdsReads = false;
        flow->gate.signal();
        ASSERT_TRUE(endsExporting(second)) << "held after " << heldAfter << " bytes";
    }

    // The second save as soon as the first run's outputs are written.
    const lf::Data second = nextVersion();
    int writes = 0;
    auto saveOnWrite = flow->addObserver("lastRunDate", [&](const std::string&) {
        if (++writes == 1) save(document, second);
    });
    save(document, nextVersion());
    ASSERT_TRUE(endsExporting(second));
}

// Real gaps between the two saves, from far less than the half second the
// flow waits for a save to end to nearly a second.
TEST_F(ConcurrentSameSecondSaves, TwoSavesApartByLessThanASecondEndWithTheSecond) {
    for (auto gap : {50ms, 300ms, 600ms, 900ms}) {
        waitForTheStartOfASecond();
        save(document, nextVersion());
        runFor(gap);
        const lf::Data second = nextVersion();
        save(document, second);
        ASSERT_TRUE(endsExporting(second)) << gap.count() << " ms apart";
    }
}

// An empty save (a writer that truncated the document and has not yet
// written it) and the valid one after it: the run of the empty document may
// fail, but the valid one's run ends the failure.
TEST_F(ConcurrentSameSecondSaves, AnEmptySaveFollowedByAValidOneEndsExportedWithoutError) {
    for (auto gap : {50ms, 700ms}) {
        waitForTheStartOfASecond();
        save(document, lf::Data());
        runFor(gap);
        const lf::Data valid = nextVersion();
        save(document, valid);
        ASSERT_TRUE(endsExporting(valid)) << gap.count() << " ms apart";
    }
}
