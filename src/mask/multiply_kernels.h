// The MultiplyMasks row kernel, written once over the vector layer
// (frame/simd) and instantiated per instruction set.
#pragma once

#include "frame/simd/walk.h"
#include "mask/multiply.h"

namespace morvex::mask {

// MultiplyRowFn. Each vector of products is read and written before the
// next is read, so no read runs more than one vector ahead of the writes.
template <class I>
void MultiplyMaskRow(Byte* dst, const Byte* src, std::int32_t count) {
  static_assert(I::kBytes <= kMultiplyReadAhead);
  simd::WalkRow<I, 4>(
      count, dst,
      [&](std::ptrdiff_t x, const auto& io) {
        io.StoreF(dst + 4 * x, I::MulF(io.LoadF(src + 4 * x), io.LoadF(dst + 4 * x)));
      },
      [&](std::ptrdiff_t x) {
        StoreF32(dst + 4 * x, MaskProduct(LoadF32(src + 4 * x), LoadF32(dst + 4 * x)));
      });
}

}  // namespace morvex::mask
