// Shared benchmark helpers: pattern planes, and the same-run memcpy baseline
// that every figure is reported against.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

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

}  // namespace morvex::bench
