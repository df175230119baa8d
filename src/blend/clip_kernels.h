// Vector row kernel of ClipRestore, written once over the float operations
// of the vector layer (frame/simd, every instruction set): one float pixel
// per 128 bits.
#pragma once

#include "blend/clip.h"

namespace morvex::blend {

// The comparisons are the ordered ones, false for NaN on either side, as in
// the scalar definition; the alpha lane is excluded from the replacement and
// so keeps its bits.
template <class I>
void ClipRow(Byte* dst, std::int32_t width, float clip, float restoreMin) {
  using F = typename I::F;
  const F t = I::SetF(clip), f = I::SetF(restoreMin);
  const F colours = I::MaskF(-1, -1, -1, 0);
  WalkRow<I, 16>(
      width, dst,
      [&](std::ptrdiff_t x, const auto& io) {
        const F p = io.LoadF(dst + 16 * x);
        const F a = I::BroadcastFloat3(p);
        const F v = I::SelectF(I::CmpLtF(a, f), f, a);
        const F replace = I::AndF(I::CmpGtF(p, t), colours);
        io.StoreF(dst + 16 * x, I::SelectF(replace, v, p));
      },
      [&](std::ptrdiff_t x) { ClipPixel(dst + 16 * x, clip, restoreMin); });
}

}  // namespace morvex::blend
