// Noise masks: a seeded 32-bit linear congruential generator picks, for every
// element, one of 1024 evenly spaced levels between a low and a high value.
#pragma once

#include <cstdint>

#include "frame/compiler.h"
#include "frame/dispatch.h"
#include "frame/plane.h"

namespace morvex::mask {

inline constexpr std::int32_t kNoiseLevelCount = 1024;
inline constexpr std::uint32_t kNoiseMultiplier = 214013u;
inline constexpr std::uint32_t kNoiseIncrement = 2531011u;

// One generator step, modulo 2^32.
MORVEX_INLINE std::uint32_t NoiseStep(std::uint32_t state) {
  return state * kNoiseMultiplier + kNoiseIncrement;
}

// The level a state selects: the generator's 15-bit output (bits 16..30)
// modulo the level count, that is bits 16..25 of the state.
MORVEX_INLINE std::uint32_t NoiseLevelIndex(std::uint32_t state) {
  const std::uint32_t output = (state >> 16) & 0x7FFFu;
  return output % static_cast<std::uint32_t>(kNoiseLevelCount);
}

// k steps of the generator are again one multiply-add modulo 2^32; vector
// kernels run several states that far apart in parallel.
struct NoiseJump {
  std::uint32_t multiplier;
  std::uint32_t increment;
};
constexpr NoiseJump NoiseJumpOf(int steps) {
  NoiseJump jump{1u, 0u};
  for (int k = 0; k < steps; ++k) {
    jump.multiplier = jump.multiplier * kNoiseMultiplier;
    jump.increment = jump.increment * kNoiseMultiplier + kNoiseIncrement;
  }
  return jump;
}
MORVEX_INLINE std::uint32_t ApplyJump(const NoiseJump& jump, std::uint32_t state) {
  return state * jump.multiplier + jump.increment;
}

// out[0 .. count-1] = an evenly spaced ramp from low to high: with
// d = high - low and c = count - 1 (both single), out[i] = low + (i / c) * d,
// the quotient stored as single, the sum evaluated in double.
void FillRamp(float* out, std::int32_t count, float low, float high);

// Writes `count` noise values to one row (unaligned host memory) for the
// states that follow `state`, and returns the state of the last element.
using NoiseRowFn = std::uint32_t (*)(Byte* dst, std::int32_t count, const float* levels,
                                     std::uint32_t state);
std::uint32_t NoiseRowScalar(Byte* dst, std::int32_t count, const float* levels,
                             std::uint32_t state);

struct NoiseKernels {
  NoiseRowFn row;
};
extern const NoiseKernels kNoiseKernelsScalar;
extern const NoiseKernels kNoiseKernelsSse2;
// No AVX-512 entry: sixteen lanes measured slower than eight (the table
// lookups, not the generator, bound the row).
extern const NoiseKernels kNoiseKernelsAvx2;
extern const KernelTable<NoiseKernels> kNoiseKernelTable;

// The whole operation: levels on every call, then the rows.
void GenerateNoise(Rows dst, std::int32_t width, std::int32_t height, float low, float high,
                   std::uint32_t seed);

}  // namespace morvex::mask
