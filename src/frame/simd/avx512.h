// The operations of sse2.h over 512 bits, for kernels compiled with
// AVX-512 (F, BW, DQ, VL). Include only from *_avx512.cpp files. Unpack, pack
// and shuffles work per 128-bit lane exactly as their SSE2 counterparts do.
#pragma once

#include "frame/simd/avx512_intrinsics.h"  // first

#include <cstddef>
#include <cstdint>

#include "frame/compiler.h"
#include "frame/simd/unaligned.h"

namespace morvex::simd::avx512 {

struct Isa {
  using V = __m512i;
  using F = __m512;
  static constexpr int kBytes = 64;

  // The first `words` (1..15) 32-bit elements of a vector, read and written
  // with masks: the other elements are read as 0 and never touched, and
  // their memory is not accessed.
  struct PartGroup {
    __mmask16 k;
    MORVEX_INLINE V Load(const void* p) const { return _mm512_maskz_loadu_epi32(k, p); }
    MORVEX_INLINE void Store(void* p, V v) const { _mm512_mask_storeu_epi32(p, k, v); }
    MORVEX_INLINE F LoadF(const void* p) const { return _mm512_maskz_loadu_ps(k, p); }
    MORVEX_INLINE void StoreF(void* p, F v) const { _mm512_mask_storeu_ps(p, k, v); }
  };
  static constexpr bool kPartialGroups = true;
  static MORVEX_INLINE PartGroup Part(std::int32_t words) {
    return {static_cast<__mmask16>((1u << words) - 1u)};
  }

  static MORVEX_INLINE V Load(const void* p) { return _mm512_loadu_si512(p); }
  static MORVEX_INLINE void Store(void* p, V v) { _mm512_storeu_si512(p, v); }
  static MORVEX_INLINE V Zero() { return _mm512_setzero_si512(); }
  static MORVEX_INLINE V Set8(int v) { return _mm512_set1_epi8(static_cast<char>(v)); }
  static MORVEX_INLINE V Set16(int v) { return _mm512_set1_epi16(static_cast<short>(v)); }
  static MORVEX_INLINE V Set32(std::int32_t v) { return _mm512_set1_epi32(v); }
  static MORVEX_INLINE V Set32x2(std::int32_t lo, std::int32_t hi) {
    return _mm512_set1_epi64(static_cast<long long>(
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(hi)) << 32) |
        static_cast<std::uint32_t>(lo)));
  }
  static MORVEX_INLINE V Set32x4(std::int32_t c0, std::int32_t c1, std::int32_t c2,
                                      std::int32_t c3) {
    return _mm512_setr4_epi32(c0, c1, c2, c3);
  }

  static MORVEX_INLINE V And(V a, V b) { return _mm512_and_si512(a, b); }
  static MORVEX_INLINE V AndNot(V a, V b) { return _mm512_andnot_si512(a, b); }
  static MORVEX_INLINE V Or(V a, V b) { return _mm512_or_si512(a, b); }
  static MORVEX_INLINE V Xor(V a, V b) { return _mm512_xor_si512(a, b); }
  // mask ? a : b, per bit, in one ternary-logic instruction.
  static MORVEX_INLINE V Select(V mask, V a, V b) {
    return _mm512_ternarylogic_epi32(mask, a, b, 0xCA);
  }

  static MORVEX_INLINE V UnpackLo8(V a, V b) { return _mm512_unpacklo_epi8(a, b); }
  static MORVEX_INLINE V UnpackHi8(V a, V b) { return _mm512_unpackhi_epi8(a, b); }
  static MORVEX_INLINE V UnpackLo16(V a, V b) { return _mm512_unpacklo_epi16(a, b); }
  static MORVEX_INLINE V UnpackHi16(V a, V b) { return _mm512_unpackhi_epi16(a, b); }
  static MORVEX_INLINE V PackUS16(V a, V b) { return _mm512_packus_epi16(a, b); }
  static MORVEX_INLINE V PackS32(V a, V b) { return _mm512_packs_epi32(a, b); }
  static MORVEX_INLINE V PackUS32(V a, V b) { return _mm512_packus_epi32(a, b); }

  static MORVEX_INLINE V Add16(V a, V b) { return _mm512_add_epi16(a, b); }
  static MORVEX_INLINE V Sub16(V a, V b) { return _mm512_sub_epi16(a, b); }
  static MORVEX_INLINE V Mullo16(V a, V b) { return _mm512_mullo_epi16(a, b); }
  static MORVEX_INLINE V MulhiU16(V a, V b) { return _mm512_mulhi_epu16(a, b); }
  static MORVEX_INLINE V MinS16(V a, V b) { return _mm512_min_epi16(a, b); }
  static MORVEX_INLINE V CmpGtS16(V a, V b) {
    return _mm512_movm_epi16(_mm512_cmpgt_epi16_mask(a, b));
  }
  template <int n>
  static MORVEX_INLINE V Srli16(V a) {
    return _mm512_srli_epi16(a, n);
  }
  template <int n>
  static MORVEX_INLINE V Slli16(V a) {
    return _mm512_slli_epi16(a, n);
  }
  static MORVEX_INLINE V BroadcastWord3(V a) {
    return _mm512_shufflehi_epi16(_mm512_shufflelo_epi16(a, 0xFF), 0xFF);
  }

  static MORVEX_INLINE V Add32(V a, V b) { return _mm512_add_epi32(a, b); }
  static MORVEX_INLINE V Madd16(V a, V b) { return _mm512_madd_epi16(a, b); }
  template <int n>
  static MORVEX_INLINE V Srai32(V a) {
    return _mm512_srai_epi32(a, n);
  }
  template <int n>
  static MORVEX_INLINE V Srli32(V a) {
    return _mm512_srli_epi32(a, n);
  }
  template <int n>
  static MORVEX_INLINE V Slli32(V a) {
    return _mm512_slli_epi32(a, n);
  }
  static MORVEX_INLINE V Srl32(V a, int n) {
    return _mm512_srl_epi32(a, _mm_cvtsi32_si128(n));
  }
  static MORVEX_INLINE V Sll32(V a, int n) {
    return _mm512_sll_epi32(a, _mm_cvtsi32_si128(n));
  }
  static MORVEX_INLINE V Mullo32(V a, V b) { return _mm512_mullo_epi32(a, b); }
  static MORVEX_INLINE V MaxS32(V a, V b) { return _mm512_max_epi32(a, b); }
  static MORVEX_INLINE V MinS32(V a, V b) { return _mm512_min_epi32(a, b); }

  static MORVEX_INLINE V MinU8(V a, V b) { return _mm512_min_epu8(a, b); }
  static MORVEX_INLINE V AddsU8(V a, V b) { return _mm512_adds_epu8(a, b); }
  static MORVEX_INLINE V BroadcastByte3(V p) {
    const V control = _mm512_set4_epi32(0x0F0F0F0F, 0x0B0B0B0B, 0x07070707, 0x03030303);
    return _mm512_shuffle_epi8(p, control);
  }
  static MORVEX_INLINE V BroadcastByte(V p, int channel) {
    const V base = _mm512_set4_epi32(0x0C0C0C0C, 0x08080808, 0x04040404, 0);
    const V control = _mm512_add_epi32(base, _mm512_set1_epi32(channel * 0x01010101));
    return _mm512_shuffle_epi8(p, control);
  }

  static MORVEX_INLINE F LoadF(const void* p) { return _mm512_loadu_ps(p); }
  static MORVEX_INLINE void StoreF(void* p, F v) { _mm512_storeu_ps(p, v); }
  static MORVEX_INLINE F SetF(float v) { return _mm512_set1_ps(v); }
  static MORVEX_INLINE F BroadcastFloat3(F p) { return _mm512_shuffle_ps(p, p, 0xFF); }
  // The same ordered, signalling predicates as the SSE comparisons.
  static MORVEX_INLINE F CmpLtF(F a, F b) {
    return _mm512_castsi512_ps(_mm512_movm_epi32(_mm512_cmp_ps_mask(a, b, _CMP_LT_OS)));
  }
  static MORVEX_INLINE F CmpGtF(F a, F b) {
    return _mm512_castsi512_ps(_mm512_movm_epi32(_mm512_cmp_ps_mask(a, b, _CMP_GT_OS)));
  }
  static MORVEX_INLINE F AndF(F a, F b) {
    return _mm512_castsi512_ps(_mm512_and_si512(_mm512_castps_si512(a), _mm512_castps_si512(b)));
  }
  static MORVEX_INLINE F SelectF(F mask, F a, F b) {
    return _mm512_castsi512_ps(_mm512_ternarylogic_epi32(
        _mm512_castps_si512(mask), _mm512_castps_si512(a), _mm512_castps_si512(b), 0xCA));
  }
  static MORVEX_INLINE F MaskF(std::int32_t c0, std::int32_t c1, std::int32_t c2,
                                    std::int32_t c3) {
    return _mm512_castsi512_ps(_mm512_setr4_epi32(c0, c1, c2, c3));
  }
  // ---- Float and double arithmetic ----
  using D = __m512d;
  static MORVEX_INLINE F AddF(F a, F b) { return _mm512_add_ps(a, b); }
  static MORVEX_INLINE F MulF(F a, F b) { return _mm512_mul_ps(a, b); }
  static MORVEX_INLINE F ToF(V v) { return _mm512_cvtepi32_ps(v); }
  static MORVEX_INLINE void StreamF(void* p, F v) { _mm512_stream_ps(static_cast<float*>(p), v); }
  static MORVEX_INLINE void Fence() { _mm_sfence(); }
  static MORVEX_INLINE D SetD(double v) { return _mm512_set1_pd(v); }
  static MORVEX_INLINE D AddD(D a, D b) { return _mm512_add_pd(a, b); }
  static MORVEX_INLINE D MulD(D a, D b) { return _mm512_mul_pd(a, b); }
  static MORVEX_INLINE D WidenLo(F v) { return _mm512_cvtps_pd(_mm512_castps512_ps256(v)); }
  static MORVEX_INLINE D WidenHi(F v) { return _mm512_cvtps_pd(_mm512_extractf32x8_ps(v, 1)); }
  static MORVEX_INLINE F Narrow(D lo, D hi) {
    return _mm512_insertf32x8(_mm512_castps256_ps512(_mm512_cvtpd_ps(lo)), _mm512_cvtpd_ps(hi), 1);
  }

  // ---- Mask kernels: rounding word products, 32-bit lane masks, float lookups ----
  static MORVEX_INLINE V MulhrsS16(V a, V b) { return _mm512_mulhrs_epi16(a, b); }
  static MORVEX_INLINE V UnpackLo32(V a, V b) { return _mm512_unpacklo_epi32(a, b); }
  static MORVEX_INLINE V UnpackHi32(V a, V b) { return _mm512_unpackhi_epi32(a, b); }
  // A plain unaligned load that the compiler must not fold into a masked
  // instruction (a masked load from memory is slow on some processors).
  static MORVEX_INLINE V LoadPlain(const void* p) {
    V v = _mm512_loadu_si512(p);
    __asm__("" : "+v"(v));
    return v;
  }
  using Lanes32 = __mmask16;
  static MORVEX_INLINE Lanes32 Eq32(V a, V b) { return _mm512_cmpeq_epi32_mask(a, b); }
  static MORVEX_INLINE std::uint32_t BitsOf(Lanes32 m) { return m; }
  static MORVEX_INLINE Lanes32 LanesOf(std::uint32_t bits) { return static_cast<__mmask16>(bits); }
  static MORVEX_INLINE V Select32(Lanes32 m, V a, V b) { return _mm512_mask_mov_epi32(b, m, a); }
  static MORVEX_INLINE V Sub32(V a, V b) { return _mm512_sub_epi32(a, b); }
  static MORVEX_INLINE F SubF(F a, F b) { return _mm512_sub_ps(a, b); }
  static MORVEX_INLINE F GatherF(const void* table, V index) {
    alignas(64) std::uint32_t i[16];
    _mm512_store_si512(i, index);
    return _mm512_setr_ps(FloatAt(table, i[0]), FloatAt(table, i[1]), FloatAt(table, i[2]),
                          FloatAt(table, i[3]), FloatAt(table, i[4]), FloatAt(table, i[5]),
                          FloatAt(table, i[6]), FloatAt(table, i[7]), FloatAt(table, i[8]),
                          FloatAt(table, i[9]), FloatAt(table, i[10]), FloatAt(table, i[11]),
                          FloatAt(table, i[12]), FloatAt(table, i[13]), FloatAt(table, i[14]),
                          FloatAt(table, i[15]));
  }
  static MORVEX_INLINE F PermuteF(F v, V index) { return _mm512_permutexvar_ps(index, v); }
  static MORVEX_INLINE F Permute2F(F a, F b, V index) { return _mm512_permutex2var_ps(a, index, b); }
  static MORVEX_INLINE D SubD(D a, D b) { return _mm512_sub_pd(a, b); }
};

}  // namespace morvex::simd::avx512
