// What runs freed goes back to the system once the last run ends: the
// allocator's thresholds, fixed as the application fixes them at launch
// (lf::keepFreedMemoryReturnable), and the trim after the last run
// (QFFlowRun). Measured on this process's own resident memory, which
// other processes do not change, with a margin far below what either
// leaves behind when it is missing.
//
// Not under the sanitizers, whose allocators stand in for the system's.

#include "flows/runs/QFFlowRun.h"
#include "platform/core/SystemInfo.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizedAllocator = true;
#elif defined(__has_feature)
constexpr bool kSanitizedAllocator =
    __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool kSanitizedAllocator = false;
#endif

constexpr int64_t kMiB = 1 << 20;

int64_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

// A block of `bytes`, written so that it is resident; the compiler may not
// leave out a block that is freed at once.
__attribute__((noinline)) void* touched(size_t bytes) {
    void* block = std::malloc(bytes);
    if (block) std::memset(block, 1, bytes);
    asm volatile("" : : "r"(block) : "memory");
    return block;
}

// Runs `work` as a flow run's block and waits for the run's end.
void runAsAFlowRun(std::function<void()> work) {
    lf::DispatchSemaphore ended(0);
    auto run = QFFlowRun::create([work = std::move(work)](QFFlowRun& self) {
        work();
        self.didFinish();
    });
    run->startWithCompletionHandler(
        [ended](bool, std::optional<lf::Error>) mutable { ended.signal(); });
    ended.wait();
}

// What an export leaves in the allocator, on the worker that ran it and on
// the threads it used.
void allocateAsAnExport(std::vector<void*>& held, int64_t& peak) {
    // A large block freed, as a decoded plane is: the allocator then raises
    // its own thresholds to keep blocks of that size, unless they are fixed.
    std::free(touched(30 * kMiB));
    // 128 MiB freed between blocks still held: free pages inside the
    // worker's arena, which only a trim gives back.
    std::vector<void*> between;
    for (int i = 0; i < 512; ++i) {
        between.push_back(touched(256 * 1024));
        held.push_back(touched(4096));
    }
    peak = residentBytes();
    for (void* block : between)
        std::free(block);
    // 24 MiB freed last by a thread of its own, after a block it holds: the
    // free end of that thread's arena, which a trim leaves; only a fixed
    // threshold gives it back, as it is freed.
    std::thread([&held] {
        held.push_back(touched(4096));
        std::vector<void*> atTheEnd;
        for (int i = 0; i < 24; ++i)
            atTheEnd.push_back(touched(kMiB));
        for (auto block = atTheEnd.rbegin(); block != atTheEnd.rend(); ++block)
            std::free(*block);
    }).join();
}

}  // namespace

TEST(FlowRunMemory, WhatTheLastRunFreedGoesBackToTheSystem) {
    if (kSanitizedAllocator) GTEST_SKIP() << "the sanitizer's allocator is not the system's";
    lf::keepFreedMemoryReturnable();
    runAsAFlowRun([] {});  // the workers and their arenas made
    const int64_t before = residentBytes();

    std::vector<void*> held;
    int64_t peak = 0;
    runAsAFlowRun([&] { allocateAsAnExport(held, peak); });
    EXPECT_GT(peak - before, 100 * kMiB) << "the run did not hold what it should";
    // The trim follows the run's end on its worker.
    int64_t after = residentBytes();
    for (const auto deadline = std::chrono::steady_clock::now() + lf::test::kPatience;
         after - before > 16 * kMiB && std::chrono::steady_clock::now() < deadline;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        after = residentBytes();
    }
    EXPECT_LE(after - before, 16 * kMiB) << (after - before) / kMiB << " MiB kept";
    for (void* block : held)
        std::free(block);
}
