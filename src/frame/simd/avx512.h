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
  // ---- Recursive filters (blur): float and double arithmetic, 128-bit blocks ----
  // A vector holds kBlocks blocks of 128 bits (four floats: one float pixel).
  using D = __m512d;
  static constexpr int kBlocks = 4;
  static constexpr int kFloats = 16;

  static MORVEX_INLINE F ZeroF() { return _mm512_setzero_ps(); }
  static MORVEX_INLINE F AddF(F a, F b) { return _mm512_add_ps(a, b); }
  static MORVEX_INLINE F MulF(F a, F b) { return _mm512_mul_ps(a, b); }
  static MORVEX_INLINE F AndNotF(F mask, F v) {
    return _mm512_castsi512_ps(_mm512_andnot_si512(_mm512_castps_si512(mask), _mm512_castps_si512(v)));
  }
  static MORVEX_INLINE F ToF(V v) { return _mm512_cvtepi32_ps(v); }
  static MORVEX_INLINE V ToI32(F v) { return _mm512_cvtps_epi32(v); }
  static MORVEX_INLINE F LoadFirstF(const void* p, int n) {
    return _mm512_maskz_loadu_ps(static_cast<__mmask16>((1u << n) - 1u), p);
  }
  static MORVEX_INLINE void StoreFirstF(void* p, int n, F x) {
    _mm512_mask_storeu_ps(p, static_cast<__mmask16>((1u << n) - 1u), x);
  }
  static MORVEX_INLINE F LoadBlocksF(const std::uint8_t* const* rows, std::ptrdiff_t at) {
    F v = _mm512_castps128_ps512(_mm_loadu_ps(reinterpret_cast<const float*>(rows[0] + at)));
    v = _mm512_insertf32x4(v, _mm_loadu_ps(reinterpret_cast<const float*>(rows[1] + at)), 1);
    v = _mm512_insertf32x4(v, _mm_loadu_ps(reinterpret_cast<const float*>(rows[2] + at)), 2);
    return _mm512_insertf32x4(v, _mm_loadu_ps(reinterpret_cast<const float*>(rows[3] + at)), 3);
  }
  static MORVEX_INLINE void StoreBlocksF(std::uint8_t* const* rows, std::ptrdiff_t at, F v) {
    _mm_storeu_ps(reinterpret_cast<float*>(rows[0] + at), _mm512_castps512_ps128(v));
    _mm_storeu_ps(reinterpret_cast<float*>(rows[1] + at), _mm512_extractf32x4_ps(v, 1));
    _mm_storeu_ps(reinterpret_cast<float*>(rows[2] + at), _mm512_extractf32x4_ps(v, 2));
    _mm_storeu_ps(reinterpret_cast<float*>(rows[3] + at), _mm512_extractf32x4_ps(v, 3));
  }
  static MORVEX_INLINE F BlocksOf(const float* v) {
    return _mm512_setr_ps(v[0], v[0], v[0], v[0], v[1], v[1], v[1], v[1], v[2], v[2], v[2], v[2],
                          v[3], v[3], v[3], v[3]);
  }
  static MORVEX_INLINE void TransposeBlocks(F* v) {
    const F t0 = _mm512_shuffle_f32x4(v[0], v[1], 0x44);
    const F t1 = _mm512_shuffle_f32x4(v[2], v[3], 0x44);
    const F t2 = _mm512_shuffle_f32x4(v[0], v[1], 0xEE);
    const F t3 = _mm512_shuffle_f32x4(v[2], v[3], 0xEE);
    v[0] = _mm512_shuffle_f32x4(t0, t1, 0x88);
    v[1] = _mm512_shuffle_f32x4(t0, t1, 0xDD);
    v[2] = _mm512_shuffle_f32x4(t2, t3, 0x88);
    v[3] = _mm512_shuffle_f32x4(t2, t3, 0xDD);
  }
  static MORVEX_INLINE F BytePixelsOfRows(const std::uint8_t* const* rows, std::ptrdiff_t at) {
    std::uint32_t u[4];
    for (int b = 0; b < 4; ++b) __builtin_memcpy(&u[b], rows[b] + at, 4);
    const __m128i v = _mm_setr_epi32(static_cast<int>(u[0]), static_cast<int>(u[1]),
                                     static_cast<int>(u[2]), static_cast<int>(u[3]));
    return _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(v));
  }
  static MORVEX_INLINE V LoadRowBlocks(const std::uint8_t* const* rows, std::ptrdiff_t at) {
    V v = _mm512_castsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[0] + at)));
    v = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[1] + at)), 1);
    v = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2] + at)), 2);
    return _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[3] + at)), 3);
  }
  template <int p>
  static MORVEX_INLINE F BytePixelOfBlocks(V run) {
    const char z = static_cast<char>(0x80);
    const char b = static_cast<char>(4 * p);
    const __m128i block = _mm_setr_epi8(b, z, z, z, static_cast<char>(b + 1), z, z, z,
                                        static_cast<char>(b + 2), z, z, z,
                                        static_cast<char>(b + 3), z, z, z);
    return _mm512_cvtepi32_ps(_mm512_shuffle_epi8(run, _mm512_broadcast_i32x4(block)));
  }
  static MORVEX_INLINE V PackBytePixels(F a, F b, F c, F d) {
    const V order = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    const V ab = _mm512_packs_epi32(_mm512_cvtps_epi32(a), _mm512_cvtps_epi32(b));
    const V cd = _mm512_packs_epi32(_mm512_cvtps_epi32(c), _mm512_cvtps_epi32(d));
    return _mm512_permutexvar_epi32(order, _mm512_packus_epi16(ab, cd));
  }
  static MORVEX_INLINE void StoreLowBytes(void* p, V v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), _mm512_cvtepi32_epi8(v));
  }
  static MORVEX_INLINE V LoadBytes32(const void* p) {
    return _mm512_cvtepu8_epi32(_mm_loadu_si128(static_cast<const __m128i*>(p)));
  }
  static MORVEX_INLINE void Transpose32(F* v) {
    F t[16], u[16];
    for (int i = 0; i < 16; i += 2) {
      t[i] = _mm512_unpacklo_ps(v[i], v[i + 1]);
      t[i + 1] = _mm512_unpackhi_ps(v[i], v[i + 1]);
    }
    for (int i = 0; i < 16; i += 4) {
      u[i] = _mm512_shuffle_ps(t[i], t[i + 2], 0x44);
      u[i + 1] = _mm512_shuffle_ps(t[i], t[i + 2], 0xEE);
      u[i + 2] = _mm512_shuffle_ps(t[i + 1], t[i + 3], 0x44);
      u[i + 3] = _mm512_shuffle_ps(t[i + 1], t[i + 3], 0xEE);
    }
    // u[4g + j] holds, per block, lane j of rows 4g .. 4g+3; blocks are
    // still the 128-bit column groups.
    for (int j = 0; j < 4; ++j) {
      F w[4] = {u[j], u[4 + j], u[8 + j], u[12 + j]};
      TransposeBlocks(w);
      for (int b = 0; b < 4; ++b) v[4 * b + j] = w[b];
    }
  }
  static MORVEX_INLINE void StreamF(void* p, F v) { _mm512_stream_ps(static_cast<float*>(p), v); }
  static MORVEX_INLINE void Stream(void* p, V v) { _mm512_stream_si512(static_cast<V*>(p), v); }
  static MORVEX_INLINE void Fence() { _mm_sfence(); }

  static MORVEX_INLINE D SetD(double v) { return _mm512_set1_pd(v); }
  static MORVEX_INLINE D AddD(D a, D b) { return _mm512_add_pd(a, b); }
  static MORVEX_INLINE D MulD(D a, D b) { return _mm512_mul_pd(a, b); }
  static MORVEX_INLINE D WidenLo(F v) { return _mm512_cvtps_pd(_mm512_castps512_ps256(v)); }
  static MORVEX_INLINE D WidenHi(F v) { return _mm512_cvtps_pd(_mm512_extractf32x8_ps(v, 1)); }
  static MORVEX_INLINE F Narrow(D lo, D hi) {
    return _mm512_insertf32x8(_mm512_castps256_ps512(_mm512_cvtpd_ps(lo)), _mm512_cvtpd_ps(hi), 1);
  }

  // ---- Byte differences and byte compares (filters) ----
  static MORVEX_INLINE V SubsU8(V a, V b) { return _mm512_subs_epu8(a, b); }
  static MORVEX_INLINE V MaxU8(V a, V b) { return _mm512_max_epu8(a, b); }
  static MORVEX_INLINE V CmpEq8(V a, V b) { return _mm512_movm_epi8(_mm512_cmpeq_epi8_mask(a, b)); }
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

  // ---- Double-precision lanes and 64-bit gathers (radial blur) ----
  using DMask = __mmask8;
  static constexpr int kDoubles = 8;
  static MORVEX_INLINE D DivD(D a, D b) { return _mm512_div_pd(a, b); }
  static MORVEX_INLINE D MinD(D a, D b) { return _mm512_min_pd(a, b); }
  static MORVEX_INLINE D MaxD(D a, D b) { return _mm512_max_pd(a, b); }
  static MORVEX_INLINE D AbsD(D a) { return _mm512_abs_pd(a); }
  static MORVEX_INLINE D TruncD(D a) {
    return _mm512_roundscale_pd(a, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
  }
  static MORVEX_INLINE DMask LeD(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OS); }
  static MORVEX_INLINE DMask IsNanD(D a) { return _mm512_cmp_pd_mask(a, a, _CMP_UNORD_Q); }
  static MORVEX_INLINE DMask OrMaskD(DMask a, DMask b) { return static_cast<DMask>(a | b); }
  static MORVEX_INLINE DMask AndNotMaskD(DMask a, DMask b) { return static_cast<DMask>(~a & b); }
  static MORVEX_INLINE bool AnyD(DMask m) { return m != 0; }
  static MORVEX_INLINE D SelectD(DMask m, D a, D b) { return _mm512_mask_blend_pd(m, b, a); }
  static MORVEX_INLINE void StoreTruncatedD(std::int32_t* out, D a) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_cvttpd_epi32(a));
  }
  static MORVEX_INLINE V ToIndexD(D a) { return _mm512_cvttpd_epi64(a); }
  static MORVEX_INLINE D LowByteToD(V a) {
    return _mm512_cvtepi64_pd(_mm512_and_si512(a, _mm512_set1_epi64(0xFF)));
  }
  static MORVEX_INLINE V SrlvU64(V a, V counts) { return _mm512_srlv_epi64(a, counts); }
  static MORVEX_INLINE V GatherU64(const void* base, V offsets) {
    return _mm512_i64gather_epi64(offsets, base, 1);
  }

  // ---- Byte windows (radial blur): each lane picks one byte of a loaded run ----
  // Offsets are 64-bit lanes; the window is 64 bytes. The pick itself needs
  // VBMI: see avx512vbmi::Isa.
  using Window = __m512i;
  using Offsets = __m512i;
  static constexpr int kWindowBytes = 64;
  static MORVEX_INLINE Window LoadWindow(const void* p) { return _mm512_loadu_si512(p); }
  // whole - origin per lane, for whole numbers below 2^31.
  static MORVEX_INLINE Offsets ToOffsetsD(D whole, std::int32_t origin) {
    return _mm512_sub_epi64(_mm512_cvttpd_epi64(whole), _mm512_set1_epi64(origin));
  }
  static MORVEX_INLINE Offsets AddOffsets(Offsets a, std::int32_t n) {
    return _mm512_add_epi64(a, _mm512_set1_epi64(n));
  }
  // Every lane of a and b in 0 .. kWindowBytes - 1.
  static MORVEX_INLINE bool WithinWindow(Offsets a, Offsets b) {
    return _mm512_test_epi64_mask(_mm512_or_si512(a, b), _mm512_set1_epi64(-kWindowBytes)) == 0;
  }
  static MORVEX_INLINE double FirstD(D v) { return _mm512_cvtsd_f64(v); }
  static MORVEX_INLINE bool AllEqualFirstD(D v) {
    return _mm512_cmp_pd_mask(v, _mm512_broadcastsd_pd(_mm512_castpd512_pd128(v)), _CMP_EQ_OQ) ==
           0xFF;
  }
  static MORVEX_INLINE double LeastD(D v) { return _mm512_reduce_min_pd(v); }

  // ---- Word shifts across two vectors (filters) ----
  // 32-bit words n .. n + 15 of the sequence lo[0..15], hi[0..15], 0 < n < 16.
  template <int n>
  static MORVEX_INLINE V ConcatWords(V lo, V hi) {
    return _mm512_alignr_epi32(hi, lo, n);
  }

  // ---- Channel narrowing (pixel) ----
  // Lane L holds the row's groups L, 4 + L, 8 + L, 12 + L.
  static MORVEX_INLINE V InOrderAfterPack4(V a) {
    return _mm512_permutexvar_epi32(
        _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15), a);
  }

  // ---- Double-precision lanes ----
  // As in sse2.h: H is either 256-bit half of V, D eight doubles; the
  // comparisons give mask registers.
  using H = __m256i;

  static MORVEX_INLINE H LowHalf(V v) { return _mm512_castsi512_si256(v); }
  static MORVEX_INLINE H HighHalf(V v) { return _mm512_extracti64x4_epi64(v, 1); }
  static MORVEX_INLINE V JoinHalves(H lo, H hi) {
    return _mm512_inserti64x4(_mm512_castsi256_si512(lo), hi, 1);
  }
  static MORVEX_INLINE D LoadD(const void* p) { return _mm512_loadu_pd(p); }
  static MORVEX_INLINE void StoreD(void* p, D v) { _mm512_storeu_pd(p, v); }
  static MORVEX_INLINE DMask LtD(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OS); }
  static MORVEX_INLINE DMask GtD(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_GT_OS); }
  static MORVEX_INLINE DMask EqD(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
  // One masked instruction each: the lanes outside the mask are not computed.
  static MORVEX_INLINE D SumWhereD(DMask mask, D a, D b, D otherwise) {
    return _mm512_mask_add_pd(otherwise, mask, a, b);
  }
  static MORVEX_INLINE D DifferenceWhereD(DMask mask, D a, D b, D otherwise) {
    return _mm512_mask_sub_pd(otherwise, mask, a, b);
  }
  static MORVEX_INLINE D ToDoubleD(H h) { return _mm512_cvtepi32_pd(h); }
  static MORVEX_INLINE H ConvertCurrentModeD(D v) { return _mm512_cvtpd_epi32(v); }
  // n / b from y = 1 / b rounded (Markstein): q0 = n * y, r = n - q0 * b
  // (exact when fused), q0 + r * y fused is the correctly rounded quotient.
  struct DDivisor {
    D b, reciprocal;
  };
  static MORVEX_INLINE DDivisor Divisor(D b) { return {b, _mm512_div_pd(_mm512_set1_pd(1.0), b)}; }
  static MORVEX_INLINE D DivideD(D n, const DDivisor& d) {
    const D q0 = _mm512_mul_pd(n, d.reciprocal);
    return _mm512_fmadd_pd(_mm512_fnmadd_pd(q0, d.b, n), d.reciprocal, q0);
  }

  // ---- Doubles held at single precision (blur recursions) ----
  // As in sse2.h; the flush zeroes in the widening itself (not below t is
  // the negation of the ordered, signalling below, so NaN stays).
  static MORVEX_INLINE D RoundToSingleD(D v) { return _mm512_cvtps_pd(_mm512_cvtpd_ps(v)); }
  static MORVEX_INLINE D RoundToSingleFlushD(D v, float t) {
    const __m256 f = _mm512_cvtpd_ps(v);
    return _mm512_maskz_cvtps_pd(_mm256_cmp_ps_mask(f, _mm256_set1_ps(t), _CMP_NLT_US), f);
  }
};

}  // namespace morvex::simd::avx512

namespace morvex::simd::avx512vbmi {

// AVX-512 with VBMI's byte permutes, for *_avx512vbmi.cpp files only: a type
// of its own, so that no template instantiated for it shares a name with the
// plain AVX-512 one.
struct Isa : avx512::Isa {
  // ---- Byte tables in registers: four 64-byte vectors of 256 entries ----
  struct ByteColumn {
    V part[4];
  };
  // A 256-entry byte column, 64-byte aligned.
  static MORVEX_INLINE ByteColumn LoadByteColumn(const std::uint8_t* column) {
    return {{_mm512_load_si512(column), _mm512_load_si512(column + 64),
             _mm512_load_si512(column + 128), _mm512_load_si512(column + 192)}};
  }
  // Every byte of `index` in channel k < n of its 4-byte element replaced by
  // entry index of column k; bytes of channels n and above are kept. A
  // two-table permute indexes 128 entries with the low seven bits; each step
  // writes the lanes of one channel and one half of the table, and every other
  // lane keeps its byte, which later steps still read as their index.
  template <int n>
  static MORVEX_INLINE V LookUpChannels(const ByteColumn (&columns)[n], V index) {
    const __mmask64 high = _mm512_movepi8_mask(index);  // index bit 7
    V r = index;
    for (int k = 0; k < n; ++k) {
      const __mmask64 lanes = 0x1111111111111111ull << k;
      r = _mm512_mask2_permutex2var_epi8(columns[k].part[0], r, _kandn_mask64(high, lanes),
                                         columns[k].part[1]);
      r = _mm512_mask2_permutex2var_epi8(columns[k].part[2], r, _kand_mask64(high, lanes),
                                         columns[k].part[3]);
    }
    return r;
  }

  // Byte at[i] of the window, per lane, as a double (a permute into byte 0 of
  // each 64-bit lane, the others zeroed).
  static MORVEX_INLINE D PickD(Window w, Offsets at) {
    return _mm512_cvtepi64_pd(_mm512_maskz_permutexvar_epi8(0x0101010101010101ull, at, w));
  }
};

}  // namespace morvex::simd::avx512vbmi
