// The lookup-table family with AVX-512 VBMI: a table held in registers as
// four columns of 256 bytes (byte k of every entry), looked up sixteen pixels
// at a time by byte permutes instead of one table load per byte. For a
// PixelLut, each byte of a pixel is given its pixel's index first, so the
// four columns put the entry's four bytes back together.
#include "frame/simd/avx512_intrinsics.h"  // first

#include "pixel/lut.h"

namespace morvex::pixel {
namespace {

// Column c of the table in four vectors of 64 entries.
struct Columns {
  __m512i part[4][4];
};

inline Columns LoadColumns(const LutColumns& columns) {
  Columns c;
  for (int k = 0; k < 4; ++k)
    for (int q = 0; q < 4; ++q) c.part[k][q] = _mm512_load_si512(columns.channel[k] + 64 * q);
  return c;
}

// Byte k of each pixel: bits k, k + 4, k + 8, ... of a 64-lane mask.
constexpr __mmask64 kChannelLanes = 0x1111111111111111ull;

// Every byte replaced by its own channel's entry. A two-table permute
// indexes 128 entries with the low seven bits; the lanes of one channel and
// one half of the table are written per step, and every other lane keeps its
// byte, which later steps still read as their index.
inline __m512i LookUp(const Columns& c, __m512i pixels) {
  const __mmask64 high = _mm512_movepi8_mask(pixels);
  __m512i r = pixels;
  for (int k = 0; k < 4; ++k) {
    const __mmask64 lanes = kChannelLanes << k;
    r = _mm512_mask2_permutex2var_epi8(c.part[k][0], r, lanes & ~high, c.part[k][1]);
    r = _mm512_mask2_permutex2var_epi8(c.part[k][2], r, lanes & high, c.part[k][3]);
  }
  return r;
}

// Each colour byte limited to its pixel's (new) alpha; alpha against itself
// stays alpha.
inline __m512i ClampToAlpha16(__m512i pixels) {
  const __m512i alphaEverywhere = _mm512_set4_epi32(0x0F0F0F0F, 0x0B0B0B0B, 0x07070707, 0x03030303);
  return _mm512_min_epu8(pixels, _mm512_shuffle_epi8(pixels, alphaEverywhere));
}

// Byte b of each pixel copied into all four of its bytes (b = 0..3).
inline __m512i BroadcastByte(__m512i pixels, unsigned b) {
  const __m512i control = _mm512_add_epi8(
      _mm512_set4_epi32(0x0C0C0C0C, 0x08080808, 0x04040404, 0),
      _mm512_set1_epi8(static_cast<char>(b)));
  return _mm512_shuffle_epi8(pixels, control);
}

// dst pixel x = apply(src pixel x), sixteen pixels per step; the last group
// of a row through lane masks, which neither read nor write past the row.
// Every group is read before it is written.
template <class Apply>
inline void MapRow(Byte* dst, const Byte* src, std::int32_t width, Apply apply) {
  std::int32_t x = 0;
  for (; x <= width - 16; x += 16) {
    const std::ptrdiff_t at = ElementOffset(x, kArgbImageBytes);
    _mm512_storeu_si512(dst + at, apply(_mm512_loadu_si512(src + at)));
  }
  if (x < width) {
    const std::ptrdiff_t at = ElementOffset(x, kArgbImageBytes);
    const auto tail = static_cast<__mmask16>((1u << (width - x)) - 1u);
    _mm512_mask_storeu_epi32(dst + at, tail, apply(_mm512_maskz_loadu_epi32(tail, src + at)));
  }
}

template <bool kClamp>
void LutRowsVbmi(Byte* row, std::int32_t width, const LutTables& tables) {
  const Columns c = LoadColumns(tables.columns);
  MapRow(row, row, width, [&](__m512i pixels) {
    const __m512i r = LookUp(c, pixels);
    return kClamp ? ClampToAlpha16(r) : r;
  });
}

}  // namespace

void LutRowAvx512Vbmi(Byte* row, std::int32_t width, const LutTables& tables) {
  LutRowsVbmi<false>(row, width, tables);
}

void LutWithAlphaClampRowAvx512Vbmi(Byte* row, std::int32_t width, const LutTables& tables) {
  LutRowsVbmi<true>(row, width, tables);
}

void ChannelMapRowAvx512Vbmi(Byte* dst, const Byte* src, std::int32_t width, unsigned channel,
                             const LutColumns& columns) {
  const Columns c = LoadColumns(columns);
  MapRow(dst, src, width,
         [&](__m512i pixels) { return LookUp(c, BroadcastByte(pixels, channel)); });
}

void ChannelMergeRowAvx512Vbmi(Byte* row, std::int32_t width, std::uint32_t mask,
                               const LutColumns& columns) {
  const Columns c = LoadColumns(columns);
  const __m512i keep = _mm512_set1_epi32(static_cast<int>(mask));
  const __m512i lowBytes = _mm512_set1_epi16(0xFF);
  const __m512i lowWords = _mm512_set1_epi32(0xFFFF);
  const __m512i top = _mm512_set1_epi32(255);
  MapRow(row, row, width, [&](__m512i pixels) {
    const __m512i kept = _mm512_and_si512(pixels, keep);
    // b + g and r + a in 16 bits, then their sum (at most 1020), saturated at 255.
    const __m512i pairs =
        _mm512_add_epi16(_mm512_and_si512(kept, lowBytes), _mm512_srli_epi16(kept, 8));
    const __m512i sums =
        _mm512_add_epi32(_mm512_and_si512(pairs, lowWords), _mm512_srli_epi32(pairs, 16));
    return LookUp(c, BroadcastByte(_mm512_min_epu32(sums, top), 0));
  });
}

}  // namespace morvex::pixel
