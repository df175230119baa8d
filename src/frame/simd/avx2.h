// The operations of sse2.h over 256 bits, for kernels compiled with
// AVX2. Include only from *_avx2.cpp files. Unpack, pack and shuffles work
// per 128-bit lane exactly as their SSE2 counterparts do.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "frame/compiler.h"
#include "frame/simd/unaligned.h"

namespace morvex::simd::avx2 {

struct Isa {
  using V = __m256i;
  using F = __m256;
  static constexpr int kBytes = 32;
  static constexpr bool kPartialGroups = false;

  static MORVEX_INLINE V Load(const void* p) {
    return _mm256_loadu_si256(static_cast<const V*>(p));
  }
  static MORVEX_INLINE void Store(void* p, V v) { _mm256_storeu_si256(static_cast<V*>(p), v); }
  static MORVEX_INLINE V Zero() { return _mm256_setzero_si256(); }
  static MORVEX_INLINE V Set8(int v) { return _mm256_set1_epi8(static_cast<char>(v)); }
  static MORVEX_INLINE V Set16(int v) { return _mm256_set1_epi16(static_cast<short>(v)); }
  static MORVEX_INLINE V Set32(std::int32_t v) { return _mm256_set1_epi32(v); }
  static MORVEX_INLINE V Set32x2(std::int32_t lo, std::int32_t hi) {
    return _mm256_setr_epi32(lo, hi, lo, hi, lo, hi, lo, hi);
  }
  static MORVEX_INLINE V Set32x4(std::int32_t c0, std::int32_t c1, std::int32_t c2,
                                      std::int32_t c3) {
    return _mm256_setr_epi32(c0, c1, c2, c3, c0, c1, c2, c3);
  }

  static MORVEX_INLINE V And(V a, V b) { return _mm256_and_si256(a, b); }
  static MORVEX_INLINE V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }
  static MORVEX_INLINE V Or(V a, V b) { return _mm256_or_si256(a, b); }
  static MORVEX_INLINE V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
  static MORVEX_INLINE V Select(V mask, V a, V b) { return _mm256_blendv_epi8(b, a, mask); }

  static MORVEX_INLINE V UnpackLo8(V a, V b) { return _mm256_unpacklo_epi8(a, b); }
  static MORVEX_INLINE V UnpackHi8(V a, V b) { return _mm256_unpackhi_epi8(a, b); }
  static MORVEX_INLINE V UnpackLo16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
  static MORVEX_INLINE V UnpackHi16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
  static MORVEX_INLINE V PackUS16(V a, V b) { return _mm256_packus_epi16(a, b); }
  static MORVEX_INLINE V PackS32(V a, V b) { return _mm256_packs_epi32(a, b); }
  static MORVEX_INLINE V PackUS32(V a, V b) { return _mm256_packus_epi32(a, b); }

  static MORVEX_INLINE V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
  static MORVEX_INLINE V Sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
  static MORVEX_INLINE V Mullo16(V a, V b) { return _mm256_mullo_epi16(a, b); }
  static MORVEX_INLINE V MulhiU16(V a, V b) { return _mm256_mulhi_epu16(a, b); }
  static MORVEX_INLINE V MinS16(V a, V b) { return _mm256_min_epi16(a, b); }
  static MORVEX_INLINE V CmpGtS16(V a, V b) { return _mm256_cmpgt_epi16(a, b); }
  template <int n>
  static MORVEX_INLINE V Srli16(V a) {
    return _mm256_srli_epi16(a, n);
  }
  template <int n>
  static MORVEX_INLINE V Slli16(V a) {
    return _mm256_slli_epi16(a, n);
  }
  static MORVEX_INLINE V BroadcastWord3(V a) {
    return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(a, 0xFF), 0xFF);
  }

  static MORVEX_INLINE V Add32(V a, V b) { return _mm256_add_epi32(a, b); }
  static MORVEX_INLINE V Madd16(V a, V b) { return _mm256_madd_epi16(a, b); }
  template <int n>
  static MORVEX_INLINE V Srai32(V a) {
    return _mm256_srai_epi32(a, n);
  }
  template <int n>
  static MORVEX_INLINE V Srli32(V a) {
    return _mm256_srli_epi32(a, n);
  }
  template <int n>
  static MORVEX_INLINE V Slli32(V a) {
    return _mm256_slli_epi32(a, n);
  }
  static MORVEX_INLINE V Srl32(V a, int n) {
    return _mm256_srl_epi32(a, _mm_cvtsi32_si128(n));
  }
  static MORVEX_INLINE V Sll32(V a, int n) {
    return _mm256_sll_epi32(a, _mm_cvtsi32_si128(n));
  }
  static MORVEX_INLINE V Mullo32(V a, V b) { return _mm256_mullo_epi32(a, b); }
  static MORVEX_INLINE V MaxS32(V a, V b) { return _mm256_max_epi32(a, b); }
  static MORVEX_INLINE V MinS32(V a, V b) { return _mm256_min_epi32(a, b); }

  static MORVEX_INLINE V MinU8(V a, V b) { return _mm256_min_epu8(a, b); }
  static MORVEX_INLINE V AddsU8(V a, V b) { return _mm256_adds_epu8(a, b); }
  static MORVEX_INLINE V BroadcastByte3(V p) {
    const V control = _mm256_setr_epi8(3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15, 3, 3,
                                       3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15);
    return _mm256_shuffle_epi8(p, control);
  }
  static MORVEX_INLINE V BroadcastByte(V p, int channel) {
    const V base = _mm256_setr_epi32(0, 0x04040404, 0x08080808, 0x0C0C0C0C, 0, 0x04040404,
                                     0x08080808, 0x0C0C0C0C);
    const V control = _mm256_add_epi32(base, _mm256_set1_epi32(channel * 0x01010101));
    return _mm256_shuffle_epi8(p, control);
  }

  static MORVEX_INLINE F LoadF(const void* p) {
    return _mm256_loadu_ps(static_cast<const float*>(p));
  }
  static MORVEX_INLINE void StoreF(void* p, F v) {
    _mm256_storeu_ps(static_cast<float*>(p), v);
  }
  static MORVEX_INLINE F SetF(float v) { return _mm256_set1_ps(v); }
  static MORVEX_INLINE F BroadcastFloat3(F p) { return _mm256_shuffle_ps(p, p, 0xFF); }
  // The same ordered, signalling predicates as the SSE comparisons.
  static MORVEX_INLINE F CmpLtF(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OS); }
  static MORVEX_INLINE F CmpGtF(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OS); }
  static MORVEX_INLINE F AndF(F a, F b) { return _mm256_and_ps(a, b); }
  static MORVEX_INLINE F SelectF(F mask, F a, F b) { return _mm256_blendv_ps(b, a, mask); }
  static MORVEX_INLINE F MaskF(std::int32_t c0, std::int32_t c1, std::int32_t c2,
                                    std::int32_t c3) {
    return _mm256_castsi256_ps(_mm256_setr_epi32(c0, c1, c2, c3, c0, c1, c2, c3));
  }
  // ---- Float and double arithmetic ----
  using D = __m256d;
  static MORVEX_INLINE F AddF(F a, F b) { return _mm256_add_ps(a, b); }
  static MORVEX_INLINE F MulF(F a, F b) { return _mm256_mul_ps(a, b); }
  static MORVEX_INLINE F ToF(V v) { return _mm256_cvtepi32_ps(v); }
  static MORVEX_INLINE void StreamF(void* p, F v) { _mm256_stream_ps(static_cast<float*>(p), v); }
  static MORVEX_INLINE void Fence() { _mm_sfence(); }
  static MORVEX_INLINE D SetD(double v) { return _mm256_set1_pd(v); }
  static MORVEX_INLINE D AddD(D a, D b) { return _mm256_add_pd(a, b); }
  static MORVEX_INLINE D MulD(D a, D b) { return _mm256_mul_pd(a, b); }
  static MORVEX_INLINE D WidenLo(F v) { return _mm256_cvtps_pd(_mm256_castps256_ps128(v)); }
  static MORVEX_INLINE D WidenHi(F v) { return _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)); }
  static MORVEX_INLINE F Narrow(D lo, D hi) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(lo)), _mm256_cvtpd_ps(hi),
                                1);
  }

  // ---- Mask kernels: rounding word products, 32-bit lane masks, float lookups ----
  static MORVEX_INLINE V MulhrsS16(V a, V b) { return _mm256_mulhrs_epi16(a, b); }
  static MORVEX_INLINE V UnpackLo32(V a, V b) { return _mm256_unpacklo_epi32(a, b); }
  static MORVEX_INLINE V UnpackHi32(V a, V b) { return _mm256_unpackhi_epi32(a, b); }
  static MORVEX_INLINE V LoadPlain(const void* p) { return Load(p); }
  using Lanes32 = V;
  static MORVEX_INLINE Lanes32 Eq32(V a, V b) { return _mm256_cmpeq_epi32(a, b); }
  static MORVEX_INLINE std::uint32_t BitsOf(Lanes32 m) {
    return static_cast<std::uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(m)));
  }
  static MORVEX_INLINE Lanes32 LanesOf(std::uint32_t bits) {
    const V lane = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    const V set = _mm256_and_si256(_mm256_set1_epi32(static_cast<std::int32_t>(bits)), lane);
    return _mm256_cmpeq_epi32(set, lane);
  }
  static MORVEX_INLINE V Select32(Lanes32 m, V a, V b) {
    return _mm256_castps_si256(
        _mm256_blendv_ps(_mm256_castsi256_ps(b), _mm256_castsi256_ps(a), _mm256_castsi256_ps(m)));
  }
  static MORVEX_INLINE V Sub32(V a, V b) { return _mm256_sub_epi32(a, b); }
  static MORVEX_INLINE F SubF(F a, F b) { return _mm256_sub_ps(a, b); }
  static MORVEX_INLINE F GatherF(const void* table, V index) {
    alignas(32) std::uint32_t i[8];
    _mm256_store_si256(reinterpret_cast<V*>(i), index);
    return _mm256_setr_ps(FloatAt(table, i[0]), FloatAt(table, i[1]), FloatAt(table, i[2]),
                          FloatAt(table, i[3]), FloatAt(table, i[4]), FloatAt(table, i[5]),
                          FloatAt(table, i[6]), FloatAt(table, i[7]));
  }
  static MORVEX_INLINE F PermuteF(F v, V index) { return _mm256_permutevar8x32_ps(v, index); }
  static MORVEX_INLINE F Permute2F(F a, F b, V index) {
    const F second = _mm256_castsi256_ps(_mm256_cmpgt_epi32(index, _mm256_set1_epi32(7)));
    return _mm256_blendv_ps(_mm256_permutevar8x32_ps(a, index), _mm256_permutevar8x32_ps(b, index),
                            second);
  }
  static MORVEX_INLINE D SubD(D a, D b) { return _mm256_sub_pd(a, b); }
};

}  // namespace morvex::simd::avx2
