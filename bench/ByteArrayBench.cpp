// Reading a file-backed byte array in 64 KiB ranges, sequentially and at
// random offsets, against pread of the same ranges in the same run. The
// byte array releases the page cache behind its reads; "pread uncached"
// does the same and is the fair limit, "pread" keeps the cache.

#include "bytearray/BABTreeByteArray.h"
#include "platform/files/FileDescriptor.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <filesystem>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kFileSize = size_t{128} << 20;
constexpr size_t kRange = size_t{64} << 10;

const std::string& benchFile() {
    static const std::string path = [] {
        auto path = std::filesystem::temp_directory_path() / "layerflow-bench-bytearray.bin";
        std::vector<char> chunk(1 << 20);
        for (size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = static_cast<char>(i * 31);
        int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
        for (size_t written = 0; written < kFileSize; written += chunk.size())
            if (::write(fd, chunk.data(), chunk.size()) < 0) break;
        ::close(fd);
        return path.string();
    }();
    return path;
}

std::vector<uint64_t> offsets(bool random) {
    std::vector<uint64_t> result;
    for (uint64_t at = 0; at + kRange <= kFileSize; at += kRange)
        result.push_back(at);
    if (random) std::shuffle(result.begin(), result.end(), std::mt19937_64(1));
    return result;
}

void BM_ByteArray(benchmark::State& state) {
    auto array = BABTreeByteArray::createWithFile(benchFile());
    auto order = offsets(state.range(0));
    std::vector<char> buffer(kRange);
    for (auto _ : state) {
        for (uint64_t at : order)
            if (!(*array)->copyBytes(buffer.data(), {at, kRange}))
                state.SkipWithError("read failed");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_PreadUncached(benchmark::State& state) {
    auto file = lf::FileDescriptor::openForReading(benchFile());
    auto order = offsets(state.range(0));
    std::vector<char> buffer(kRange);
    for (auto _ : state) {
        for (uint64_t at : order)
            (void)file->readUncached(buffer.data(), kRange, at);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_Pread(benchmark::State& state) {
    auto file = lf::FileDescriptor::openForReading(benchFile());
    auto order = offsets(state.range(0));
    std::vector<char> buffer(kRange);
    for (auto _ : state) {
        for (uint64_t at : order)
            if (::pread(file->get(), buffer.data(), kRange, static_cast<off_t>(at)) < 0) break;
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

}  // namespace

// Argument: 0 sequential, 1 random order.
BENCHMARK(BM_ByteArray)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreadUncached)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pread)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
