// The runtime services and the choice of kernel set.
#include "kernels/KernelRuntime.h"
#include "kernels/TarrowKernelSet.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>

TEST(KernelRuntime, AlignedBlocksFollowTheCacheLine) {
    const uint64_t line = TarrowCacheLineSize();
    ASSERT_GT(line, 0u);
    void* block = TarrowAllocAligned(1000);
    ASSERT_NE(block, nullptr);
    if (line > 1 && (line & (line - 1)) == 0) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % std::max<uint64_t>(line, 8), 0u);
    }
    std::free(block);
}

TEST(KernelRuntime, ErrorReportFormat) {
    testing::internal::CaptureStderr();
    TarrowError("Unimplemented function %d", 19);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "*** Tarrow Error: Unimplemented function 19\n"
              "Set a breakpoint on TarrowError to debug.\n");
}

TEST(KernelRuntime, NoiseTableIsFixedAndSpread) {
    const uint8_t* table = TarrowGetNoiseTable();
    EXPECT_EQ(table, TarrowGetNoiseTable());
    std::set<uint8_t> values(table, table + kTarrowNoiseTableSize);
    EXPECT_EQ(values.size(), 256u);
    uint64_t sum = 0;
    for (uint32_t i = 0; i < kTarrowNoiseTableSize; ++i)
        sum += table[i];
    EXPECT_NEAR(double(sum) / kTarrowNoiseTableSize, 127.5, 4.0);
}

TEST(KernelSet, ChoiceFollowsTheProcessorAndTheOverride) {
    EXPECT_EQ(TarrowChooseIsa(true, true, nullptr), TarrowIsa::avx2);
    EXPECT_EQ(TarrowChooseIsa(true, false, nullptr), TarrowIsa::sse4);
    EXPECT_EQ(TarrowChooseIsa(false, false, nullptr), TarrowIsa::reference);
    EXPECT_EQ(TarrowChooseIsa(true, true, "1"), TarrowIsa::reference);
    EXPECT_EQ(TarrowChooseIsa(true, true, "0"), TarrowIsa::avx2);
    EXPECT_EQ(TarrowChooseIsa(true, true, ""), TarrowIsa::avx2);

    const TarrowKernelSet& active = TarrowKernels();
    EXPECT_EQ(&active, TarrowKernelSetFor(active.isa));
    EXPECT_EQ(&TarrowPlainBlendKernels(), &active.plainBlend);
    const char* forced = std::getenv(kTarrowReferenceEnvironmentVariable);
    if (forced && *forced && std::string(forced) != "0") {
        EXPECT_EQ(active.isa, TarrowIsa::reference);
    }
}

TEST(KernelSet, EverySlotIsFilled) {
    for (TarrowIsa isa : {TarrowIsa::reference, TarrowIsa::sse4, TarrowIsa::avx2}) {
        const TarrowKernelSet* set = TarrowKernelSetFor(isa);
        if (!set) continue;
        // The set is a struct of function pointers after its two tag fields.
        const auto* first = reinterpret_cast<const char*>(&set->fillPlanar);
        const auto* end = reinterpret_cast<const char*>(set + 1);
        for (const char* p = first; p + sizeof(void*) <= end; p += sizeof(void*)) {
            void* slot;
            std::memcpy(&slot, p, sizeof slot);
            EXPECT_NE(slot, nullptr) << set->name << " slot at byte " << (p - first);
        }
    }
}
