// Vector row kernels of the lookup-table family, written once over
// frame/simd and instantiated per instruction set. The table lookups come
// from a Lookups class: PixelLookups (scalar table loads) below, or the
// byte-permute lookup of lut_avx512vbmi.cpp, which holds the table in
// registers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/simd/walk.h"
#include "pixel/lut.h"

namespace morvex::pixel {

// Each colour byte limited to its pixel's alpha byte; alpha against itself
// stays alpha.
template <class I>
MORVEX_INLINE typename I::V ClampPixelsToAlpha(typename I::V pixels) {
  return I::MinU8(pixels, I::BroadcastByte3(pixels));
}

// ClampToAlpha over a row, in place.
template <class I>
void ClampToAlphaRow(Byte* row, std::int32_t width) {
  simd::WalkRow<I, 4>(
      width, row,
      [&](std::ptrdiff_t x, const auto& io) {
        io.Store(row + 4 * x, ClampPixelsToAlpha<I>(io.Load(row + 4 * x)));
      },
      [&](std::ptrdiff_t x) { StoreU32(row + 4 * x, ClampToAlpha(LoadU32(row + 4 * x))); });
}

// LutWithAlphaClamp: the lookups of LutRowSplit, then each colour limited
// to the new alpha in place, a chunk of pixels at a time (the looked-up
// pixels are still in the first-level cache when the clamp pass reads them
// back). The same bytes as LutWithAlphaClampPixel.
template <class I>
void LutThenClampRow(Byte* dst, const Byte* src, std::int32_t width, std::uint32_t,
                     const LutTables& tables) {
  constexpr std::int32_t kChunk = 256;
  for (std::int32_t x = 0; x < width; x += kChunk) {
    const std::int32_t count = width - x < kChunk ? width - x : kChunk;
    const std::ptrdiff_t offset = ElementOffset(x, kArgbImageBytes);
    LutRowSplit(dst + offset, src + offset, count, 0, tables);
    ClampToAlphaRow<I>(dst + offset, count);
  }
}

// PixelLut entries loaded one by one. Whole vectors only.
template <class I>
struct PixelLookups {
  static_assert(!I::kPartialGroups, "scalar lookups store whole groups");
  const Byte* table;

  explicit PixelLookups(const LutTables& tables) : table(tables.table) {}

  // Stores at dst the entries indexed by byte `byte` (0..3) of each 32-bit
  // lane of v.
  template <class Io>
  MORVEX_INLINE void Store(const Io&, Byte* dst, typename I::V v, unsigned byte) const {
    constexpr int kLanes = I::kBytes / 4;
    alignas(I::kBytes) std::uint32_t index[kLanes];
    I::Store(index, I::And(I::Srl32(v, static_cast<int>(8 * byte)), I::Set32(0xFF)));
    for (int i = 0; i < kLanes; ++i) StoreU32(dst + 4 * i, PixelLutValue(table, index[i]));
  }
};

// Each pixel from the entry of its byte `channel`.
template <class I, class Lookups>
void ChannelMapRow(Byte* dst, const Byte* src, std::int32_t width, std::uint32_t channel,
                   const LutTables& tables) {
  const Lookups lookups(tables);
  simd::WalkRow<I, 4>(
      width, dst,
      [&](std::ptrdiff_t x, const auto& io) {
        lookups.Store(io, dst + 4 * x, io.Load(src + 4 * x), channel);
      },
      [&](std::ptrdiff_t x) {
        StoreU32(dst + 4 * x, ChannelMapPixel(LoadU32(src + 4 * x), channel, tables.table));
      });
}

// Each pixel from the entry of the sum of its kept bytes, saturated at 255.
template <class I, class Lookups>
void ChannelMergeRow(Byte* dst, const Byte* src, std::int32_t width, std::uint32_t mask,
                     const LutTables& tables) {
  using V = typename I::V;
  const Lookups lookups(tables);
  const V keep = I::Set32(static_cast<std::int32_t>(mask));
  const V lowBytes = I::Set16(0xFF), lowWords = I::Set32(0xFFFF), top = I::Set32(255);
  simd::WalkRow<I, 4>(
      width, dst,
      [&](std::ptrdiff_t x, const auto& io) {
        const V kept = I::And(io.Load(src + 4 * x), keep);
        // b + g and r + a in 16 bits, then their sum in 32 bits (at most
        // 1020); the high word of each lane is 0, so a 16-bit minimum
        // saturates the lane.
        const V pairs = I::Add16(I::And(kept, lowBytes), I::template Srli16<8>(kept));
        const V sums = I::Add32(I::And(pairs, lowWords), I::template Srli32<16>(pairs));
        lookups.Store(io, dst + 4 * x, I::MinS16(sums, top), 0);
      },
      [&](std::ptrdiff_t x) {
        StoreU32(dst + 4 * x, ChannelMergePixel(LoadU32(src + 4 * x), mask, tables.table));
      });
}

// Lut and LutWithAlphaClamp with lookups that hold the table in registers:
// Lookups::Channels takes every byte through its own channel's column.
template <class I, class Lookups, bool kClamp>
void LutRow(Byte* dst, const Byte* src, std::int32_t width, std::uint32_t,
            const LutTables& tables) {
  using V = typename I::V;
  const Lookups lookups(tables);
  simd::WalkRow<I, 4>(
      width, dst,
      [&](std::ptrdiff_t x, const auto& io) {
        V r = lookups.Channels(io.Load(src + 4 * x));
        if constexpr (kClamp) r = ClampPixelsToAlpha<I>(r);
        io.Store(dst + 4 * x, r);
      },
      [&](std::ptrdiff_t x) {
        const std::uint32_t p = LoadU32(src + 4 * x);
        StoreU32(dst + 4 * x, kClamp ? LutWithAlphaClampPixel(p, tables.table) : LutPixel(p, tables.table));
      });
}

}  // namespace morvex::pixel
