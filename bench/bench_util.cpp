#include "bench_util.h"

#include <map>

namespace morvex::bench {

double MemcpySeconds(std::size_t bytes) {
  static std::map<std::size_t, double> cache;
  if (auto it = cache.find(bytes); it != cache.end()) return it->second;
  std::vector<std::uint8_t> src = PatternBytes(bytes), dst(bytes);
  std::memcpy(dst.data(), src.data(), bytes);  // fault the pages in first
  double total = 0;
  const int reps = 20;
  for (int rep = 0; rep < reps; ++rep) {
    const auto t0 = std::chrono::steady_clock::now();
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::ClobberMemory();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  return cache[bytes] = total / reps;
}

double MemcpyBestCpuSeconds(std::size_t bytes) {
  static std::map<std::size_t, double> cache;
  if (auto it = cache.find(bytes); it != cache.end()) return it->second;
  std::vector<std::uint8_t> src = PatternBytes(bytes), dst(bytes);
  std::memcpy(dst.data(), src.data(), bytes);  // fault the pages in first
  return cache[bytes] = BestCpuSeconds(30, [&] { std::memcpy(dst.data(), src.data(), bytes); });
}

}  // namespace morvex::bench
