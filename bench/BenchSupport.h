#pragma once
// What the benchmark programs share: the peak-memory counter and a timed
// loop for benchmarks that compare two runs by their own clock.

#include <benchmark/benchmark.h>

#include <chrono>
#include <sys/resource.h>

// Sets the "peak_MiB" counter: the process's peak resident memory so far.
inline void reportPeakMemory(benchmark::State& state) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MiB"] = double(usage.ru_maxrss) / 1024.0;
}

// Runs `body` for the benchmark's iterations, memory clobbered after each,
// reports peak memory, and returns the seconds one iteration took.
template <class Body>
double timedSecondsPerIteration(benchmark::State& state, Body body) {
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        body();
        benchmark::ClobberMemory();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    reportPeakMemory(state);
    return seconds / double(state.iterations());
}
