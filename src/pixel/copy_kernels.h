// The vector kernel of ChannelCopy from every fourth byte into adjacent
// bytes, written once over frame/simd and instantiated per instruction set.
#pragma once

#include "pixel/copy.h"

namespace morvex::pixel {

// I::kBytes elements per step: four vectors of source pixels, each element's
// byte kept in its 32-bit lane and narrowed 4:1; then single vectors
// (StoreLowBytes). Steps run while the bytes they load end before the row's
// last element; the rest goes one by one, so nothing past that element is
// read.
template <class I>
void ChannelCopyRow4To1(Byte* dst, const Byte* src, std::int32_t width) {
  using V = typename I::V;
  constexpr std::int32_t kStep = I::kBytes, kLanes = I::kBytes / 4;
  const V low = I::Set32(0xFF);
  const auto load = [&](std::int32_t x) { return I::And(I::Load(src + ElementOffset(x, 4)), low); };
  std::int32_t x = 0;
  for (; x + kStep < width; x += kStep) {
    const V words0 = I::PackS32(load(x), load(x + kLanes));
    const V words1 = I::PackS32(load(x + 2 * kLanes), load(x + 3 * kLanes));
    I::Store(dst + x, I::InOrderAfterPack4(I::PackUS16(words0, words1)));
  }
  for (; x + kLanes < width; x += kLanes) I::StoreLowBytes(dst + x, load(x));
  ChannelCopyRow(dst + x, 1, src + ElementOffset(x, 4), 4, width - x);
}

}  // namespace morvex::pixel
