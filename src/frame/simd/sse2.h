// The vector layer every family's kernels are written on: the 128-bit
// integer and float operations of the SSE2 baseline. avx2.h and avx512.h
// offer the same names over 256 and 512 bits, so each kernel template is
// written once over `class I` and instantiated per instruction set in a small
// per-ISA file. Each lives in its own namespace, and every function here is
// MORVEX_INLINE, so no wide copy can ever stand in for a narrow one.
//
// Only the operations whose meaning is the same per 128-bit lane are offered
// (unpack, pack and shuffles stay inside a lane on AVX2 as well), so a kernel
// that unpacks and packs again gets its pixels back in order on both widths.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "frame/compiler.h"
#include "frame/simd/unaligned.h"

namespace morvex::simd::sse2 {

struct Isa {
  using V = __m128i;
  using F = __m128;
  static constexpr int kBytes = 16;
  static constexpr bool kPartialGroups = false;

  static MORVEX_INLINE V Load(const void* p) {
    return _mm_loadu_si128(static_cast<const V*>(p));
  }
  static MORVEX_INLINE void Store(void* p, V v) { _mm_storeu_si128(static_cast<V*>(p), v); }
  static MORVEX_INLINE V Zero() { return _mm_setzero_si128(); }
  static MORVEX_INLINE V Set8(int v) { return _mm_set1_epi8(static_cast<char>(v)); }
  static MORVEX_INLINE V Set16(int v) { return _mm_set1_epi16(static_cast<short>(v)); }
  static MORVEX_INLINE V Set32(std::int32_t v) { return _mm_set1_epi32(v); }
  // Two 32-bit values alternating: lanes 0, 2, ... get lo; 1, 3, ... get hi.
  static MORVEX_INLINE V Set32x2(std::int32_t lo, std::int32_t hi) {
    return _mm_set_epi32(hi, lo, hi, lo);
  }
  // Four 32-bit values repeated per 128 bits (one pixel's channels).
  static MORVEX_INLINE V Set32x4(std::int32_t c0, std::int32_t c1, std::int32_t c2,
                                      std::int32_t c3) {
    return _mm_set_epi32(c3, c2, c1, c0);
  }

  static MORVEX_INLINE V And(V a, V b) { return _mm_and_si128(a, b); }
  static MORVEX_INLINE V AndNot(V a, V b) { return _mm_andnot_si128(a, b); }  // ~a & b
  static MORVEX_INLINE V Or(V a, V b) { return _mm_or_si128(a, b); }
  static MORVEX_INLINE V Xor(V a, V b) { return _mm_xor_si128(a, b); }
  // mask ? a : b, per bit.
  static MORVEX_INLINE V Select(V mask, V a, V b) { return Or(And(mask, a), AndNot(mask, b)); }

  static MORVEX_INLINE V UnpackLo8(V a, V b) { return _mm_unpacklo_epi8(a, b); }
  static MORVEX_INLINE V UnpackHi8(V a, V b) { return _mm_unpackhi_epi8(a, b); }
  static MORVEX_INLINE V UnpackLo16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
  static MORVEX_INLINE V UnpackHi16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
  static MORVEX_INLINE V PackUS16(V a, V b) { return _mm_packus_epi16(a, b); }
  static MORVEX_INLINE V PackS32(V a, V b) { return _mm_packs_epi32(a, b); }
  // Signed 32-bit to unsigned 16-bit with saturation, for |a|, |b| < 2^31 - 32768.
  static MORVEX_INLINE V PackUS32(V a, V b) {
    const V bias = _mm_set1_epi32(32768);
    const V packed = _mm_packs_epi32(_mm_sub_epi32(a, bias), _mm_sub_epi32(b, bias));
    return _mm_xor_si128(packed, _mm_set1_epi16(static_cast<short>(0x8000)));
  }

  static MORVEX_INLINE V Add16(V a, V b) { return _mm_add_epi16(a, b); }
  static MORVEX_INLINE V Sub16(V a, V b) { return _mm_sub_epi16(a, b); }
  static MORVEX_INLINE V Mullo16(V a, V b) { return _mm_mullo_epi16(a, b); }
  static MORVEX_INLINE V MulhiU16(V a, V b) { return _mm_mulhi_epu16(a, b); }
  static MORVEX_INLINE V MinS16(V a, V b) { return _mm_min_epi16(a, b); }
  static MORVEX_INLINE V CmpGtS16(V a, V b) { return _mm_cmpgt_epi16(a, b); }
  template <int n>
  static MORVEX_INLINE V Srli16(V a) {
    return _mm_srli_epi16(a, n);
  }
  template <int n>
  static MORVEX_INLINE V Slli16(V a) {
    return _mm_slli_epi16(a, n);
  }
  // Word 3 of each 64 bits (a pixel's alpha, once widened) into all four words.
  static MORVEX_INLINE V BroadcastWord3(V a) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(a, 0xFF), 0xFF);
  }

  static MORVEX_INLINE V Add32(V a, V b) { return _mm_add_epi32(a, b); }
  static MORVEX_INLINE V Madd16(V a, V b) { return _mm_madd_epi16(a, b); }
  template <int n>
  static MORVEX_INLINE V Srai32(V a) {
    return _mm_srai_epi32(a, n);
  }
  template <int n>
  static MORVEX_INLINE V Srli32(V a) {
    return _mm_srli_epi32(a, n);
  }
  template <int n>
  static MORVEX_INLINE V Slli32(V a) {
    return _mm_slli_epi32(a, n);
  }
  // Shifts by a count chosen at run time (the same for every lane).
  static MORVEX_INLINE V Srl32(V a, int n) { return _mm_srl_epi32(a, _mm_cvtsi32_si128(n)); }
  static MORVEX_INLINE V Sll32(V a, int n) { return _mm_sll_epi32(a, _mm_cvtsi32_si128(n)); }
  // Low 32 bits of the products (wrapping), from two 32x32->64 multiplies.
  static MORVEX_INLINE V Mullo32(V a, V b) {
    const V even = _mm_mul_epu32(a, b);
    const V odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
  }
  static MORVEX_INLINE V MaxS32(V a, V b) {
    const V gt = _mm_cmpgt_epi32(a, b);
    return Select(gt, a, b);
  }
  static MORVEX_INLINE V MinS32(V a, V b) {
    const V gt = _mm_cmpgt_epi32(a, b);
    return Select(gt, b, a);
  }

  static MORVEX_INLINE V MinU8(V a, V b) { return _mm_min_epu8(a, b); }
  static MORVEX_INLINE V AddsU8(V a, V b) { return _mm_adds_epu8(a, b); }
  // Byte 3 of every 32 bits (a pixel's alpha) into all four bytes.
  static MORVEX_INLINE V BroadcastByte3(V p) {
    V a = _mm_srli_epi32(p, 24);
    a = _mm_or_si128(a, _mm_slli_epi32(a, 8));
    return _mm_or_si128(a, _mm_slli_epi32(a, 16));
  }
  // Byte `channel` of every 32 bits into all four bytes.
  static MORVEX_INLINE V BroadcastByte(V p, int channel) {
    V a = _mm_and_si128(Srl32(p, 8 * channel), _mm_set1_epi32(0xFF));
    a = _mm_or_si128(a, _mm_slli_epi32(a, 8));
    return _mm_or_si128(a, _mm_slli_epi32(a, 16));
  }

  static MORVEX_INLINE F LoadF(const void* p) {
    return _mm_loadu_ps(static_cast<const float*>(p));
  }
  static MORVEX_INLINE void StoreF(void* p, F v) { _mm_storeu_ps(static_cast<float*>(p), v); }
  static MORVEX_INLINE F SetF(float v) { return _mm_set1_ps(v); }
  // Float 3 of every 128 bits (a float pixel's alpha) into all four floats.
  static MORVEX_INLINE F BroadcastFloat3(F p) { return _mm_shuffle_ps(p, p, 0xFF); }
  // Ordered comparisons: false when either side is NaN.
  static MORVEX_INLINE F CmpLtF(F a, F b) { return _mm_cmplt_ps(a, b); }
  static MORVEX_INLINE F CmpGtF(F a, F b) { return _mm_cmpgt_ps(a, b); }
  static MORVEX_INLINE F AndF(F a, F b) { return _mm_and_ps(a, b); }
  // mask ? a : b, per bit.
  static MORVEX_INLINE F SelectF(F mask, F a, F b) {
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
  }
  static MORVEX_INLINE F MaskF(std::int32_t c0, std::int32_t c1, std::int32_t c2,
                                    std::int32_t c3) {
    return _mm_castsi128_ps(_mm_set_epi32(c3, c2, c1, c0));
  }
  // ---- Recursive filters (blur): float and double arithmetic, 128-bit blocks ----
  // A vector holds kBlocks blocks of 128 bits (four floats: one float pixel).
  using D = __m128d;
  static constexpr int kBlocks = 1;
  static constexpr int kFloats = 4;

  static MORVEX_INLINE F ZeroF() { return _mm_setzero_ps(); }
  static MORVEX_INLINE F AddF(F a, F b) { return _mm_add_ps(a, b); }
  static MORVEX_INLINE F MulF(F a, F b) { return _mm_mul_ps(a, b); }
  static MORVEX_INLINE F AndNotF(F mask, F v) { return _mm_andnot_ps(mask, v); }  // ~mask & v
  // Integer lanes to floats (exact below 2^24), and floats to integers in the
  // current rounding mode (INT32_MIN beyond the range and for NaN).
  static MORVEX_INLINE F ToF(V v) { return _mm_cvtepi32_ps(v); }
  static MORVEX_INLINE V ToI32(F v) { return _mm_cvtps_epi32(v); }
  // The first n (1 .. kFloats) floats at p; the other lanes read as 0 and
  // their memory is not accessed.
  static MORVEX_INLINE F LoadFirstF(const void* p, int n) {
    alignas(16) float v[4] = {};
    const auto* f = static_cast<const unsigned char*>(p);
    for (int i = 0; i < n; ++i) __builtin_memcpy(&v[i], f + 4 * i, 4);
    return _mm_load_ps(v);
  }
  static MORVEX_INLINE void StoreFirstF(void* p, int n, F x) {
    alignas(16) float v[4];
    _mm_store_ps(v, x);
    auto* f = static_cast<unsigned char*>(p);
    for (int i = 0; i < n; ++i) __builtin_memcpy(f + 4 * i, &v[i], 4);
  }
  // Block b from (to) rows[b] + at.
  static MORVEX_INLINE F LoadBlocksF(const std::uint8_t* const* rows, std::ptrdiff_t at) {
    return LoadF(rows[0] + at);
  }
  static MORVEX_INLINE void StoreBlocksF(std::uint8_t* const* rows, std::ptrdiff_t at, F v) {
    StoreF(rows[0] + at, v);
  }
  // Block b set to four copies of v[b].
  static MORVEX_INLINE F BlocksOf(const float* v) { return _mm_set1_ps(v[0]); }
  // Block b of v[q] exchanged with block q of v[b], for q, b < kBlocks.
  static MORVEX_INLINE void TransposeBlocks(F*) {}
  // The four bytes at rows[b] + at (one 8-bit pixel) as floats in block b.
  static MORVEX_INLINE F BytePixelsOfRows(const std::uint8_t* const* rows, std::ptrdiff_t at) {
    std::uint32_t u;
    __builtin_memcpy(&u, rows[0] + at, 4);
    const V z = _mm_setzero_si128();
    return _mm_cvtepi32_ps(
        _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(u)), z), z));
  }
  // Sixteen bytes of rows[b] + at in block b.
  static MORVEX_INLINE V LoadRowBlocks(const std::uint8_t* const* rows, std::ptrdiff_t at) {
    return Load(rows[0] + at);
  }
  // Pixel p (bytes 4p .. 4p+3) of every block as four floats.
  template <int p>
  static MORVEX_INLINE F BytePixelOfBlocks(V run) {
    const V z = _mm_setzero_si128();
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_srli_si128(run, 4 * p), z), z));
  }
  // Four vectors of float pixels converted in the current rounding mode,
  // saturated to bytes, in memory order a, b, c, d.
  static MORVEX_INLINE V PackBytePixels(F a, F b, F c, F d) {
    return _mm_packus_epi16(_mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b)),
                            _mm_packs_epi32(_mm_cvtps_epi32(c), _mm_cvtps_epi32(d)));
  }
  // The low byte of each 32-bit lane (values 0 .. 255), kFloats bytes in order.
  static MORVEX_INLINE void StoreLowBytes(void* p, V v) {
    const V w = _mm_packs_epi32(v, v);
    const auto u = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(w, w)));
    __builtin_memcpy(p, &u, 4);
  }
  // kFloats consecutive bytes at p zero-extended to 32-bit lanes.
  static MORVEX_INLINE V LoadBytes32(const void* p) {
    std::uint32_t u;
    __builtin_memcpy(&u, p, 4);
    const V z = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(u)), z), z);
  }
  // kFloats x kFloats transpose of 32-bit lanes: lane l of v[q] <-> lane q of v[l].
  static MORVEX_INLINE void Transpose32(F* v) { _MM_TRANSPOSE4_PS(v[0], v[1], v[2], v[3]); }
  // Stores that bypass the cache (p aligned to kBytes), and the fence that
  // orders them before later stores.
  static MORVEX_INLINE void StreamF(void* p, F v) { _mm_stream_ps(static_cast<float*>(p), v); }
  static MORVEX_INLINE void Stream(void* p, V v) { _mm_stream_si128(static_cast<V*>(p), v); }
  static MORVEX_INLINE void Fence() { _mm_sfence(); }

  static MORVEX_INLINE D SetD(double v) { return _mm_set1_pd(v); }
  static MORVEX_INLINE D AddD(D a, D b) { return _mm_add_pd(a, b); }
  static MORVEX_INLINE D MulD(D a, D b) { return _mm_mul_pd(a, b); }
  // The low (high) half of the floats as doubles, and two halves rounded back
  // to floats in the current mode.
  static MORVEX_INLINE D WidenLo(F v) { return _mm_cvtps_pd(v); }
  static MORVEX_INLINE D WidenHi(F v) { return _mm_cvtps_pd(_mm_movehl_ps(v, v)); }
  static MORVEX_INLINE F Narrow(D lo, D hi) { return _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi)); }

  // ---- Byte differences and byte compares (filters) ----
  static MORVEX_INLINE V SubsU8(V a, V b) { return _mm_subs_epu8(a, b); }
  static MORVEX_INLINE V MaxU8(V a, V b) { return _mm_max_epu8(a, b); }
  // All ones in each byte where a == b.
  static MORVEX_INLINE V CmpEq8(V a, V b) { return _mm_cmpeq_epi8(a, b); }

  // ---- Mask kernels: rounding word products, 32-bit lane masks, float lookups ----
  // (a * b + 2^14) >> 15 per signed 16-bit lane (the low 16 bits), as the
  // SSSE3 rounding high multiply gives it. The product's bits from 14 up are
  // hi * 4 + (lo >> 14); halving that with the rounding bit leaves
  // hi * 2 + ((lo >> 14) + 1) / 2.
  static MORVEX_INLINE V MulhrsS16(V a, V b) {
    const V hi = _mm_mulhi_epi16(a, b), lo = _mm_mullo_epi16(a, b);
    const V round = _mm_srli_epi16(_mm_add_epi16(_mm_srli_epi16(lo, 14), _mm_set1_epi16(1)), 1);
    return _mm_add_epi16(_mm_add_epi16(hi, hi), round);
  }
  static MORVEX_INLINE V UnpackLo32(V a, V b) { return _mm_unpacklo_epi32(a, b); }
  static MORVEX_INLINE V UnpackHi32(V a, V b) { return _mm_unpackhi_epi32(a, b); }
  // A plain load that stays one (the same as Load here).
  static MORVEX_INLINE V LoadPlain(const void* p) { return Load(p); }
  // A set of 32-bit lanes: all-ones lanes here, a mask register on AVX-512.
  using Lanes32 = V;
  static MORVEX_INLINE Lanes32 Eq32(V a, V b) { return _mm_cmpeq_epi32(a, b); }
  // Bit k of the result is lane k of the set, and back.
  static MORVEX_INLINE std::uint32_t BitsOf(Lanes32 m) {
    return static_cast<std::uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(m)));
  }
  static MORVEX_INLINE Lanes32 LanesOf(std::uint32_t bits) {
    const V lane = _mm_setr_epi32(1, 2, 4, 8);
    const V set = _mm_and_si128(_mm_set1_epi32(static_cast<std::int32_t>(bits)), lane);
    return _mm_cmpeq_epi32(set, lane);
  }
  // m ? a : b per 32-bit lane.
  static MORVEX_INLINE V Select32(Lanes32 m, V a, V b) { return Select(m, a, b); }
  static MORVEX_INLINE V Sub32(V a, V b) { return _mm_sub_epi32(a, b); }
  static MORVEX_INLINE F SubF(F a, F b) { return _mm_sub_ps(a, b); }
  // Lane k is FloatAt(table, index_k); every index must address a readable
  // float. The indices are stored and the floats loaded one by one: faster
  // than the gather instructions of the wider sets on the processors measured.
  static MORVEX_INLINE F GatherF(const void* table, V index) {
    alignas(16) std::uint32_t i[4];
    _mm_store_si128(reinterpret_cast<V*>(i), index);
    return _mm_setr_ps(FloatAt(table, i[0]), FloatAt(table, i[1]), FloatAt(table, i[2]),
                       FloatAt(table, i[3]));
  }
  // Lane k is lane index_k (0 .. 3) of v.
  static MORVEX_INLINE F PermuteF(F v, V index) {
    alignas(16) float f[4];
    _mm_store_ps(f, v);
    return GatherF(f, index);
  }
  // Lane k is lane index_k (0 .. 7) of the eight lanes of a, then b.
  static MORVEX_INLINE F Permute2F(F a, F b, V index) {
    alignas(16) float f[8];
    _mm_store_ps(f, a);
    _mm_store_ps(f + 4, b);
    return GatherF(f, index);
  }
  static MORVEX_INLINE D SubD(D a, D b) { return _mm_sub_pd(a, b); }
  // ---- Double-precision lanes and 64-bit gathers (radial blur) ----
  using DMask = __m128d;  // all ones in a lane where true
  static constexpr int kDoubles = 2;
  static MORVEX_INLINE D DivD(D a, D b) { return _mm_div_pd(a, b); }
  // a < b ? a : b and a > b ? a : b, per lane (b where either is NaN).
  static MORVEX_INLINE D MinD(D a, D b) { return _mm_min_pd(a, b); }
  static MORVEX_INLINE D MaxD(D a, D b) { return _mm_max_pd(a, b); }
  static MORVEX_INLINE D AbsD(D a) { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }
  // Rounded toward zero to a whole number, for |a| < 2^31.
  static MORVEX_INLINE D TruncD(D a) { return _mm_cvtepi32_pd(_mm_cvttpd_epi32(a)); }
  static MORVEX_INLINE DMask LeD(D a, D b) { return _mm_cmple_pd(a, b); }
  static MORVEX_INLINE DMask IsNanD(D a) { return _mm_cmpunord_pd(a, a); }
  static MORVEX_INLINE DMask OrMaskD(DMask a, DMask b) { return _mm_or_pd(a, b); }
  static MORVEX_INLINE DMask AndNotMaskD(DMask a, DMask b) { return _mm_andnot_pd(a, b); }  // ~a & b
  static MORVEX_INLINE bool AnyD(DMask m) { return _mm_movemask_pd(m) != 0; }
  // m ? a : b, per lane.
  static MORVEX_INLINE D SelectD(DMask m, D a, D b) {
    return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b));
  }
  // The lanes converted to int32 by truncation (INT32_MIN where out of range
  // or NaN), stored to out[0 .. kDoubles - 1].
  static MORVEX_INLINE void StoreTruncatedD(std::int32_t* out, D a) {
    _mm_storel_epi64(reinterpret_cast<V*>(out), _mm_cvttpd_epi32(a));
  }
  // Whole numbers 0 <= a < 2^51 as 64-bit integer lanes (exact: adding 2^52
  // leaves the number in the low mantissa bits).
  static MORVEX_INLINE V ToIndexD(D a) {
    const D magic = _mm_set1_pd(4503599627370496.0);
    return _mm_sub_epi64(_mm_castpd_si128(_mm_add_pd(a, magic)), _mm_castpd_si128(magic));
  }
  // The low byte of each 64-bit lane as a double.
  static MORVEX_INLINE D LowByteToD(V a) {
    const V bits = _mm_or_si128(_mm_and_si128(a, _mm_set1_epi64x(0xFF)),
                                _mm_set1_epi64x(0x4330000000000000));
    return _mm_sub_pd(_mm_castsi128_pd(bits), _mm_set1_pd(4503599627370496.0));
  }
  // Each 64-bit lane shifted right by its own count (0 .. 63).
  static MORVEX_INLINE V SrlvU64(V a, V counts) {
    const V lo = _mm_srl_epi64(a, counts), hi = _mm_srl_epi64(a, _mm_unpackhi_epi64(counts, counts));
    return _mm_castpd_si128(_mm_move_sd(_mm_castsi128_pd(hi), _mm_castsi128_pd(lo)));
  }
  // The eight bytes at base + offset for each 64-bit lane's offset.
  static MORVEX_INLINE V GatherU64(const void* base, V offsets) {
    const unsigned char* p = static_cast<const unsigned char*>(base);
    std::int64_t at[2];
    _mm_storeu_si128(reinterpret_cast<V*>(at), offsets);
    std::int64_t v[2];
    __builtin_memcpy(&v[0], p + at[0], 8);
    __builtin_memcpy(&v[1], p + at[1], 8);
    return _mm_loadu_si128(reinterpret_cast<const V*>(v));
  }

  // ---- Word shifts across two vectors (filters) ----
  // 32-bit words n .. n + 3 of the sequence lo[0..3], hi[0..3], 0 < n < 4.
  template <int n>
  static MORVEX_INLINE V ConcatWords(V lo, V hi) {
    return _mm_or_si128(_mm_srli_si128(lo, 4 * n), _mm_slli_si128(hi, 16 - 4 * n));
  }
  // ---- Channel narrowing (pixel) ----
  // Four vectors narrowed 4:1 (PackS32 or PackUS32 in pairs, then PackUS16)
  // leave the 32-bit groups of their 128-bit lanes interleaved on wider
  // vectors; this puts them back in memory order (nothing to do on 128 bits).
  static MORVEX_INLINE V InOrderAfterPack4(V a) { return a; }

  // ---- Double-precision lanes ----
  // A pixel vector converted to doubles half by half: H holds the lower or
  // upper half of a V (kDoubles 32-bit words), D one double per word of H.
  // Comparisons give a DMask (here all-ones lanes) for SelectD.
  using H = __m128i;  // the low 64 bits

  static MORVEX_INLINE H LowHalf(V v) { return v; }
  static MORVEX_INLINE H HighHalf(V v) { return _mm_unpackhi_epi64(v, v); }
  static MORVEX_INLINE V JoinHalves(H lo, H hi) { return _mm_unpacklo_epi64(lo, hi); }
  static MORVEX_INLINE D LoadD(const void* p) { return _mm_loadu_pd(static_cast<const double*>(p)); }
  static MORVEX_INLINE void StoreD(void* p, D v) { _mm_storeu_pd(static_cast<double*>(p), v); }
  // Ordered comparisons: < and > signalling, == quiet, as the scalar ones.
  static MORVEX_INLINE DMask LtD(D a, D b) { return _mm_cmplt_pd(a, b); }
  static MORVEX_INLINE DMask GtD(D a, D b) { return _mm_cmpgt_pd(a, b); }
  static MORVEX_INLINE DMask EqD(D a, D b) { return _mm_cmpeq_pd(a, b); }
  // The signed 32-bit words of h as doubles (exact).
  // mask ? a + b : otherwise and mask ? a - b : otherwise, per lane.
  static MORVEX_INLINE D SumWhereD(DMask mask, D a, D b, D otherwise) {
    return SelectD(mask, AddD(a, b), otherwise);
  }
  static MORVEX_INLINE D DifferenceWhereD(DMask mask, D a, D b, D otherwise) {
    return SelectD(mask, SubD(a, b), otherwise);
  }
  static MORVEX_INLINE D ToDoubleD(H h) { return _mm_cvtepi32_pd(h); }
  // Each lane to int32 in the current rounding mode, INT32_MIN (the integer
  // indefinite value) where there is none: what cvtsd2si gives one by one.
  static MORVEX_INLINE H ConvertCurrentModeD(D v) { return _mm_cvtpd_epi32(v); }
  // Division by a divisor shared by several quotients: DivideD(n, Divisor(b))
  // is n / b correctly rounded. Here a plain division; the AVX-512 form
  // multiplies by the reciprocal and corrects once, which gives the same bits
  // wherever neither quotient nor remainder leaves the normal range (its
  // users prove that for their inputs).
  struct DDivisor {
    D b;
  };
  static MORVEX_INLINE DDivisor Divisor(D b) { return {b}; }
  static MORVEX_INLINE D DivideD(D n, const DDivisor& d) { return _mm_div_pd(n, d.b); }

  // ---- Doubles held at single precision (blur recursions) ----
  // Each lane rounded to single in the current mode and widened back
  // (exactly); with the flush, lanes whose single is below t (an ordered,
  // signalling comparison, so NaN stays) become 0.
  static MORVEX_INLINE D RoundToSingleD(D v) { return _mm_cvtps_pd(_mm_cvtpd_ps(v)); }
  static MORVEX_INLINE D RoundToSingleFlushD(D v, float t) {
    const __m128 f = _mm_cvtpd_ps(v);
    return _mm_cvtps_pd(_mm_andnot_ps(_mm_cmplt_ps(f, _mm_set1_ps(t)), f));
  }
};

}  // namespace morvex::simd::sse2
