// Shared benchmark helpers: pattern planes, and the same-run memcpy baseline
// that every figure is reported against.
#pragma once

#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "frame/cpu_features.h"

namespace morvex::bench {

// `bytes` bytes filled with a fixed pseudo-random pattern.
inline std::vector<std::uint8_t> PatternBytes(std::size_t bytes, std::uint32_t seed = 1) {
  std::vector<std::uint8_t> v(bytes);
  std::uint32_t s = seed;
  for (auto& b : v) {
    s = s * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(s >> 24);
  }
  return v;
}

// Mean seconds of one memcpy of `bytes` bytes, measured in this process
// (warm buffers; cached per size).
double MemcpySeconds(std::size_t bytes);

// Times `call` once per iteration (register the benchmark with
// ->UseManualTime()) and reports megapixels per second and "x_memcpy", the
// mean time per call divided by the time of a memcpy of `planeBytes`.
template <class Call>
void RunAgainstMemcpy(benchmark::State& state, std::int64_t pixels, std::size_t planeBytes,
                      Call&& call) {
  double total = 0;
  std::int64_t runs = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    call();
    benchmark::ClobberMemory();
    const double dt = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(dt);
    total += dt;
    ++runs;
  }
  if (runs == 0 || total <= 0) return;
  const double perCall = total / static_cast<double>(runs);
  state.counters["MPix/s"] = static_cast<double>(pixels) * 1e-6 / perCall;
  state.counters["x_memcpy"] = perCall / MemcpySeconds(planeBytes);
}

// ---- Best-of figures, and the scalar path beside the vector one ----
// The machine is shared: a mean over iterations carries other processes'
// load, so these take the best thread CPU time of a call instead.

inline double ThreadCpuTime() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Best thread CPU seconds of `reps` calls.
template <class Call>
double BestCpuSeconds(int reps, Call&& call) {
  double best = std::numeric_limits<double>::infinity();
  for (int rep = 0; rep < reps; ++rep) {
    const double t0 = ThreadCpuTime();
    call();
    benchmark::ClobberMemory();
    const double dt = ThreadCpuTime() - t0;
    if (dt < best) best = dt;
  }
  return best;
}

// Best thread CPU seconds of a memcpy of `bytes` bytes (cached per size).
double MemcpyBestCpuSeconds(std::size_t bytes);

// RunAgainstMemcpy, plus "cpu_x_memcpy", the best thread CPU time of a call
// over the best of a memcpy of `planeBytes`, and "scalar_x_memcpy", the same
// with the scalar kernels pinned (best of `scalarReps` calls).
template <class Call>
void RunWithScalarColumn(benchmark::State& state, std::int64_t pixels, std::size_t planeBytes,
                         Call&& call, int scalarReps = 3) {
  double best = std::numeric_limits<double>::infinity();
  RunAgainstMemcpy(state, pixels, planeBytes, [&] {
    const double t0 = ThreadCpuTime();
    call();
    const double dt = ThreadCpuTime() - t0;
    if (dt < best) best = dt;
  });
  SetCpuFeatureFlagsForTest(0);
  const double scalar = BestCpuSeconds(scalarReps, call);
  RestoreCpuFeatureFlagsForTest();
  const double memcpy = MemcpyBestCpuSeconds(planeBytes);
  state.counters["cpu_x_memcpy"] = best / memcpy;
  state.counters["scalar_x_memcpy"] = scalar / memcpy;
}

}  // namespace morvex::bench
