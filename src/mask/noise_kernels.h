// The noise row kernel, written once over the vector layer (frame/simd) and
// instantiated per instruction set: a vector of generator states, each a
// vector's width of steps ahead of the one before, written in sequential
// order.
#pragma once

#include "mask/noise.h"

namespace morvex::mask {

// NoiseRowFn.
template <class I>
std::uint32_t NoiseRow(Byte* dst, std::int32_t count, const float* levels, std::uint32_t state) {
  using V = typename I::V;
  constexpr int kLanes = I::kBytes / 4;
  if (count < kLanes) return NoiseRowScalar(dst, count, levels, state);
  constexpr NoiseJump jump = NoiseJumpOf(kLanes);
  alignas(64) std::uint32_t lanes[kLanes];
  for (int k = 0; k < kLanes; ++k) lanes[k] = state = NoiseStep(state);
  V states = I::Load(lanes);
  const V multiplier = I::Set32(static_cast<std::int32_t>(jump.multiplier));
  const V increment = I::Set32(static_cast<std::int32_t>(jump.increment));
  const V indexMask = I::Set32(kNoiseLevelCount - 1);
  V written = states;
  std::int32_t x = 0;
  for (; x + kLanes <= count; x += kLanes) {
    // The next states first: their multiply is the loop's longest chain.
    const V index = I::And(I::template Srli32<16>(states), indexMask);
    written = states;
    states = I::Add32(I::Mullo32(states, multiplier), increment);
    I::StoreF(dst + ElementOffset(x, 4), I::GatherF(levels, index));
  }
  I::Store(lanes, written);
  return NoiseRowScalar(dst + ElementOffset(x, 4), count - x, levels, lanes[kLanes - 1]);
}

}  // namespace morvex::mask
