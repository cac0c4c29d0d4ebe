// The debugger sees every stage of an operation in order, on the
// operation's thread, and may hold that thread as long as it likes without
// blocking other operations; the result does not depend on it.

#include "GeometryTestSupport.h"
#include "geometry/VKBooleanCompoundPath.h"
#include "geometry/VKBooleanDebugger.h"
#include "geometry/VKGeometryStrings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <semaphore>
#include <thread>

using namespace geometry_test;

namespace {

struct Call {
    explicit Call(std::string n) : name(std::move(n)) {}
    std::string name;
    std::thread::id thread;
    unsigned flags = 0;
    VKPoint point;
    VKBooleanDebuggerUserInfo info;
    std::shared_ptr<const VKPath> path;
    VKPathSegment segment;
};

class RecordingDebugger : public VKBooleanDebugger {
public:
    std::vector<Call> calls;
    int operation = -1;
    std::shared_ptr<const VKBooleanCompoundPath> a, b, result;
    VKRect bounds = VKRectNull;

    void willPerformOperation(VKBooleanOperation op,
                              std::shared_ptr<const VKBooleanCompoundPath> pathA,
                              std::shared_ptr<const VKBooleanCompoundPath> pathB,
                              VKRect rect) override {
        operation = op, a = pathA, b = pathB, bounds = rect;
        record(Call("willPerformOperation"));
    }
    void didPerformOperationWithResult(std::shared_ptr<const VKBooleanCompoundPath> r) override {
        result = r;
        record(Call("didPerformOperationWithResult"));
    }
    void didAddVerbatimPath(std::shared_ptr<const VKPath> path, unsigned flags) override {
        Call call("didAddVerbatimPath");
        call.path = path, call.flags = flags;
        record(call);
    }
    void didFindIntersectionPoint(VKPoint point, unsigned flags,
                                  const VKBooleanDebuggerUserInfo& info) override {
        Call call("didFindIntersectionPoint");
        call.point = point, call.flags = flags, call.info = info;
        record(call);
    }
    void willBeginTracingPath() override { record(Call("willBeginTracingPath")); }
    void willTraceFromIntersectionPoint(VKPoint point, unsigned flags) override {
        Call call("willTraceFromIntersectionPoint");
        call.point = point, call.flags = flags;
        record(call);
    }
    void didTracePathSegment(const VKPathSegment& segment) override {
        Call call("didTracePathSegment");
        call.segment = segment;
        record(call);
    }
    void didAddTracedPath(std::shared_ptr<const VKPath> path) override {
        Call call("didAddTracedPath");
        call.path = path;
        record(call);
    }

    std::vector<Call> named(const std::string& name) const {
        std::vector<Call> result;
        for (const Call& c : calls)
            if (c.name == name) result.push_back(c);
        return result;
    }

protected:
    virtual void record(Call call) {
        call.thread = std::this_thread::get_id();
        calls.push_back(std::move(call));
    }
};

int stageOf(const std::string& name) {
    if (name == "willPerformOperation") return 0;
    if (name == "didFindIntersectionPoint") return 1;
    if (name == "didAddVerbatimPath") return 2;
    if (name == "didPerformOperationWithResult") return 4;
    return 3;  // tracing
}

void expectSamePaths(const VKCompoundPath& x, const VKCompoundPath& y) {
    ASSERT_EQ(x.paths().size(), y.paths().size());
    for (size_t i = 0; i < x.paths().size(); ++i)
        EXPECT_EQ(x.paths()[i]->knots(), y.paths()[i]->knots());
}

}  // namespace

TEST(BooleanDebugger, SeesEveryStageInOrderOnTheCallingThread) {
    auto a = compound({circle({0, 0}, 10), circle({100, 0}, 5)});
    auto b = compound({circle({12, 0}, 10)});
    for (int op = 0; op < 4; ++op) {
        RecordingDebugger debugger;
        auto watched = a->compoundPathByPerformingOperation(VKBooleanOperation(op), *b, &debugger);
        expectSamePaths(*watched,
                        *a->compoundPathByPerformingOperation(VKBooleanOperation(op), *b));

        EXPECT_EQ(debugger.operation, op);
        EXPECT_EQ(debugger.a->contours().size(), 2u);
        EXPECT_TRUE(VKRectEqualToRect(debugger.bounds, VKRectUnion(a->bounds(), b->bounds())));
        expectSamePaths(*debugger.result->compoundPath(), *watched);
        ASSERT_GE(debugger.calls.size(), 2u);
        EXPECT_EQ(debugger.calls.front().name, "willPerformOperation");
        EXPECT_EQ(debugger.calls.back().name, "didPerformOperationWithResult");
        int stage = 0;
        for (const Call& call : debugger.calls) {
            EXPECT_EQ(call.thread, std::this_thread::get_id());
            EXPECT_GE(stageOf(call.name), stage) << call.name;
            stage = stageOf(call.name);
        }

        // The two circles cross twice; each meeting knows the pieces of A
        // and B inside and outside the other.
        auto meetings = debugger.named("didFindIntersectionPoint");
        ASSERT_EQ(meetings.size(), 2u);
        for (const Call& m : meetings) {
            EXPECT_NEAR(m.point.x, 6, 1e-9);
            for (const char* key : {VKBooleanDebuggerIntersectionSegmentAInsideKey,
                                    VKBooleanDebuggerIntersectionSegmentAOutsideKey,
                                    VKBooleanDebuggerIntersectionSegmentBInsideKey,
                                    VKBooleanDebuggerIntersectionSegmentBOutsideKey}) {
                ASSERT_TRUE(m.info.count(key)) << key;
                VKPathSegment piece = VKPathSegmentFromString(m.info.at(key));
                EXPECT_TRUE(VKDistance(piece.start, m.point) < 1e-3 ||
                            VKDistance(piece.end, m.point) < 1e-3);
            }
        }
        if (op == VKBooleanOperationAdd) {
            int aToB = 0;
            for (const Call& m : meetings)
                aToB += (m.flags & VKBooleanFlagAToB) != 0;
            EXPECT_EQ(aToB, 1);
        }

        // Each traced path is the segments reported before it.
        std::vector<VKPathSegment> traced;
        for (const Call& call : debugger.calls) {
            if (call.name == "willBeginTracingPath") traced.clear();
            if (call.name == "didTracePathSegment") traced.push_back(call.segment);
            if (call.name == "didAddTracedPath") {
                ASSERT_EQ(call.path->numberOfSegments(), traced.size());
                for (size_t i = 0; i < traced.size(); ++i)
                    EXPECT_EQ(call.path->segmentAtIndex(i), traced[i]);
            }
        }
    }
}

TEST(BooleanDebugger, VerbatimPathsCarryTheirOrigin) {
    auto a = compound({circle({0, 0}, 10)});
    RecordingDebugger debugger;
    a->compoundPathByPerformingOperation(VKBooleanOperationSubtract, *compound({circle({0, 0}, 3)}),
                                         &debugger);
    auto verbatim = debugger.named("didAddVerbatimPath");
    ASSERT_EQ(verbatim.size(), 2u);
    EXPECT_EQ(verbatim[0].flags, unsigned(VKBooleanFlagOperandA));
    EXPECT_EQ(verbatim[1].flags, unsigned(VKBooleanFlagReversedB));
    EXPECT_TRUE(debugger.named("didFindIntersectionPoint").empty());
    EXPECT_TRUE(debugger.named("willBeginTracingPath").empty());

    RecordingDebugger unknown;
    EXPECT_TRUE(
        a->compoundPathByPerformingOperation(VKBooleanOperation(7), *a, &unknown)->paths().empty());
    ASSERT_EQ(unknown.calls.size(), 2u);
    EXPECT_EQ(unknown.operation, 7);
}

namespace {

// Holds the operation's thread in every call until the test lets it go.
class SteppingDebugger : public RecordingDebugger {
public:
    std::counting_semaphore<1 << 20> waiting{0}, step{0};

protected:
    void record(Call call) override {
        RecordingDebugger::record(std::move(call));
        waiting.release();
        step.acquire();
    }
};

}  // namespace

TEST(BooleanDebugger, AWaitingDebuggerBlocksOnlyItsOwnOperation) {
    auto a = compound({circle({0, 0}, 10)});
    auto b = compound({circle({12, 0}, 10)});
    auto expected = a->compoundPathByPerformingOperation(VKBooleanOperationAdd, *b);
    SteppingDebugger debugger;
    auto watched = std::async(std::launch::async, [&] {
        return a->compoundPathByPerformingOperation(VKBooleanOperationAdd, *b, &debugger);
    });
    debugger.waiting.acquire();  // the operation waits in its first call
    // Another operation runs to its end meanwhile (here and on a third thread).
    auto other = std::async(std::launch::async, [&] {
        return b->compoundPathByPerformingOperation(VKBooleanOperationSubtract, *a);
    });
    ASSERT_EQ(other.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_FALSE(other.get()->paths().empty());
    EXPECT_EQ(debugger.calls.size(), 1u);
    // Step through the rest one call at a time.
    size_t steps = 1;
    while (watched.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        debugger.step.release();
        if (debugger.waiting.try_acquire_for(std::chrono::milliseconds(100))) ++steps;
    }
    while (debugger.waiting.try_acquire())
        ++steps;
    expectSamePaths(*watched.get(), *expected);
    EXPECT_EQ(steps, debugger.calls.size());
}
