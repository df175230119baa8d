// Seeded pseudo-random numbers for tests (splitmix64): reproducible everywhere.
#pragma once

#include <cstdint>
#include <cstring>

namespace morvex::test {

class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Next() >> 32); }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Next() >> 56); }
  bool Bool() { return (Next() >> 63) != 0; }
  // Uniform integer in [lo, hi].
  std::int32_t Int(std::int32_t lo, std::int32_t hi) {
    const std::uint64_t span = static_cast<std::uint64_t>(static_cast<std::int64_t>(hi) - lo) + 1;
    return static_cast<std::int32_t>(lo + static_cast<std::int64_t>(Next() % span));
  }
  // Uniform double in [lo, hi).
  double Real(double lo, double hi) { return lo + (hi - lo) * ((Next() >> 11) * 0x1.0p-53); }
  void Fill(void* p, std::size_t n) {
    auto* b = static_cast<std::uint8_t*>(p);
    for (std::size_t i = 0; i < n; ++i) b[i] = Byte();
  }

 private:
  std::uint64_t state_;
};

}  // namespace morvex::test
