// SSE2-path kernels of the lookup-table family. SSE2 has no gather, so the
// lookups stay scalar loads; what the vector unit takes over is the work
// around them (the alpha clamp, the channel sums).
#include <emmintrin.h>

#include <cstring>

#include "pixel/lut.h"

namespace morvex::pixel {
namespace {

inline __m128i LoadPixels(const Byte* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void StorePixels(Byte* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Stores the PixelLut entries of the four 32-bit lane indices (0..255).
inline void StoreLookups(Byte* dst, __m128i index, const Byte* table) {
  StoreU32(dst, PixelLutValue(table, static_cast<unsigned>(_mm_cvtsi128_si32(index))));
  StoreU32(dst + 4, PixelLutValue(table, static_cast<unsigned>(_mm_extract_epi16(index, 2))));
  StoreU32(dst + 8, PixelLutValue(table, static_cast<unsigned>(_mm_extract_epi16(index, 4))));
  StoreU32(dst + 12, PixelLutValue(table, static_cast<unsigned>(_mm_extract_epi16(index, 6))));
}

// The split-table lookup of the pixel at p. Blue and green are cut out of
// the pixel word, red and alpha loaded as single bytes: that balances shift
// and load work, measurably faster than either alone.
inline std::uint32_t SplitLutPixelAt(const Byte* p, const SplitLut& split) {
  const std::uint32_t word = LoadU32(p);
  return split.channel[kBlue][ChannelOf(word, kBlue)] |
         split.channel[kGreen][ChannelOf(word, kGreen)] | split.channel[kRed][p[kRed]] |
         split.channel[kAlpha][p[kAlpha]];
}

}  // namespace

// Two pixels per 64-bit store.
void LutRowSplit(Byte* row, std::int32_t width, const LutTables& tables) {
  const SplitLut& split = tables.split;
  std::int32_t x = 0;
  for (; x <= width - 2; x += 2) {
    Byte* p = row + ElementOffset(x, kArgbImageBytes);
    const std::uint64_t pair =
        SplitLutPixelAt(p, split) |
        static_cast<std::uint64_t>(SplitLutPixelAt(p + kArgbImageBytes, split)) << 32;
    std::memcpy(p, &pair, sizeof pair);
  }
  if (x < width) {
    Byte* p = row + ElementOffset(x, kArgbImageBytes);
    StoreU32(p, SplitLutPixelAt(p, split));
  }
}

void ClampToAlphaRowSse2(Byte* row, std::int32_t width) {
  const __m128i alphaOnly = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  std::int32_t x = 0;
  for (; x <= width - 4; x += 4) {
    Byte* p = row + ElementOffset(x, kArgbImageBytes);
    const __m128i pixels = LoadPixels(p);
    // Alpha copied into all four bytes; alpha against itself stays alpha.
    __m128i alpha = _mm_and_si128(pixels, alphaOnly);
    alpha = _mm_or_si128(alpha, _mm_srli_epi32(alpha, 8));
    alpha = _mm_or_si128(alpha, _mm_srli_epi32(alpha, 16));
    StorePixels(p, _mm_min_epu8(pixels, alpha));
  }
  for (; x < width; ++x) {
    Byte* p = row + ElementOffset(x, kArgbImageBytes);
    StoreU32(p, ClampToAlpha(LoadU32(p)));
  }
}

void LutThenClampRows(Byte* row, std::int32_t width, const LutTables& tables, ClampRowFn clamp) {
  for (std::int32_t x = 0; x < width;) {
    const std::int32_t count = width - x < kLutClampChunk ? width - x : kLutClampChunk;
    Byte* chunk = row + ElementOffset(x, kArgbImageBytes);
    LutRowSplit(chunk, count, tables);
    clamp(chunk, count);
    x += count;
  }
}

void LutWithAlphaClampRowSse2(Byte* row, std::int32_t width, const LutTables& tables) {
  LutThenClampRows(row, width, tables, ClampToAlphaRowSse2);
}

void ChannelMapRowSse2(Byte* dst, const Byte* src, std::int32_t width, unsigned channel,
                       const Byte* table) {
  const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(8 * channel));
  const __m128i low = _mm_set1_epi32(0xFF);
  std::int32_t x = 0;
  for (; x <= width - 4; x += 4) {
    const std::ptrdiff_t offset = ElementOffset(x, kArgbImageBytes);
    StoreLookups(dst + offset, _mm_and_si128(_mm_srl_epi32(LoadPixels(src + offset), shift), low),
                 table);
  }
  const std::ptrdiff_t offset = ElementOffset(x, kArgbImageBytes);
  ChannelMapRow(dst + offset, src + offset, width - x, channel, table);
}

void ChannelMergeRowSse2(Byte* row, std::int32_t width, std::uint32_t mask, const Byte* table) {
  const __m128i keep = _mm_set1_epi32(static_cast<int>(mask));
  const __m128i lowBytes = _mm_set1_epi16(0xFF);
  const __m128i lowWords = _mm_set1_epi32(0xFFFF);
  const __m128i top = _mm_set1_epi32(255);
  std::int32_t x = 0;
  for (; x <= width - 4; x += 4) {
    Byte* p = row + ElementOffset(x, kArgbImageBytes);
    const __m128i kept = _mm_and_si128(LoadPixels(p), keep);
    // b + g and r + a in 16 bits, then their sum in 32 bits (at most 1020).
    const __m128i pairs = _mm_add_epi16(_mm_and_si128(kept, lowBytes), _mm_srli_epi16(kept, 8));
    const __m128i sums = _mm_add_epi32(_mm_and_si128(pairs, lowWords), _mm_srli_epi32(pairs, 16));
    // The high word of each lane is 0, so a 16-bit minimum saturates the lane.
    StoreLookups(p, _mm_min_epi16(sums, top), table);
  }
  ChannelMergeRow(row + ElementOffset(x, kArgbImageBytes), width - x, mask, table);
}

}  // namespace morvex::pixel
