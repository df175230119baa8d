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
  // ---- Recursive filters (blur): float and double arithmetic, 128-bit blocks ----
  // A vector holds kBlocks blocks of 128 bits (four floats: one float pixel).
  using D = __m256d;
  static constexpr int kBlocks = 2;
  static constexpr int kFloats = 8;

  static MORVEX_INLINE F ZeroF() { return _mm256_setzero_ps(); }
  static MORVEX_INLINE F AddF(F a, F b) { return _mm256_add_ps(a, b); }
  static MORVEX_INLINE F MulF(F a, F b) { return _mm256_mul_ps(a, b); }
  static MORVEX_INLINE F AndNotF(F mask, F v) { return _mm256_andnot_ps(mask, v); }
  static MORVEX_INLINE F ToF(V v) { return _mm256_cvtepi32_ps(v); }
  static MORVEX_INLINE V ToI32(F v) { return _mm256_cvtps_epi32(v); }
  static MORVEX_INLINE F LoadFirstF(const void* p, int n) {
    alignas(32) float v[8] = {};
    const auto* f = static_cast<const std::uint8_t*>(p);
    for (int i = 0; i < n; ++i) __builtin_memcpy(&v[i], f + 4 * i, 4);
    return _mm256_load_ps(v);
  }
  static MORVEX_INLINE void StoreFirstF(void* p, int n, F x) {
    alignas(32) float v[8];
    _mm256_store_ps(v, x);
    auto* f = static_cast<std::uint8_t*>(p);
    for (int i = 0; i < n; ++i) __builtin_memcpy(f + 4 * i, &v[i], 4);
  }
  static MORVEX_INLINE F LoadBlocksF(const std::uint8_t* const* rows, std::ptrdiff_t at) {
    return _mm256_setr_m128(_mm_loadu_ps(reinterpret_cast<const float*>(rows[0] + at)),
                            _mm_loadu_ps(reinterpret_cast<const float*>(rows[1] + at)));
  }
  static MORVEX_INLINE void StoreBlocksF(std::uint8_t* const* rows, std::ptrdiff_t at, F v) {
    _mm_storeu_ps(reinterpret_cast<float*>(rows[0] + at), _mm256_castps256_ps128(v));
    _mm_storeu_ps(reinterpret_cast<float*>(rows[1] + at), _mm256_extractf128_ps(v, 1));
  }
  static MORVEX_INLINE F BlocksOf(const float* v) {
    return _mm256_setr_m128(_mm_set1_ps(v[0]), _mm_set1_ps(v[1]));
  }
  static MORVEX_INLINE void TransposeBlocks(F* v) {
    const F a = _mm256_permute2f128_ps(v[0], v[1], 0x20);
    v[1] = _mm256_permute2f128_ps(v[0], v[1], 0x31);
    v[0] = a;
  }
  static MORVEX_INLINE F BytePixelsOfRows(const std::uint8_t* const* rows, std::ptrdiff_t at) {
    std::uint32_t a, b;
    __builtin_memcpy(&a, rows[0] + at, 4);
    __builtin_memcpy(&b, rows[1] + at, 4);
    const __m128i v = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(a)),
                                         _mm_cvtsi32_si128(static_cast<int>(b)));
    return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(v));
  }
  static MORVEX_INLINE V LoadRowBlocks(const std::uint8_t* const* rows, std::ptrdiff_t at) {
    return _mm256_setr_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[0] + at)),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[1] + at)));
  }
  template <int p>
  static MORVEX_INLINE F BytePixelOfBlocks(V run) {
    const char z = static_cast<char>(0x80);
    const char b = static_cast<char>(4 * p);
    const V control = _mm256_setr_epi8(
        b, z, z, z, static_cast<char>(b + 1), z, z, z, static_cast<char>(b + 2), z, z, z,
        static_cast<char>(b + 3), z, z, z, b, z, z, z, static_cast<char>(b + 1), z, z, z,
        static_cast<char>(b + 2), z, z, z, static_cast<char>(b + 3), z, z, z);
    return _mm256_cvtepi32_ps(_mm256_shuffle_epi8(run, control));
  }
  static MORVEX_INLINE V PackBytePixels(F a, F b, F c, F d) {
    const V ab = _mm256_packs_epi32(_mm256_cvtps_epi32(a), _mm256_cvtps_epi32(b));
    const V cd = _mm256_packs_epi32(_mm256_cvtps_epi32(c), _mm256_cvtps_epi32(d));
    // Blocks now hold pixels 0 2 4 6 | 1 3 5 7.
    return _mm256_permutevar8x32_epi32(_mm256_packus_epi16(ab, cd),
                                       _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
  }
  static MORVEX_INLINE void StoreLowBytes(void* p, V v) {
    const V w = _mm256_packs_epi32(v, v);
    const V b = _mm256_packus_epi16(w, w);  // bytes 0..3 | 4..7 in dword 0 of each block
    const __m128i both = _mm_unpacklo_epi32(_mm256_castsi256_si128(b), _mm256_extracti128_si256(b, 1));
    _mm_storel_epi64(static_cast<__m128i*>(p), both);
  }
  static MORVEX_INLINE V LoadBytes32(const void* p) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(static_cast<const __m128i*>(p)));
  }
  static MORVEX_INLINE void Transpose32(F* v) {
    F t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
      t[i] = _mm256_unpacklo_ps(v[i], v[i + 1]);
      t[i + 1] = _mm256_unpackhi_ps(v[i], v[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {
      u[i] = _mm256_shuffle_ps(t[i], t[i + 2], 0x44);
      u[i + 1] = _mm256_shuffle_ps(t[i], t[i + 2], 0xEE);
      u[i + 2] = _mm256_shuffle_ps(t[i + 1], t[i + 3], 0x44);
      u[i + 3] = _mm256_shuffle_ps(t[i + 1], t[i + 3], 0xEE);
    }
    for (int i = 0; i < 4; ++i) {
      v[i] = _mm256_permute2f128_ps(u[i], u[i + 4], 0x20);
      v[i + 4] = _mm256_permute2f128_ps(u[i], u[i + 4], 0x31);
    }
  }
  static MORVEX_INLINE void StreamF(void* p, F v) { _mm256_stream_ps(static_cast<float*>(p), v); }
  static MORVEX_INLINE void Stream(void* p, V v) { _mm256_stream_si256(static_cast<V*>(p), v); }
  static MORVEX_INLINE void Fence() { _mm_sfence(); }

  static MORVEX_INLINE D SetD(double v) { return _mm256_set1_pd(v); }
  static MORVEX_INLINE D AddD(D a, D b) { return _mm256_add_pd(a, b); }
  static MORVEX_INLINE D MulD(D a, D b) { return _mm256_mul_pd(a, b); }
  static MORVEX_INLINE D WidenLo(F v) { return _mm256_cvtps_pd(_mm256_castps256_ps128(v)); }
  static MORVEX_INLINE D WidenHi(F v) { return _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)); }
  static MORVEX_INLINE F Narrow(D lo, D hi) {
    return _mm256_setr_m128(_mm256_cvtpd_ps(lo), _mm256_cvtpd_ps(hi));
  }

  // ---- Byte differences and byte compares (filters) ----
  static MORVEX_INLINE V SubsU8(V a, V b) { return _mm256_subs_epu8(a, b); }
  static MORVEX_INLINE V MaxU8(V a, V b) { return _mm256_max_epu8(a, b); }
  static MORVEX_INLINE V CmpEq8(V a, V b) { return _mm256_cmpeq_epi8(a, b); }

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
  // ---- Double-precision lanes and 64-bit gathers (radial blur) ----
  using DMask = __m256d;
  static constexpr int kDoubles = 4;
  static MORVEX_INLINE D DivD(D a, D b) { return _mm256_div_pd(a, b); }
  static MORVEX_INLINE D MinD(D a, D b) { return _mm256_min_pd(a, b); }
  static MORVEX_INLINE D MaxD(D a, D b) { return _mm256_max_pd(a, b); }
  static MORVEX_INLINE D AbsD(D a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
  static MORVEX_INLINE D TruncD(D a) {
    return _mm256_round_pd(a, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
  }
  // The same ordered, signalling predicates as the SSE2 comparisons.
  static MORVEX_INLINE DMask LeD(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LE_OS); }
  static MORVEX_INLINE DMask IsNanD(D a) { return _mm256_cmp_pd(a, a, _CMP_UNORD_Q); }
  static MORVEX_INLINE DMask OrMaskD(DMask a, DMask b) { return _mm256_or_pd(a, b); }
  static MORVEX_INLINE DMask AndNotMaskD(DMask a, DMask b) { return _mm256_andnot_pd(a, b); }
  static MORVEX_INLINE bool AnyD(DMask m) { return _mm256_movemask_pd(m) != 0; }
  static MORVEX_INLINE D SelectD(DMask m, D a, D b) { return _mm256_blendv_pd(b, a, m); }
  static MORVEX_INLINE void StoreTruncatedD(std::int32_t* out, D a) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_cvttpd_epi32(a));
  }
  static MORVEX_INLINE V ToIndexD(D a) {
    const D magic = _mm256_set1_pd(4503599627370496.0);
    return _mm256_sub_epi64(_mm256_castpd_si256(_mm256_add_pd(a, magic)),
                            _mm256_castpd_si256(magic));
  }
  static MORVEX_INLINE D LowByteToD(V a) {
    const V bits = _mm256_or_si256(_mm256_and_si256(a, _mm256_set1_epi64x(0xFF)),
                                   _mm256_set1_epi64x(0x4330000000000000));
    return _mm256_sub_pd(_mm256_castsi256_pd(bits), _mm256_set1_pd(4503599627370496.0));
  }
  static MORVEX_INLINE V SrlvU64(V a, V counts) { return _mm256_srlv_epi64(a, counts); }
  static MORVEX_INLINE V GatherU64(const void* base, V offsets) {
    return _mm256_i64gather_epi64(static_cast<const long long*>(base), offsets, 1);
  }

  // ---- Byte windows (radial blur): each lane picks one byte of a loaded run ----
  // Offsets are 32-bit lanes, one per double lane; the window is 16 bytes.
  using Window = __m128i;
  using Offsets = __m128i;
  static constexpr int kWindowBytes = 16;
  static MORVEX_INLINE Window LoadWindow(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
  }
  // whole - origin per lane, for whole numbers below 2^31.
  static MORVEX_INLINE Offsets ToOffsetsD(D whole, std::int32_t origin) {
    return _mm_sub_epi32(_mm256_cvttpd_epi32(whole), _mm_set1_epi32(origin));
  }
  static MORVEX_INLINE Offsets AddOffsets(Offsets a, std::int32_t n) {
    return _mm_add_epi32(a, _mm_set1_epi32(n));
  }
  // Every lane of a and b in 0 .. kWindowBytes - 1.
  static MORVEX_INLINE bool WithinWindow(Offsets a, Offsets b) {
    return _mm_testz_si128(_mm_or_si128(a, b), _mm_set1_epi32(-kWindowBytes)) != 0;
  }
  // Byte at[i] of the window, per lane, as a double: the other bytes of each
  // 32-bit lane select nothing (their high bit is set).
  static MORVEX_INLINE D PickD(Window w, Offsets at) {
    return _mm256_cvtepi32_pd(_mm_shuffle_epi8(w, _mm_or_si128(at, _mm_set1_epi32(0x80808000))));
  }
  static MORVEX_INLINE double FirstD(D v) { return _mm256_cvtsd_f64(v); }
  static MORVEX_INLINE bool AllEqualFirstD(D v) {
    return _mm256_movemask_pd(_mm256_cmp_pd(v, _mm256_permute4x64_pd(v, 0), _CMP_EQ_OQ)) == 0xF;
  }
  static MORVEX_INLINE double LeastD(D v) {
    const __m128d m = _mm_min_pd(_mm256_castpd256_pd128(v), _mm256_extractf128_pd(v, 1));
    return _mm_cvtsd_f64(_mm_min_sd(m, _mm_unpackhi_pd(m, m)));
  }

  // ---- Word shifts across two vectors (filters) ----
  // 32-bit words n .. n + 7 of the sequence lo[0..7], hi[0..7], 0 < n < 8.
  template <int n>
  static MORVEX_INLINE V ConcatWords(V lo, V hi) {
    const V middle = _mm256_permute2x128_si256(lo, hi, 0x21);  // words 4 .. 11
    if constexpr (n == 4) return middle;
    else if constexpr (n < 4) return _mm256_alignr_epi8(middle, lo, 4 * n);
    else return _mm256_alignr_epi8(hi, middle, 4 * (n - 4));
  }

  // ---- Channel narrowing (pixel) ----
  // Lane L holds the row's groups L, 2 + L, 4 + L, 6 + L.
  static MORVEX_INLINE V InOrderAfterPack4(V a) {
    return _mm256_permutevar8x32_epi32(a, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
  }

  // ---- Double-precision lanes ----
  // As in sse2.h: H is either 128-bit half of V, D four doubles.
  using H = __m128i;

  static MORVEX_INLINE H LowHalf(V v) { return _mm256_castsi256_si128(v); }
  static MORVEX_INLINE H HighHalf(V v) { return _mm256_extracti128_si256(v, 1); }
  static MORVEX_INLINE V JoinHalves(H lo, H hi) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
  }
  static MORVEX_INLINE D LoadD(const void* p) {
    return _mm256_loadu_pd(static_cast<const double*>(p));
  }
  static MORVEX_INLINE void StoreD(void* p, D v) {
    _mm256_storeu_pd(static_cast<double*>(p), v);
  }
  static MORVEX_INLINE DMask LtD(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OS); }
  static MORVEX_INLINE DMask GtD(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_GT_OS); }
  static MORVEX_INLINE DMask EqD(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
  static MORVEX_INLINE D SumWhereD(DMask mask, D a, D b, D otherwise) {
    return SelectD(mask, AddD(a, b), otherwise);
  }
  static MORVEX_INLINE D DifferenceWhereD(DMask mask, D a, D b, D otherwise) {
    return SelectD(mask, SubD(a, b), otherwise);
  }
  static MORVEX_INLINE D ToDoubleD(H h) { return _mm256_cvtepi32_pd(h); }
  static MORVEX_INLINE H ConvertCurrentModeD(D v) { return _mm256_cvtpd_epi32(v); }
  struct DDivisor {
    D b;
  };
  static MORVEX_INLINE DDivisor Divisor(D b) { return {b}; }
  static MORVEX_INLINE D DivideD(D n, const DDivisor& d) { return _mm256_div_pd(n, d.b); }

  // ---- Doubles held at single precision (blur recursions) ----
  // As in sse2.h.
  static MORVEX_INLINE D RoundToSingleD(D v) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(v)); }
  static MORVEX_INLINE D RoundToSingleFlushD(D v, float t) {
    const __m128 f = _mm256_cvtpd_ps(v);
    return _mm256_cvtps_pd(_mm_andnot_ps(_mm_cmplt_ps(f, _mm_set1_ps(t)), f));
  }
};

}  // namespace morvex::simd::avx2
