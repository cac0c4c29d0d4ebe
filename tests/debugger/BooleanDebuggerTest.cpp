// The debugger window holds an operation's thread at every stage until the
// developer steps, while the main thread stays free: each step lets exactly
// one stop pass, a step given early lets the next stop pass at once, "next
// operation" runs on to the next operation, and closing the window releases
// the operation for good. The operation's result is the same as without it.
//
// The operation runs on a worker behind a counter of the stages that
// entered and returned, so a test sees where the worker waits; the test's
// thread is the main thread and drains the main queue while it looks.
// Every wait gives up after a few seconds, so broken stepping fails the
// test instead of holding it; a worker that stays stopped is left behind
// with everything it uses.

#include "GeometryTestSupport.h"
#include "debugger/QFBooleanDebugger.h"
#include "platform/core/Log.h"
#include "platform/dispatch/MainQueue.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace geometry_test;

namespace {

// Forwards every stage to a debugger (if any) and counts the stages that
// entered it and returned from it.
class StageCounter : public VKBooleanDebugger {
public:
    explicit StageCounter(std::shared_ptr<VKBooleanDebugger> debugger = nullptr)
        : debugger_(std::move(debugger)) {}

    std::atomic<int> entered = 0;
    std::atomic<int> returned = 0;
    std::atomic<int> operations = 0;

    void willPerformOperation(VKBooleanOperation operation,
                              std::shared_ptr<const VKBooleanCompoundPath> a,
                              std::shared_ptr<const VKBooleanCompoundPath> b,
                              VKRect bounds) override {
        ++operations;
        pass([&](auto& d) { d.willPerformOperation(operation, a, b, bounds); });
    }
    void didPerformOperationWithResult(
        std::shared_ptr<const VKBooleanCompoundPath> result) override {
        pass([&](auto& d) { d.didPerformOperationWithResult(result); });
    }
    void didAddVerbatimPath(std::shared_ptr<const VKPath> path, unsigned flags) override {
        pass([&](auto& d) { d.didAddVerbatimPath(path, flags); });
    }
    void didFindIntersectionPoint(VKPoint point, unsigned flags,
                                  const VKBooleanDebuggerUserInfo& info) override {
        pass([&](auto& d) { d.didFindIntersectionPoint(point, flags, info); });
    }
    void willBeginTracingPath() override {
        pass([&](auto& d) { d.willBeginTracingPath(); });
    }
    void willTraceFromIntersectionPoint(VKPoint point, unsigned flags) override {
        pass([&](auto& d) { d.willTraceFromIntersectionPoint(point, flags); });
    }
    void didTracePathSegment(const VKPathSegment& segment) override {
        pass([&](auto& d) { d.didTracePathSegment(segment); });
    }
    void didAddTracedPath(std::shared_ptr<const VKPath> path) override {
        pass([&](auto& d) { d.didAddTracedPath(path); });
    }

private:
    template <typename Call>
    void pass(Call&& call) {
        ++entered;
        if (debugger_) call(*debugger_);
        ++returned;
    }

    std::shared_ptr<VKBooleanDebugger> debugger_;
};

bool runUntil(const std::function<bool()>& done) {
    return lf::MainQueue::shared()->runUntil(done, lf::test::kPatience);
}

// Joins `worker` once `finished`, or leaves it behind when it does not
// finish in time: it may then be stopped for good, and joining it would
// hang the tests.
bool joinWhenFinished(std::thread& worker, const std::atomic<bool>& finished) {
    if (!runUntil([&] { return finished.load(); })) {
        worker.detach();
        return false;
    }
    worker.join();
    return true;
}

const auto kSquare = compound({rectangle(0, 0, 100, 100)});
const auto kCircle = compound({circle({100, 50}, 30)});

void expectSameResult(const VKCompoundPath& actual, const VKCompoundPath& expected) {
    ASSERT_EQ(actual.paths().size(), expected.paths().size());
    for (size_t i = 0; i < actual.paths().size(); ++i)
        EXPECT_EQ(actual.paths()[i]->knots(), expected.paths()[i]->knots()) << "path " << i;
}

// The number of stages of an operation, counted without stopping.
int stagesOf(int operation) {
    StageCounter counter;
    kSquare->compoundPathByPerformingOperation(VKBooleanOperation(operation), *kCircle, &counter);
    return counter.entered;
}

class QFBooleanDebuggerStepping : public ::testing::Test {
protected:
    void TearDown() override {
        if (worker_.joinable()) {
            // A failed test may leave the worker waiting.
            debugger->windowWillClose();
            finishOperations();
        }
        debugger.reset();
        lf::MainQueue::shared()->drain();  // the window goes
    }

    // Runs the operations one after another on a worker.
    void start(std::vector<int> operations) {
        worker_ = std::thread([run = run, operations] {
            for (int operation : operations)
                run->results.push_back(kSquare->compoundPathByPerformingOperation(
                    VKBooleanOperation(operation), *kCircle, &run->counter));
            run->finished = true;
        });
    }

    // Whether the worker waits at stop `n` (counted from 1): it entered the
    // n-th stage and has not returned from it. The start of an operation is
    // shown on the main thread before its stop: that is waited for too.
    bool waitsAtStop(int n) {
        const StageCounter& counter = run->counter;
        runUntil([&] { return counter.entered >= n || run->finished; });
        runUntil([&] {
            return debugger->canvas()->visualBooleanPaths().size() == size_t(counter.operations) ||
                   !debugger->isDebugging() || run->finished;
        });
        return counter.entered == n && counter.returned == n - 1;
    }

    void finishOperations() {
        EXPECT_TRUE(joinWhenFinished(worker_, run->finished))
            << "the worker is still stopped at stage " << run->counter.entered;
    }

    void press(Qt::KeyboardModifiers modifiers, int key = Qt::Key_Return) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(debugger->window(), &event);
    }

    // What the worker touches, kept alive by the worker too.
    struct Run {
        explicit Run(std::shared_ptr<QFBooleanDebugger> debugger) : counter(std::move(debugger)) {}
        StageCounter counter;
        std::vector<std::shared_ptr<VKCompoundPath>> results;
        std::atomic<bool> finished = false;
    };

    std::shared_ptr<QFBooleanDebugger> debugger = std::make_shared<QFBooleanDebugger>();
    std::shared_ptr<Run> run = std::make_shared<Run>(debugger);

private:
    std::thread worker_;
};

}  // namespace

TEST_F(QFBooleanDebuggerStepping, EachStepLetsOneStopPass) {
    const int stages = stagesOf(VKBooleanOperationSubtract);
    ASSERT_GT(stages, 6);
    lf::LogCapture log;
    start({VKBooleanOperationSubtract});
    for (int stop = 1; stop <= stages; ++stop) {
        ASSERT_TRUE(waitsAtStop(stop)) << "stop " << stop << " of " << stages;
        EXPECT_TRUE(debugger->nextStepButton()->isEnabled());
        debugger->nextStepButton()->click();
    }
    finishOperations();
    expectSameResult(*run->results.at(0), *kSquare->compoundPathByPerformingOperation(
                                              VKBooleanOperationSubtract, *kCircle));

    EXPECT_TRUE(debugger->currentVisualBooleanPath()->isFinished());
    EXPECT_FALSE(debugger->nextStepButton()->isEnabled()) << "no step without an operation";
    EXPECT_EQ(debugger->window()->windowTitle(), "Current Operation: Subtract");
    const auto lines = log.lines();
    ASSERT_EQ(static_cast<int>(lines.size()), stages);
    EXPECT_EQ(lines.front(), "willPerformOperation:Subtract");
    EXPECT_EQ(lines.back(), "didPerformOperationWithResult");
    const QRegularExpression intersection(
        R"(^didFindIntersectionPoint: \{ [-0-9.e+]+, [-0-9.e+]+ \} \( (A->B|B->A) \) flags:\d+$)");
    int intersections = 0;
    for (const auto& line : lines) {
        if (line.starts_with("didFindIntersectionPoint")) {
            ++intersections;
            EXPECT_TRUE(intersection.match(QString::fromStdString(line)).hasMatch()) << line;
        }
    }
    EXPECT_EQ(intersections, 2);
}

TEST_F(QFBooleanDebuggerStepping, AStepGivenEarlyLetsTheNextStopPass) {
    debugger->nextStep();
    start({VKBooleanOperationAdd});
    EXPECT_TRUE(waitsAtStop(2));
}

TEST_F(QFBooleanDebuggerStepping, ClosingTheWindowReleasesTheWorkerAndSilencesLaterStages) {
    const int stages = stagesOf(VKBooleanOperationIntersect);
    start({VKBooleanOperationIntersect});
    debugger->nextStep();
    debugger->nextStep();
    ASSERT_TRUE(waitsAtStop(3));
    lf::LogCapture log;
    debugger->window()->close();
    finishOperations();
    EXPECT_FALSE(debugger->isDebugging());
    EXPECT_EQ(run->counter.returned, stages);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_FALSE(debugger->currentVisualBooleanPath()->isFinished())
        << "later stages are not recorded";
}

TEST_F(QFBooleanDebuggerStepping, NextOperationRunsOnToTheNextOperation) {
    const int firstStages = stagesOf(VKBooleanOperationAdd);
    start({VKBooleanOperationAdd, VKBooleanOperationExclude});
    ASSERT_TRUE(waitsAtStop(1));
    debugger->nextOperationButton()->click();
    EXPECT_FALSE(debugger->nextStepButton()->isEnabled());
    EXPECT_FALSE(debugger->nextOperationButton()->isEnabled());

    ASSERT_TRUE(waitsAtStop(firstStages + 1)) << "the next operation stops again";
    EXPECT_TRUE(debugger->nextStepButton()->isEnabled());
    EXPECT_EQ(debugger->window()->windowTitle(), "Current Operation: Exclude");
    EXPECT_EQ(debugger->canvas()->visualBooleanPaths().size(), 2u);
    EXPECT_TRUE(debugger->canvas()->visualBooleanPaths()[0]->isFinished());
}

TEST_F(QFBooleanDebuggerStepping, ReturnStepsAndItsModifiersDoMore) {
    const int stages = stagesOf(VKBooleanOperationSubtract);
    start({VKBooleanOperationSubtract});
    ASSERT_TRUE(waitsAtStop(1));
    press(Qt::NoModifier, Qt::Key_A);  // not a step
    press(Qt::ShiftModifier, Qt::Key_Space);
    press(Qt::NoModifier);
    ASSERT_TRUE(waitsAtStop(2));
    press(Qt::ShiftModifier);  // debug, then step: two stops pass
    ASSERT_TRUE(waitsAtStop(4));
    press(Qt::ControlModifier);  // runs on to the end
    EXPECT_FALSE(debugger->nextStepButton()->isEnabled());
    finishOperations();
    EXPECT_EQ(run->counter.returned, stages);
    EXPECT_TRUE(debugger->currentVisualBooleanPath()->isFinished());
}

TEST_F(QFBooleanDebuggerStepping, AnUnknownOperationHasNoName) {
    lf::LogCapture log;
    start({7});
    ASSERT_TRUE(waitsAtStop(1));
    EXPECT_EQ(debugger->window()->windowTitle(), "Current Operation: (null)");
    EXPECT_EQ(log.lines().at(0), "willPerformOperation:(null)");
    debugger->nextStep();
    ASSERT_TRUE(waitsAtStop(2));
    debugger->nextStep();
    finishOperations();
    EXPECT_TRUE(run->results.at(0)->paths().empty());
}

TEST_F(QFBooleanDebuggerStepping, TheOperationKeepsItsDebuggerAliveWhileItCallsIt) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread worker([done, debugger = debugger] {
        kSquare->compoundPathByPerformingOperation(VKBooleanOperationAdd, *kCircle, debugger);
        *done = true;
    });
    runUntil([&] { return debugger->currentVisualBooleanPath() != nullptr; });
    const std::weak_ptr<QFBooleanDebugger> weak = debugger;
    debugger->window()->close();
    debugger.reset();
    run.reset();
    ASSERT_TRUE(joinWhenFinished(worker, *done)) << "closing the window releases the operation";
    EXPECT_TRUE(weak.expired());
}

TEST(QFBooleanDebugger, RecordsAnOperationOnTheMainThreadWithoutStopping) {
    auto debugger = std::make_shared<QFBooleanDebugger>();
    lf::LogCapture log;
    auto result =
        kSquare->compoundPathByPerformingOperation(VKBooleanOperationSubtract, *kCircle, debugger);
    expectSameResult(
        *result, *kSquare->compoundPathByPerformingOperation(VKBooleanOperationSubtract, *kCircle));
    auto record = debugger->currentVisualBooleanPath();
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->isFinished());
    EXPECT_EQ(record->intersectionPoints().size(), 2u);
    EXPECT_EQ(static_cast<int>(log.lines().size()), stagesOf(VKBooleanOperationSubtract));
    debugger.reset();
    lf::MainQueue::shared()->drain();  // the window goes
}

TEST(QFBooleanDebugger, TypedPointsAndSegmentsJoinTheCurrentRecord) {
    auto debugger = std::make_shared<QFBooleanDebugger>();
    kSquare->compoundPathByPerformingOperation(VKBooleanOperationAdd, *kCircle, debugger);
    auto record = debugger->currentVisualBooleanPath();

    debugger->showAddPoints();
    EXPECT_TRUE(debugger->addPointsWindow()->isVisible());
    debugger->pointsTextView()->setPlainText("{ 1, 2 }\n\nnonsense\n{ 5 }\n3 4\n");
    debugger->addPoints();
    EXPECT_FALSE(debugger->addPointsWindow()->isVisible());
    auto points = record->extraneousPoints();
    ASSERT_EQ(points.size(), 2u) << "blank and unreadable lines are skipped";
    EXPECT_TRUE((points[0].location() == VKPoint{1, 2} && points[1].location() == VKPoint{3, 4}) ||
                (points[0].location() == VKPoint{3, 4} && points[1].location() == VKPoint{1, 2}));

    debugger->showAddPoints();
    EXPECT_TRUE(debugger->pointsTextView()->toPlainText().isEmpty());
    debugger->pointsTextView()->setPlainText("9 9");
    debugger->cancelAddPoints();
    EXPECT_FALSE(debugger->addPointsWindow()->isVisible());
    EXPECT_EQ(record->extraneousPoints().size(), 2u);

    // The same segment in both formats: start (1, 2), end (3, 4), control
    // points (5, 6) and (7, 8). Lines short of eight numbers are skipped.
    const VKPathSegment expected{{1, 2}, {5, 6}, {7, 8}, {3, 4}};
    debugger->showAddSegments();
    debugger->segmentFormatMatrix()->button(0)->setChecked(true);
    debugger->segmentsTextView()->setPlainText(
        "{ 1, 2 } -> { 3, 4 } / cp1: { 5, 6 }, cp2: { 7, 8 }\n\n{ 1, 2 } -> { 3, 4 }\n");
    debugger->addSegments();
    EXPECT_FALSE(debugger->addSegmentsWindow()->isVisible());
    debugger->showAddSegments();
    debugger->segmentFormatMatrix()->button(1)->setChecked(true);
    debugger->segmentsTextView()->setPlainText("1 2 3 4 5 6 7 8\n1 2 3 4 5 6 7\n");
    debugger->addSegments();

    const auto groups = record->extraneousPathSegments();
    ASSERT_EQ(groups.size(), 2u);
    for (const auto& group : groups) {
        ASSERT_EQ(group.size(), 1u);
        EXPECT_EQ(group[0].segment, expected);
    }
    debugger.reset();
    lf::MainQueue::shared()->drain();  // the window goes
}
