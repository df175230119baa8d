// AVX-512 kernels. Single precision: four pixels per vector (one pixel of
// four rows in the horizontal pass, four adjacent columns of one row in the
// vertical one), with enough vectors in flight to cover the latency of one
// recursion step (a multiplication and three dependent additions). The
// per-lane arithmetic is the one-row definition's, operation for operation.

#include "frame/simd/avx512_intrinsics.h"  // first

#include <algorithm>
#include <cstring>
#include <utility>

#include "blur/gaussian.h"

namespace morvex::blur {
namespace {

inline std::ptrdiff_t At(std::ptrdiff_t index, std::ptrdiff_t step) { return index * step; }
inline const float* F(const Byte* p) { return reinterpret_cast<const float*>(p); }
inline float* F(Byte* p) { return reinterpret_cast<float*>(p); }

// ---- Single precision ----

// Coefficients of four pixels' lanes: four floats (one pixel's channels) per
// 128-bit lane, one coefficient set per lane.
struct Coeff16 {
  __m512 B, b1, b2, b3;
};
inline __m512 PerLane(float a, float b, float c, float d) {
  return _mm512_setr_ps(a, a, a, a, b, b, b, b, c, c, c, c, d, d, d, d);
}
inline Coeff16 Lanes4(const GaussianCoefficients& a, const GaussianCoefficients& b,
                      const GaussianCoefficients& c, const GaussianCoefficients& d) {
  return {PerLane(a.B, b.B, c.B, d.B), PerLane(a.b1, b.b1, c.b1, d.b1),
          PerLane(a.b2, b.b2, c.b2, d.b2), PerLane(a.b3, b.b3, c.b3, d.b3)};
}
// ((B*x + b1*first) + b2*second) + b3*third, each operation rounded to single.
inline __m512 Step(const Coeff16& k, __m512 x, __m512 a, __m512 b, __m512 c) {
  __m512 v = _mm512_add_ps(_mm512_mul_ps(k.B, x), _mm512_mul_ps(k.b1, a));
  v = _mm512_add_ps(v, _mm512_mul_ps(k.b2, b));
  return _mm512_add_ps(v, _mm512_mul_ps(k.b3, c));
}

// One pixel of four rows from 16 bytes (row l's pixel in bytes 4l..4l+3).
inline __m512 PixelsFrom(__m128i bytes) { return _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(bytes)); }
inline __m512 LoadPixelOfRows(const Byte* const* rows, std::ptrdiff_t at) {
  return PixelsFrom(_mm_setr_epi32(static_cast<int>(LoadU32(rows[0] + at)),
                                   static_cast<int>(LoadU32(rows[1] + at)),
                                   static_cast<int>(LoadU32(rows[2] + at)),
                                   static_cast<int>(LoadU32(rows[3] + at))));
}
// Four pixels of four rows (16 bytes of each row in its 128-bit lane).
inline __m512i LoadRun(const Byte* const* rows, std::ptrdiff_t at) {
  __m512i v = _mm512_castsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[0] + at)));
  v = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[1] + at)), 1);
  v = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2] + at)), 2);
  return _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[3] + at)), 3);
}
// Pixel p (0..3) of a run: its four bytes widened to the four floats of
// every lane.
inline __m512 PixelOfRun(__m512i run, __m512i control) {
  return _mm512_cvtepi32_ps(_mm512_shuffle_epi8(run, control));
}
inline __m512i RunControl(int p) {
  const char z = static_cast<char>(0x80);
  const char b = static_cast<char>(4 * p);
  const __m128i lane = _mm_setr_epi8(b, z, z, z, static_cast<char>(b + 1), z, z, z,
                                     static_cast<char>(b + 2), z, z, z, static_cast<char>(b + 3), z,
                                     z, z);
  return _mm512_broadcast_i32x4(lane);
}

// Lanes l of four vectors (pixels i, i+1, i+2, i+3 of four rows) to row l's
// four consecutive pixels.
inline void TransposeLanes(__m512& p0, __m512& p1, __m512& p2, __m512& p3) {
  const __m512 t0 = _mm512_shuffle_f32x4(p0, p1, _MM_SHUFFLE(1, 0, 1, 0));
  const __m512 t1 = _mm512_shuffle_f32x4(p2, p3, _MM_SHUFFLE(1, 0, 1, 0));
  const __m512 t2 = _mm512_shuffle_f32x4(p0, p1, _MM_SHUFFLE(3, 2, 3, 2));
  const __m512 t3 = _mm512_shuffle_f32x4(p2, p3, _MM_SHUFFLE(3, 2, 3, 2));
  p0 = _mm512_shuffle_f32x4(t0, t1, _MM_SHUFFLE(2, 0, 2, 0));
  p1 = _mm512_shuffle_f32x4(t0, t1, _MM_SHUFFLE(3, 1, 3, 1));
  p2 = _mm512_shuffle_f32x4(t2, t3, _MM_SHUFFLE(2, 0, 2, 0));
  p3 = _mm512_shuffle_f32x4(t2, t3, _MM_SHUFFLE(3, 1, 3, 1));
}
inline void StoreLanes(Byte* const* rows, std::ptrdiff_t at, __m512 v) {
  _mm_storeu_ps(F(rows[0] + at), _mm512_castps512_ps128(v));
  _mm_storeu_ps(F(rows[1] + at), _mm512_extractf32x4_ps(v, 1));
  _mm_storeu_ps(F(rows[2] + at), _mm512_extractf32x4_ps(v, 2));
  _mm_storeu_ps(F(rows[3] + at), _mm512_extractf32x4_ps(v, 3));
}

// Rows jobs[4j .. 4j+3] share vector j. The forward values go to `buffer`
// (width slots of V vectors, so each access is one whole vector and the
// buffer stays in the cache); the backward pass writes the intermediate once,
// four pixels of a row at a time, streamed past the cache when every row of
// the group is aligned alike, since nothing reads it again soon.
template <int V>
__attribute__((noinline)) void RowsSingle(const RowJob* jobs, std::int32_t width, Byte* buffer) {
  Coeff16 k[V];
  const Byte* src[V][4];
  Byte* dst[V][4];
  for (int j = 0; j < V; ++j) {
    const RowJob* g = jobs + 4 * j;
    k[j] = Lanes4(g[0].k, g[1].k, g[2].k, g[3].k);
    for (int l = 0; l < 4; ++l) {
      src[j][l] = g[l].source;
      dst[j][l] = g[l].temp;
    }
  }
  const __m512i control[4] = {RunControl(0), RunControl(1), RunControl(2), RunControl(3)};
  constexpr std::ptrdiff_t kSlot = 64 * V;
  __m512 s1[V], s2[V], s3[V];
  for (int j = 0; j < V; ++j) s1[j] = s2[j] = s3[j] = LoadPixelOfRows(src[j], 0);

  auto forward = [&](int j, __m512 x, Byte* slot) {
    const __m512 w = Step(k[j], x, s1[j], s2[j], s3[j]);
    _mm512_storeu_ps(F(slot + 64 * j), w);
    s3[j] = s2[j];
    s2[j] = s1[j];
    s1[j] = w;
  };
  std::ptrdiff_t i = 0;
  // Runs of four pixels while 16 bytes of every row lie inside it.
  for (; i + 4 <= width; i += 4) {
    __m512i run[V];
#pragma GCC unroll 8
    for (int j = 0; j < V; ++j) run[j] = LoadRun(src[j], At(i, 4));
#pragma GCC unroll 4
    for (int p = 0; p < 4; ++p) {
      Byte* slot = buffer + At(i + p, kSlot);
#pragma GCC unroll 8
      for (int j = 0; j < V; ++j) forward(j, PixelOfRun(run[j], control[p]), slot);
    }
  }
  for (; i < width; ++i) {
    Byte* slot = buffer + At(i, kSlot);
#pragma GCC unroll 8
    for (int j = 0; j < V; ++j) forward(j, LoadPixelOfRows(src[j], At(i, 4)), slot);
  }

  // The backward recursion starts from the last forward value.
  for (int j = 0; j < V; ++j) s2[j] = s3[j] = s1[j];
  auto backward = [&](int j, std::ptrdiff_t at) {
    const __m512 y = Step(k[j], _mm512_loadu_ps(F(buffer + At(at, kSlot) + 64 * j)), s1[j], s2[j],
                          s3[j]);
    s3[j] = s2[j];
    s2[j] = s1[j];
    s1[j] = y;
    return y;
  };
  // Pixel blocks [b, b + 4) with every row's block on a 64-byte boundary when
  // all rows share one phase; otherwise any blocks, stored unaligned.
  const auto phaseOf = [](const Byte* p) {
    return static_cast<int>((reinterpret_cast<std::uintptr_t>(p) / 16) % 4);
  };
  bool aligned = true;
  const int phase = phaseOf(dst[0][0]);
  for (int j = 0; j < V; ++j)
    for (int l = 0; l < 4; ++l)
      aligned = aligned && reinterpret_cast<std::uintptr_t>(dst[j][l]) % 16 == 0 &&
                phaseOf(dst[j][l]) == phase;
  // Pixels at the right end beyond the last whole block.
  const std::ptrdiff_t tail = std::min<std::ptrdiff_t>(aligned ? (phase + width) % 4 : width % 4, width);
  std::ptrdiff_t b = width;
  for (; b > width - tail; --b) {
#pragma GCC unroll 8
    for (int j = 0; j < V; ++j) StoreLanes(dst[j], At(b - 1, 16), backward(j, b - 1));
  }
  for (; b >= 4; b -= 4) {
#pragma GCC unroll 8
    for (int j = 0; j < V; ++j) {
      __m512 p3 = backward(j, b - 1);
      __m512 p2 = backward(j, b - 2);
      __m512 p1 = backward(j, b - 3);
      __m512 p0 = backward(j, b - 4);
      TransposeLanes(p0, p1, p2, p3);
      const std::ptrdiff_t at = At(b - 4, 16);
      if (aligned) {
        _mm512_stream_ps(F(dst[j][0] + at), p0);
        _mm512_stream_ps(F(dst[j][1] + at), p1);
        _mm512_stream_ps(F(dst[j][2] + at), p2);
        _mm512_stream_ps(F(dst[j][3] + at), p3);
      } else {
        _mm512_storeu_ps(F(dst[j][0] + at), p0);
        _mm512_storeu_ps(F(dst[j][1] + at), p1);
        _mm512_storeu_ps(F(dst[j][2] + at), p2);
        _mm512_storeu_ps(F(dst[j][3] + at), p3);
      }
    }
  }
  for (; b > 0; --b) {
#pragma GCC unroll 8
    for (int j = 0; j < V; ++j) StoreLanes(dst[j], At(b - 1, 16), backward(j, b - 1));
  }
  _mm_sfence();
}

// Sixteen converted pixels (four vectors of four columns) packed in column
// order: converted in the current rounding mode, saturated to 0..255 through
// 16 and 8 bits, then the 128-bit lanes' pixels put in order.
inline __m512i PackSixteen(__m512 y0, __m512 y1, __m512 y2, __m512 y3) {
  const __m512i order = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
  const __m512i p01 = _mm512_packs_epi32(_mm512_cvtps_epi32(y0), _mm512_cvtps_epi32(y1));
  const __m512i p23 = _mm512_packs_epi32(_mm512_cvtps_epi32(y2), _mm512_cvtps_epi32(y3));
  return _mm512_permutexvar_epi32(order, _mm512_packus_epi16(p01, p23));
}

// A whole strip of kStripImageColumnsAvx512 columns (eight vectors of four
// columns per row). The recursion state lives in the scratch rows: the three
// previous forward values, and in the backward walk the three previous
// results, written over the forward values they came from. Uniform
// coefficients stay in registers.
template <bool kUniform>
__attribute__((noinline)) void ColumnsWhole(const ColumnStrip& s) {
  constexpr int V = kStripImageColumnsAvx512 / 4;
  constexpr std::ptrdiff_t kRow = 64 * V;
  Coeff16 k[V];
  for (int v = 0; v < V; ++v) k[v] = Lanes4(s.k[4 * v], s.k[4 * v + 1], s.k[4 * v + 2], s.k[4 * v + 3]);
  const Coeff16 uniform = k[0];
  auto step = [&](int v, const Byte* x, const Byte* a, const Byte* b, const Byte* c) {
    const std::ptrdiff_t o = 64 * v;
    return Step(kUniform ? uniform : k[v], _mm512_loadu_ps(F(x + o)), _mm512_loadu_ps(F(a + o)),
                _mm512_loadu_ps(F(b + o)), _mm512_loadu_ps(F(c + o)));
  };
  alignas(64) Byte seed[kRow];
  std::memcpy(seed, s.temp, kRow);
  const Byte* p1 = seed;
  const Byte* p2 = seed;
  const Byte* p3 = seed;
  // Rows ahead whose intermediate is fetched while the current one is used:
  // each row of the strip lies on its own page.
  constexpr std::ptrdiff_t kAhead = 32;
  for (std::ptrdiff_t r = 0; r < s.height; ++r) {
    const Byte* x = s.temp + At(r, s.tempPitch);
    if (r + kAhead < s.height) {
      for (std::ptrdiff_t b = 0; b < kRow; b += 64)
        _mm_prefetch(reinterpret_cast<const char*>(x + kAhead * s.tempPitch + b), _MM_HINT_T0);
    }
    Byte* w = s.scratch + At(r, kRow);
#pragma GCC unroll 8
    for (int v = 0; v < V; ++v) _mm512_storeu_ps(F(w + 64 * v), step(v, x, p1, p2, p3));
    p3 = p2;
    p2 = p1;
    p1 = w;
  }
  std::memcpy(seed, p1, kRow);
  p1 = p2 = p3 = seed;
  for (std::ptrdiff_t r = s.height - 1; r >= 0; --r) {
    Byte* w = s.scratch + At(r, kRow);
    Byte* out = s.target + At(r, s.stride);
    const bool stream = reinterpret_cast<std::uintptr_t>(out) % 64 == 0;
#pragma GCC unroll 2
    for (int g = 0; g < V / 4; ++g) {
      __m512 y[4];
#pragma GCC unroll 4
      for (int q = 0; q < 4; ++q) {
        y[q] = step(4 * g + q, w, p1, p2, p3);
        _mm512_storeu_ps(F(w + 64 * (4 * g + q)), y[q]);
      }
      const __m512i bytes = PackSixteen(y[0], y[1], y[2], y[3]);
      if (stream) {
        _mm512_stream_si512(reinterpret_cast<__m512i*>(out + 64 * g), bytes);
      } else {
        _mm512_storeu_si512(out + 64 * g, bytes);
      }
    }
    p3 = p2;
    p2 = p1;
    p1 = w;
  }
}

// A narrower strip: vector v holds columns 4v .. 4v+3 of a row, a short
// last vector is masked. The last three values of each vector stay in
// registers; the scratch holds only the forward values for the backward
// walk.
template <int V>
__attribute__((noinline)) void ColumnsSingle(const ColumnStrip& s) {
  const int n = s.count;
  Coeff16 k[V];
  __mmask16 mask[V];
  for (int v = 0; v < V; ++v) {
    const GaussianCoefficients* c[4];
    for (int l = 0; l < 4; ++l) c[l] = &s.k[std::min(4 * v + l, n - 1)];
    k[v] = Lanes4(*c[0], *c[1], *c[2], *c[3]);
    const int lanes = std::clamp(n - 4 * v, 0, 4);
    mask[v] = static_cast<__mmask16>((1u << (4 * lanes)) - 1u);
  }
  const std::ptrdiff_t rowBytes = At(n, 16);
  auto load = [&](const Byte* row, int v) { return _mm512_maskz_loadu_ps(mask[v], F(row + 64 * v)); };
  auto store = [&](Byte* row, int v, __m512 x) { _mm512_mask_storeu_ps(F(row + 64 * v), mask[v], x); };

  __m512 s1[V], s2[V], s3[V];
#pragma GCC unroll 8
  for (int v = 0; v < V; ++v) s1[v] = s2[v] = s3[v] = load(s.temp, v);
  constexpr std::ptrdiff_t kAhead = 32;
  for (std::ptrdiff_t r = 0; r < s.height; ++r) {
    const Byte* x = s.temp + At(r, s.tempPitch);
    if (r + kAhead < s.height) {
      for (std::ptrdiff_t b = 0; b < rowBytes; b += 64) _mm_prefetch(reinterpret_cast<const char*>(x + kAhead * s.tempPitch + b), _MM_HINT_T0);
    }
    Byte* w = s.scratch + At(r, rowBytes);
#pragma GCC unroll 8
    for (int v = 0; v < V; ++v) {
      const __m512 y = Step(k[v], load(x, v), s1[v], s2[v], s3[v]);
      store(w, v, y);
      s3[v] = s2[v];
      s2[v] = s1[v];
      s1[v] = y;
    }
  }
#pragma GCC unroll 8
  for (int v = 0; v < V; ++v) s2[v] = s3[v] = s1[v];
  // Output of a row: n pixels, packed in column order; the last, short
  // group of sixteen masked.
  const __mmask64 tailBytes = (__mmask64{1} << (4 * (n % 16))) - 1;
  for (std::ptrdiff_t r = s.height - 1; r >= 0; --r) {
    const Byte* w = s.scratch + At(r, rowBytes);
    __m512 y[V];
#pragma GCC unroll 8
    for (int v = 0; v < V; ++v) {
      y[v] = Step(k[v], load(w, v), s1[v], s2[v], s3[v]);
      s3[v] = s2[v];
      s2[v] = s1[v];
      s1[v] = y[v];
    }
    Byte* out = s.target + At(r, s.stride);
#pragma GCC unroll 2
    for (int g = 0; g < (V + 3) / 4; ++g) {
      auto at = [&](int v) { return 4 * g + v < V ? y[4 * g + v] : y[V - 1]; };
      const __m512i bytes = PackSixteen(at(0), at(1), at(2), at(3));
      _mm512_mask_storeu_epi8(out + 64 * g, n - 16 * g >= 16 ? ~__mmask64{0} : tailBytes, bytes);
    }
  }
}

}  // namespace

void BlurImageRowsSingleBufferedAvx512(const RowJob* rows, int count, std::int32_t width,
                                       Byte* buffer) {
  for (int j0 = 0; j0 < count; j0 += 4 * kBufferedRowVectorsAvx512) {
    const int left = std::min(count - j0, 4 * kBufferedRowVectorsAvx512);
    // Spare lanes of the last vector repeat the last row: they load the same
    // pixels and store the same values.
    RowJob group[4 * kBufferedRowVectorsAvx512];
    const int vectors = (left + 3) / 4;
    for (int j = 0; j < 4 * vectors; ++j) group[j] = rows[j0 + std::min(j, left - 1)];
    switch (vectors) {
      case 1:
        RowsSingle<1>(group, width, buffer);
        break;
      case 2:
        RowsSingle<2>(group, width, buffer);
        break;
      case 3:
        RowsSingle<3>(group, width, buffer);
        break;
      default:
        RowsSingle<4>(group, width, buffer);
        break;
    }
  }
}

void BlurImageColumnsSingleAvx512(const ColumnStrip& strip, int) {
  if (strip.count == kStripImageColumnsAvx512) {
    bool uniform = true;
    for (int c = 1; c < strip.count; ++c)
      uniform = uniform && std::memcmp(&strip.k[c], &strip.k[0], sizeof strip.k[0]) == 0;
    if (uniform) {
      ColumnsWhole<true>(strip);
    } else {
      ColumnsWhole<false>(strip);
    }
    _mm_sfence();
    return;
  }
  switch ((strip.count + 3) / 4) {
    case 1:
      ColumnsSingle<1>(strip);
      break;
    case 2:
      ColumnsSingle<2>(strip);
      break;
    case 3:
      ColumnsSingle<3>(strip);
      break;
    case 4:
      ColumnsSingle<4>(strip);
      break;
    case 5:
      ColumnsSingle<5>(strip);
      break;
    case 6:
      ColumnsSingle<6>(strip);
      break;
    case 7:
      ColumnsSingle<7>(strip);
      break;
    default:
      ColumnsSingle<8>(strip);
      break;
  }
}

}  // namespace morvex::blur
