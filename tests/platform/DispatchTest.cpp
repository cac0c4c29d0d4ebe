#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/WorkerPool.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace lf;
using namespace std::chrono_literals;

TEST(DispatchQueue, SerialQueueRunsItemsOneAtATimeInOrder) {
    auto queue = DispatchQueue::createSerial("test.serial");
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    DispatchGroup group;
    for (int i = 0; i < 500; ++i) {
        group.async(queue, [&, i] {
            if (running.fetch_add(1) != 0) overlapped = true;
            order.push_back(i);  // unsynchronised on purpose: the queue serialises
            running.fetch_sub(1);
        });
    }
    ASSERT_TRUE(group.waitFor(lf::test::kPatience));
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(order.size(), 500u);
    for (int i = 0; i < 500; ++i)
        EXPECT_EQ(order[i], i);
}

TEST(DispatchQueue, SyncRunsOnTheQueueAndReturnsAfterTheWork) {
    auto queue = DispatchQueue::createSerial("test.sync");
    bool ranOnQueue = false;
    queue->sync([&] { ranOnQueue = queue->isCurrent(); });
    EXPECT_TRUE(ranOnQueue);
    EXPECT_EQ(DispatchQueue::current(), nullptr);
}

// What synchronous work throws reaches the caller, as on the caller's own
// thread, and the queue runs on; the global queue's sync, which runs on
// the caller's thread, leaves it with no current queue.
TEST(DispatchQueue, SyncThrowsWhatTheWorkThrewOnTheCallersThread) {
    auto queue = DispatchQueue::createSerial("test.sync.throws");
    EXPECT_THROW(queue->sync([] { throw std::bad_alloc(); }), std::bad_alloc);
    EXPECT_THROW(DispatchQueue::global()->sync([] { throw std::length_error("size"); }),
                 std::length_error);
    EXPECT_EQ(DispatchQueue::current(), nullptr);
    bool ran = false;
    queue->sync([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(DispatchQueue, GlobalQueuesRunWorkConcurrently) {
    // Two items that each wait for the other can only finish if they run at once.
    DispatchSemaphore a(0), b(0);
    DispatchGroup group;
    group.async(DispatchQueue::global(QueuePriority::Low), [=]() mutable {
        a.signal();
        b.wait();
    });
    group.async(DispatchQueue::global(QueuePriority::Low), [=]() mutable {
        b.signal();
        a.wait();
    });
    EXPECT_TRUE(group.waitFor(lf::test::kPatience));
}

TEST(DispatchQueue, WorkThatWaitsForOtherWorkNeverDeadlocks) {
    // 64 items each wait for an item submitted after it, far more than there
    // are processors: the queue must add workers for the waiting ones.
    constexpr int kCount = 64;
    auto queue = DispatchQueue::global();
    DispatchGroup outer;
    std::atomic<int> finished{0};
    for (int i = 0; i < kCount; ++i) {
        outer.async(queue, [&, queue] {
            DispatchSemaphore done(0);
            queue->async([done]() mutable { done.signal(); });
            done.wait();
            ++finished;
        });
    }
    ASSERT_TRUE(outer.waitFor(lf::test::kPatience));
    EXPECT_EQ(finished, kCount);
}

TEST(DispatchQueue, AllWorkersBlockedOnAChainStillCompletes) {
    // Item i waits for item i + 1, which is submitted by item i itself, so
    // every earlier item is blocked while the last one runs.
    constexpr int kDepth = 64;
    auto queue = DispatchQueue::global(QueuePriority::High);
    std::function<void(int)> step = [&](int depth) {
        if (depth == kDepth) return;
        DispatchGroup inner;
        inner.async(queue, [&, depth] { step(depth + 1); });
        inner.wait();
    };
    DispatchGroup root;
    root.async(queue, [&] { step(0); });
    EXPECT_TRUE(root.waitFor(lf::test::kPatience));
}

TEST(DispatchQueue, AsyncAfterWaitsForTheDelay) {
    auto start = std::chrono::steady_clock::now();
    DispatchSemaphore done(0);
    std::chrono::steady_clock::time_point ran;
    DispatchQueue::global()->asyncAfter(30ms, [&, done]() mutable {
        ran = std::chrono::steady_clock::now();
        done.signal();
    });
    ASSERT_TRUE(done.waitFor(lf::test::kPatience));
    EXPECT_GE(ran - start, 30ms);
}

TEST(DispatchSemaphore, CountLimitsConcurrentHolders) {
    DispatchSemaphore slots(3);
    std::atomic<int> inside{0}, most{0};
    DispatchGroup group;
    for (int i = 0; i < 40; ++i) {
        group.async(DispatchQueue::global(), [&, slots]() mutable {
            slots.wait();
            int now = ++inside;
            int seen = most.load();
            while (now > seen && !most.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::sleep_for(1ms);
            --inside;
            slots.signal();
        });
    }
    ASSERT_TRUE(group.waitFor(lf::test::kPatience));
    EXPECT_LE(most.load(), 3);
    EXPECT_GE(most.load(), 1);
}

TEST(DispatchSemaphore, WaitForTimesOutWithoutASignal) {
    DispatchSemaphore never(0);
    EXPECT_FALSE(never.waitFor(10ms));
    never.signal();
    EXPECT_TRUE(never.waitFor(10ms));
}

TEST(DispatchGroup, NotifyRunsOnceEveryMemberHasLeft) {
    DispatchGroup group;
    std::atomic<int> done{0};
    DispatchSemaphore release(0), notified(0);
    for (int i = 0; i < 8; ++i)
        group.async(DispatchQueue::global(), [&, release]() mutable {
            release.wait();
            ++done;
        });
    int seenAtNotify = -1;
    group.notify(DispatchQueue::global(), [&, notified]() mutable {
        seenAtNotify = done.load();
        notified.signal();
    });
    EXPECT_FALSE(notified.waitFor(20ms));
    for (int i = 0; i < 8; ++i)
        release.signal();
    ASSERT_TRUE(notified.waitFor(lf::test::kPatience));
    EXPECT_EQ(seenAtNotify, 8);
}

TEST(DispatchGroup, NotifyOnAnEmptyGroupRunsAtOnce) {
    DispatchGroup group;
    DispatchSemaphore notified(0);
    group.notify(DispatchQueue::global(), [notified]() mutable { notified.signal(); });
    EXPECT_TRUE(notified.waitFor(lf::test::kPatience));
    EXPECT_TRUE(group.waitFor(0ms));
}

TEST(MainQueue, WorkFromOtherThreadsRunsOnTheDrainingThread) {
    auto main = MainQueue::shared();
    main->bindToCurrentThread();
    EXPECT_TRUE(isMainThread());

    std::atomic<int> ranOnMain{0};
    DispatchGroup group;
    for (int i = 0; i < 10; ++i)
        group.async(DispatchQueue::global(),
                    [&, main] { main->async([&] { ranOnMain += isMainThread() ? 1 : 0; }); });
    ASSERT_TRUE(group.waitFor(lf::test::kPatience));
    EXPECT_TRUE(main->runUntil([&] { return ranOnMain == 10; }, lf::test::kPatience));
}

TEST(MainQueue, DrainRunsOnlyWorkQueuedBeforeIt) {
    auto main = MainQueue::shared();
    main->bindToCurrentThread();
    main->drain();
    int runs = 0;
    main->async([&] {
        ++runs;
        main->async([&] { ++runs; });
    });
    EXPECT_EQ(main->drain(), 1);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(main->drain(), 1);
    EXPECT_EQ(runs, 2);
}

TEST(MainQueue, SyncFromAWorkerWaitsForTheMainThread) {
    auto main = MainQueue::shared();
    main->bindToCurrentThread();
    std::atomic<bool> workerDone{false};
    bool ranOnMain = false;
    DispatchQueue::global()->async([&, main] {
        main->sync([&] { ranOnMain = isMainThread(); });
        workerDone = true;
    });
    EXPECT_TRUE(main->runUntil([&] { return workerDone.load(); }, lf::test::kPatience));
    EXPECT_TRUE(ranOnMain);
}

TEST(MainQueueDeathTest, MainThreadAssertionStopsOtherThreads) {
    MainQueue::shared()->bindToCurrentThread();
    EXPECT_DEATH(std::thread([] { assertMainThread("QFFlow::run"); }).join(),
                 "QFFlow::run must be called on the main thread");
}

TEST(WorkerPool, ConcurrentSubmissionsToAFixedPoolNeverStall) {
    // Submitters racing with workers that finish items: every item must be
    // picked up at once, not after an idle worker's retirement timeout.
    WorkerPool pool("test.fixed", 8, false);
    for (int round = 0; round < 100; ++round) {
        DispatchSemaphore done(0);
        std::atomic<int> remaining{400};
        std::vector<std::thread> submitters;
        for (int t = 0; t < 4; ++t)
            submitters.emplace_back([&, done]() mutable {
                for (int i = 0; i < 100; ++i)
                    pool.submit([&remaining, done]() mutable {
                        if (--remaining == 0) done.signal();
                    });
            });
        for (auto& s : submitters)
            s.join();
        ASSERT_TRUE(done.waitFor(lf::test::kPatience)) << "round " << round;
    }
}
