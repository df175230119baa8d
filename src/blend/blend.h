// Blend, MaskedBlend and MaskedFade: a source ARGB image mixed into a
// premultiplied destination in place, with one weight per call (12-bit fixed
// point) or per-channel byte weights from a mask plane.
#pragma once

#include <cstdint>

#include "blend/lanes.h"
#include "frame/dispatch.h"
#include "frame/plane.h"

namespace morvex::blend {

// ---- Per-pixel definitions ----

// Blend's fixed-point weights (4096 = 1.0), truncated once per call. A NaN or
// out-of-range product gives INT32_MIN.
struct BlendWeights {
  std::int32_t source;
  std::int32_t destination;
};
BlendWeights BlendWeightsFor(double dstWeight);

// clamp((ws * s + wd * d + 2048) / 4096, 0, a). The sum is formed modulo 2^32
// (as the 32-bit hardware does) so weights far outside 0..4096 give a defined
// value instead of overflowing; every sum inside the signed 32-bit range is
// exact.
MORVEX_INLINE Byte BlendChannel(unsigned s, unsigned d, unsigned a, std::int32_t ws,
                                      std::int32_t wd) {
  const std::uint32_t sum =
      static_cast<std::uint32_t>(ws) * s + static_cast<std::uint32_t>(wd) * d + 2048u;
  std::int32_t q = static_cast<std::int32_t>(sum) / 4096;
  if (q < 0) q = 0;
  if (q > static_cast<std::int32_t>(a)) q = static_cast<std::int32_t>(a);
  return static_cast<Byte>(q);
}

MORVEX_INLINE void BlendPixel(Byte* dst, const Byte* src, std::int32_t ws, std::int32_t wd) {
  const unsigned a = dst[kAlpha];
  for (int c = kBlue; c <= kRed; ++c) dst[c] = BlendChannel(src[c], dst[c], a, ws, wd);
}

// (s * w + d * (255 - w)) / 255 for bytes: never above 255.
MORVEX_INLINE unsigned MixByWeight(unsigned s, unsigned d, unsigned w) {
  return (s * w + d * (255u - w)) / 255u;
}

MORVEX_INLINE Byte MinByte(unsigned v, unsigned limit) {
  return static_cast<Byte>(v < limit ? v : limit);
}

// Colour channels mixed by the mask byte of the same channel, or by that
// byte remapped through the channel's column of weightLut; clamped to alpha.
MORVEX_INLINE void MaskedBlendPixel(Byte* dst, const Byte* mask, const Byte* src) {
  const unsigned a = dst[kAlpha];
  for (int c = kBlue; c <= kRed; ++c) dst[c] = MinByte(MixByWeight(src[c], dst[c], mask[c]), a);
}
MORVEX_INLINE void MaskedBlendLutPixel(Byte* dst, const Byte* mask, const Byte* src,
                                             const Byte* weightLut) {
  const unsigned a = dst[kAlpha];
  for (int c = kBlue; c <= kRed; ++c) {
    const unsigned w = ChannelLutValue(weightLut, mask[c], static_cast<unsigned>(c));
    dst[c] = MinByte(MixByWeight(src[c], dst[c], w), a);
  }
}

// Alpha mixed first; the colours are then clamped to the new alpha.
MORVEX_INLINE void MaskedFadePixel(Byte* dst, const Byte* mask, const Byte* src) {
  const unsigned newAlpha = MixByWeight(src[kAlpha], dst[kAlpha], mask[kAlpha]);
  dst[kAlpha] = static_cast<Byte>(newAlpha);
  for (int c = kBlue; c <= kRed; ++c)
    dst[c] = MinByte(MixByWeight(src[c], dst[c], mask[c]), newAlpha);
}

// ---- Row kernels (one row per call) ----

using BlendRowFn = void (*)(Byte* dst, const Byte* src, std::int32_t width, std::int32_t ws,
                            std::int32_t wd);
// The three columns of a weight table that MaskedBlend reads (column c,
// entry i = byte c of entry i), as 16-bit words and as bytes, for kernels
// that look the weights up in vector registers. Made once per call on the
// stack.
struct alignas(64) WeightColumns {
  std::uint16_t column[3][256];
  std::uint8_t bytes[3][256];
};
void MakeWeightColumns(const Byte* weightLut, WeightColumns* columns);

// weightLut (and columns, where the kernel set asks for them) are used by the
// table variant only.
using MaskedRowFn = void (*)(Byte* dst, const Byte* mask, const Byte* src, std::int32_t width,
                             const Byte* weightLut, const WeightColumns* columns);

struct BlendKernels {
  // Vector blend kernels take weights within -32768..32767 only.
  BlendRowFn blend;
  MaskedRowFn maskedBlend;
  MaskedRowFn maskedBlendLut;
  MaskedRowFn maskedFade;
  bool lutNeedsColumns = false;
};

extern const BlendKernels kBlendKernelsScalar;
extern const BlendKernels kBlendKernelsSse2;
extern const BlendKernels kBlendKernelsAvx2;
extern const BlendKernels kBlendKernelsAvx512;
extern const BlendKernels kBlendKernelsAvx512Vbmi;
extern const KernelTable<BlendKernels> kBlendKernelTable;

// ---- Whole-image routines behind the exports ----

void BlendImages(Rows dst, ConstRows src, std::int32_t width, std::int32_t height,
                 double dstWeight);
void MaskedBlendImages(Rows dst, ConstRows mask, ConstRows src, std::int32_t width,
                       std::int32_t height, const Byte* weightLut);
void MaskedFadeImages(Rows dst, ConstRows mask, ConstRows src, std::int32_t width,
                      std::int32_t height);

}  // namespace morvex::blend
