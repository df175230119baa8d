// Vector row kernels of Blend, MaskedBlend and MaskedFade, written once over
// the vector layer (frame/simd, every instruction set) and instantiated per
// instruction set; AVX-512 looks the weight table up with its own kernel
// (blend_avx512.cpp), AVX2 with gathers. Each walks its row with
// simd::WalkRow: whole vectors, and the ends by the scalar per-pixel
// definitions of blend.h or, on AVX-512, by masked partial vectors.
#pragma once

#include "blend/blend.h"

namespace morvex::blend {

// Weights within -32768..32767. Each channel's (s, d) byte pair is widened to
// two 16-bit words and multiplied by (ws, wd) in one multiply-add, so the
// 32-bit sums are exact. The alpha lane gets the weights (0, 4096), which
// reproduce the destination alpha; the clamp to alpha then leaves it as is.
// The arithmetic shift floors where the division truncates, which differs
// only for negative sums, and those clamp to 0 either way.
template <class I>
void BlendRow(Byte* dst, const Byte* src, std::int32_t width, std::int32_t ws, std::int32_t wd) {
  using V = typename I::V;
  const auto pair = [](std::int32_t lo, std::int32_t hi) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(lo) & 0xFFFFu) |
                                     (static_cast<std::uint32_t>(hi) << 16));
  };
  const V weights = I::Set32x4(pair(ws, wd), pair(ws, wd), pair(ws, wd), pair(0, 4096));
  const V bias = I::Set32(2048), zero = I::Zero();
  const auto quotient = [&](V words) {
    return I::template Srai32<12>(I::Add32(I::Madd16(words, weights), bias));
  };
  WalkRow<I, 4>(
      width, dst,
      [&](std::ptrdiff_t x, const auto& io) {
        const V s = io.Load(src + 4 * x), d = io.Load(dst + 4 * x);
        const V lo = I::UnpackLo8(s, d), hi = I::UnpackHi8(s, d);
        const V q01 =
            I::PackS32(quotient(I::UnpackLo8(lo, zero)), quotient(I::UnpackHi8(lo, zero)));
        const V q23 =
            I::PackS32(quotient(I::UnpackLo8(hi, zero)), quotient(I::UnpackHi8(hi, zero)));
        io.Store(dst + 4 * x, I::MinU8(I::PackUS16(q01, q23), I::BroadcastByte3(d)));
      },
      [&](std::ptrdiff_t x) { BlendPixel(dst + 4 * x, src + 4 * x, ws, wd); });
}

// How far ahead of the masked kernels' loads the three planes are prefetched
// (a page): the processor's own prefetchers alone leave these four-stream
// kernels short of the memory bandwidth, the table lookups most. Measured on
// 4096-pixel rows: the table kernel 16% faster at 4 or 8 KiB than at 256
// bytes; the others sit at the bandwidth of three planes in and one out at
// any distance from 256 bytes to 8 KiB.
inline constexpr std::ptrdiff_t kPrefetchBytes = 4096;

// The address kPrefetchBytes after p, formed as an integer: it may lie past
// the plane (a prefetch never faults), where a pointer may not point.
MORVEX_INLINE const void* Ahead(const Byte* p) {
  return reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(p) + kPrefetchBytes);
}
MORVEX_INLINE void PrefetchPlanes(const Byte* dst, const Byte* mask, const Byte* src) {
  __builtin_prefetch(Ahead(dst), 1);
  __builtin_prefetch(Ahead(mask));
  __builtin_prefetch(Ahead(src));
}

// The weight sources of MaskedBlendRow, made once per row: Get gives the
// weights of the pixels at `mask` (alpha weight 0).
//
// Mask bytes as weights, the alpha weight forced to 0 so that the alpha
// lane mixes to the destination alpha itself.
template <class I>
struct MaskWeights {
  MORVEX_INLINE MaskWeights(const Byte*, const WeightColumns*) {}
  template <class Io>
  MORVEX_INLINE typename I::V Get(const Io& io, const Byte* mask) const {
    return I::And(io.Load(mask), I::Set32(0x00FFFFFF));
  }
};

// Weights looked up pixel by pixel: byte c of weightLut entry mask.c.
template <class I>
struct LutWeightsByPixel {
  const Byte* weightLut;
  MORVEX_INLINE LutWeightsByPixel(const Byte* lut, const WeightColumns*) : weightLut(lut) {}
  template <class Io>
  MORVEX_INLINE typename I::V Get(const Io&, const Byte* mask) const {
    constexpr int kPixels = I::kBytes / 4;
    std::uint32_t w[kPixels];
    for (int i = 0; i < kPixels; ++i) {
      const Byte* m = mask + 4 * i;
      w[i] = ChannelLutValue(weightLut, m[kBlue], kBlue) |
             static_cast<std::uint32_t>(ChannelLutValue(weightLut, m[kGreen], kGreen)) << 8 |
             static_cast<std::uint32_t>(ChannelLutValue(weightLut, m[kRed], kRed)) << 16;
    }
    return I::Load(w);
  }
};

template <class I, class Weights, bool kLut>
void MaskedBlendRow(Byte* dst, const Byte* mask, const Byte* src, std::int32_t width,
                    const Byte* weightLut, const WeightColumns* columns) {
  using V = typename I::V;
  const Weights weights(weightLut, columns);
  WalkRow<I, 4>(
      width, dst,
      [&](std::ptrdiff_t x, const auto& io) {
        PrefetchPlanes(dst + 4 * x, mask + 4 * x, src + 4 * x);
        const V w = weights.Get(io, mask + 4 * x);
        const V s = io.Load(src + 4 * x), d = io.Load(dst + 4 * x);
        io.Store(dst + 4 * x, I::MinU8(MixBytes<I>(s, d, w), I::BroadcastByte3(d)));
      },
      [&](std::ptrdiff_t x) {
        if constexpr (kLut)
          MaskedBlendLutPixel(dst + 4 * x, mask + 4 * x, src + 4 * x, weightLut);
        else
          MaskedBlendPixel(dst + 4 * x, mask + 4 * x, src + 4 * x);
      });
}

// All four channels mixed by their own mask byte; the clamp to the new alpha
// leaves the alpha lane itself unchanged.
template <class I>
void MaskedFadeRow(Byte* dst, const Byte* mask, const Byte* src, std::int32_t width, const Byte*,
                   const WeightColumns*) {
  using V = typename I::V;
  WalkRow<I, 4>(
      width, dst,
      [&](std::ptrdiff_t x, const auto& io) {
        PrefetchPlanes(dst + 4 * x, mask + 4 * x, src + 4 * x);
        const V w = io.Load(mask + 4 * x);
        const V mixed = MixBytes<I>(io.Load(src + 4 * x), io.Load(dst + 4 * x), w);
        io.Store(dst + 4 * x, I::MinU8(mixed, I::BroadcastByte3(mixed)));
      },
      [&](std::ptrdiff_t x) { MaskedFadePixel(dst + 4 * x, mask + 4 * x, src + 4 * x); });
}

template <class I, class LutWeights>
constexpr BlendKernels MakeBlendKernels() {
  return {&BlendRow<I>, &MaskedBlendRow<I, MaskWeights<I>, false>,
          &MaskedBlendRow<I, LutWeights, true>, &MaskedFadeRow<I>};
}

}  // namespace morvex::blend
