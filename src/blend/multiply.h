// Multiply, MultiplyChannel and MaskMultiply: the bytes of an ARGB image
// scaled in place by one factor, or by mask bytes remapped linearly.
#pragma once

#include <cstdint>

#include "blend/lanes.h"
#include "frame/dispatch.h"
#include "frame/plane.h"

namespace morvex::blend {

// ---- Per-pixel definitions ----

// Multiply's factor in fixed point (256 = x1): trunc(factor * 256 + 0.5).
std::int32_t MultiplyFactorFixed(double factor);

// (b * k + 127) / 256, truncating. For k in -1..256 the quotient lies in
// 0..255; for other k it saturates to 0..255 (formed in 64 bits, so any k).
MORVEX_INLINE Byte MultiplyByte(unsigned b, std::int32_t k) {
  const std::int64_t q = (static_cast<std::int64_t>(b) * k + 127) / 256;
  return static_cast<Byte>(q < 0 ? 0 : q > 255 ? 255 : q);
}

// The mask remapping W = m * Ks + Ko of the masked multiplies, or the exact
// identity when scale and offset are within the tolerance band (NaN
// included). Ks and Ko are computed on the general path only.
struct MaskRemap {
  bool general;
  std::int32_t ks;
  std::int32_t ko;
};
MaskRemap MaskRemapFor(double scale, double offset);

// The masked multiplies' inner loops: the shortcut, the general formula with
// Ks and Ko within signed 16 bits, and the general formula for any Ks, Ko.
enum RemapLoop : int { kShortcutLoop = 0, kGeneralLoop = 1, kGeneralWideLoop = 2 };
RemapLoop RemapLoopFor(const MaskRemap& remap);

// Shortcut: (d * m + 127) / 255.
MORVEX_INLINE Byte ScaleByMaskShortcut(unsigned d, unsigned m) {
  return static_cast<Byte>((d * m + 127u) / 255u);
}

// General: clamp((d * (m * Ks + Ko) + 130560) / 261120, 0, 255), signed and
// truncating. The products and sums are formed modulo 2^32, so parameters
// far out of range give a defined value; every sum inside the signed 32-bit
// range is exact.
MORVEX_INLINE Byte ScaleByMaskGeneral(unsigned d, unsigned m, std::int32_t ks,
                                            std::int32_t ko) {
  const std::uint32_t w = m * static_cast<std::uint32_t>(ks) + static_cast<std::uint32_t>(ko);
  const std::int32_t v = static_cast<std::int32_t>(d * w + 130560u);
  const std::int32_t q = v / 261120;
  return static_cast<Byte>(q < 0 ? 0 : q > 255 ? 255 : q);
}

template <bool kGeneral>
MORVEX_INLINE Byte ScaleByMask(unsigned d, unsigned m, std::int32_t ks, std::int32_t ko) {
  if constexpr (kGeneral)
    return ScaleByMaskGeneral(d, m, ks, ko);
  else
    return ScaleByMaskShortcut(d, m);
}

// Each destination channel by the mask byte of the same index.
template <bool kGeneral>
MORVEX_INLINE void MaskMultiplyPixel(Byte* dst, const Byte* mask, std::int32_t ks,
                                           std::int32_t ko) {
  for (int c = 0; c < 4; ++c) dst[c] = ScaleByMask<kGeneral>(dst[c], mask[c], ks, ko);
}
// All four channels by one mask byte, read before any write (mask may be dst).
template <bool kGeneral>
MORVEX_INLINE void MaskMultiplySinglePixel(Byte* dst, const Byte* mask, int maskChannel,
                                                 std::int32_t ks, std::int32_t ko) {
  const unsigned m = mask[maskChannel];
  for (int c = 0; c < 4; ++c) dst[c] = ScaleByMask<kGeneral>(dst[c], m, ks, ko);
}

// ---- Row kernels ----

// Vector kernels take 0 <= k <= 256.
using MultiplyRowFn = void (*)(Byte* dst, std::int32_t width, std::int32_t k);
using ChannelScaleRowFn = void (*)(Byte* dst, const Byte* mask, std::int32_t width, int dstChannel,
                                   int maskChannel, std::int32_t ks, std::int32_t ko);
// maskChannel is used by the single-channel form only.
using MaskScaleRowFn = void (*)(Byte* dst, const Byte* mask, std::int32_t width, int maskChannel,
                                std::int32_t ks, std::int32_t ko);

struct MultiplyKernels {
  MultiplyRowFn multiply;
  ChannelScaleRowFn channel[2];     // [general]
  MaskScaleRowFn perChannel[3];     // [RemapLoop]
  MaskScaleRowFn singleChannel[3];  // [RemapLoop]
};

extern const MultiplyKernels kMultiplyKernelsScalar;
extern const MultiplyKernels kMultiplyKernelsSse2;
extern const MultiplyKernels kMultiplyKernelsAvx2;
extern const MultiplyKernels kMultiplyKernelsAvx512;
extern const KernelTable<MultiplyKernels> kMultiplyKernelTable;

// ---- Whole-image routines ----

void MultiplyImage(Rows dst, std::int32_t width, std::int32_t height, double factor);
// Return false (nothing written) for a refused channel.
bool MultiplyChannelImages(Rows dst, std::uint32_t dstChannel, ConstRows mask,
                           std::uint32_t maskChannel, std::int32_t width, std::int32_t height,
                           double scale, double offset);
bool MaskMultiplyImages(Rows dst, ConstRows mask, std::int32_t width, std::int32_t height,
                        std::int32_t maskChannel, double scale, double offset);

}  // namespace morvex::blend
