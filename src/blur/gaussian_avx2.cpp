// AVX2 kernels. Single precision: two pixels per vector (two rows in the
// horizontal pass, two adjacent columns in the vertical one), so a vector
// carries twice the independent work of the SSE2 kernels with the same
// per-lane arithmetic. Double precision: four doubles per vector (a float
// pixel's channels, or four mask rows or columns).
#include <immintrin.h>

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

struct Coeff8 {
  __m256 B, b1, b2, b3;
};
inline Coeff8 Broadcast2(const GaussianCoefficients& a, const GaussianCoefficients& b) {
  return {_mm256_setr_m128(_mm_set1_ps(a.B), _mm_set1_ps(b.B)),
          _mm256_setr_m128(_mm_set1_ps(a.b1), _mm_set1_ps(b.b1)),
          _mm256_setr_m128(_mm_set1_ps(a.b2), _mm_set1_ps(b.b2)),
          _mm256_setr_m128(_mm_set1_ps(a.b3), _mm_set1_ps(b.b3))};
}
inline __m256 Step(const Coeff8& k, __m256 x, __m256 a, __m256 b, __m256 c) {
  __m256 v = _mm256_add_ps(_mm256_mul_ps(k.B, x), _mm256_mul_ps(k.b1, a));
  v = _mm256_add_ps(v, _mm256_mul_ps(k.b2, b));
  return _mm256_add_ps(v, _mm256_mul_ps(k.b3, c));
}
inline __m256 LoadPixels(const Byte* a, const Byte* b) {
  const __m128i v = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(LoadU32(a))),
                                       _mm_cvtsi32_si128(static_cast<int>(LoadU32(b))));
  return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(v));
}
inline __m256 Load2(const Byte* a, const Byte* b) {
  return _mm256_setr_m128(_mm_loadu_ps(F(a)), _mm_loadu_ps(F(b)));
}
inline void Store2(Byte* a, Byte* b, __m256 v) {
  _mm_storeu_ps(F(a), _mm256_castps256_ps128(v));
  _mm_storeu_ps(F(b), _mm256_extractf128_ps(v, 1));
}

// Rows jobs[2j] (low half) and jobs[2j+1] (high half) share vector j. The
// latest value of each vector stays in a register, since the next step's
// latency hangs on it; the two before it come from a small ring in memory.
//
// The coefficients are read from memory the stores may alias, so they stay
// memory operands and leave the registers to the recursions.
template <int... J>
__attribute__((noinline)) void RowsSingleWith(std::integer_sequence<int, J...>, const RowJob* jobs,
                                              std::int32_t width, const Coeff8* k) {
  constexpr int V = sizeof...(J);
  // Indexed only by the pack's constants, so each element lives in a register.
  __m256 s1[V];
  __m256 ring[4][V];
  const Byte* src[2 * V];
  Byte* dst[2 * V];
  for (int j = 0; j < 2 * V; ++j) {
    src[j] = jobs[j].source;
    dst[j] = jobs[j].temp;
  }
  ((s1[J] = LoadPixels(src[2 * J], src[2 * J + 1])), ...);
  for (int h = 0; h < 4; ++h) ((ring[h][J] = s1[J]), ...);
  // Step i keeps its value in ring[i & 3]; i - 2 and i - 3 are (i + 2) & 3
  // and (i + 1) & 3.
  for (std::ptrdiff_t i = 0; i < width; ++i) {
    __m256* now = ring[i & 3];
    const __m256* second = ring[(i + 2) & 3];
    const __m256* third = ring[(i + 1) & 3];
    auto forward = [&](auto jc) {
      constexpr int j = decltype(jc)::value;
      const __m256 x = LoadPixels(src[2 * j] + At(i, 4), src[2 * j + 1] + At(i, 4));
      const __m256 w = Step(k[j], x, s1[j], second[j], third[j]);
      Store2(dst[2 * j] + At(i, 16), dst[2 * j + 1] + At(i, 16), w);
      now[j] = w;
      s1[j] = w;
    };
    (forward(std::integral_constant<int, J>{}), ...);
  }
  // The backward recursion starts from the last forward value.
  for (int h = 0; h < 4; ++h) ((ring[h][J] = s1[J]), ...);
  for (std::ptrdiff_t i = width - 1, t = 0; i >= 0; --i, ++t) {
    __m256* now = ring[t & 3];
    const __m256* second = ring[(t + 2) & 3];
    const __m256* third = ring[(t + 1) & 3];
    auto backward = [&](auto jc) {
      constexpr int j = decltype(jc)::value;
      Byte* a = dst[2 * j] + At(i, 16);
      Byte* b = dst[2 * j + 1] + At(i, 16);
      const __m256 y = Step(k[j], Load2(a, b), s1[j], second[j], third[j]);
      Store2(a, b, y);
      now[j] = y;
      s1[j] = y;
    };
    (backward(std::integral_constant<int, J>{}), ...);
  }
}

// The same recursion with the forward values kept in `buffer` (width x V
// vectors, element-major, so every access is one whole vector) instead of in
// the intermediate rows. The intermediate is then written once, by the
// backward pass, with streaming stores where its rows allow: it is not read
// back into the cache before being overwritten.
template <int... J>
__attribute__((noinline)) void RowsSingleBuffered(std::integer_sequence<int, J...>,
                                                  const RowJob* jobs, std::int32_t width,
                                                  const Coeff8* k, Byte* buffer) {
  constexpr int V = sizeof...(J);
  __m256 s1[V];
  __m256 ring[4][V];
  const Byte* src[2 * V];
  Byte* dst[2 * V];
  bool stream = true;
  for (int j = 0; j < 2 * V; ++j) {
    src[j] = jobs[j].source;
    dst[j] = jobs[j].temp;
    stream = stream && reinterpret_cast<std::uintptr_t>(dst[j]) % 16 == 0;
  }
  ((s1[J] = LoadPixels(src[2 * J], src[2 * J + 1])), ...);
  for (int h = 0; h < 4; ++h) ((ring[h][J] = s1[J]), ...);
  for (std::ptrdiff_t i = 0; i < width; ++i) {
    __m256* now = ring[i & 3];
    const __m256* second = ring[(i + 2) & 3];
    const __m256* third = ring[(i + 1) & 3];
    Byte* slot = buffer + At(i, 32 * V);
    auto forward = [&](auto jc) {
      constexpr int j = decltype(jc)::value;
      const __m256 x = LoadPixels(src[2 * j] + At(i, 4), src[2 * j + 1] + At(i, 4));
      const __m256 w = Step(k[j], x, s1[j], second[j], third[j]);
      _mm256_storeu_ps(F(slot + 32 * j), w);
      now[j] = w;
      s1[j] = w;
    };
    (forward(std::integral_constant<int, J>{}), ...);
  }
  for (int h = 0; h < 4; ++h) ((ring[h][J] = s1[J]), ...);
  auto backwardPass = [&](auto streaming) {
    for (std::ptrdiff_t i = width - 1, t = 0; i >= 0; --i, ++t) {
      __m256* now = ring[t & 3];
      const __m256* second = ring[(t + 2) & 3];
      const __m256* third = ring[(t + 1) & 3];
      const Byte* slot = buffer + At(i, 32 * V);
      auto backward = [&](auto jc) {
        constexpr int j = decltype(jc)::value;
        const __m256 y = Step(k[j], _mm256_loadu_ps(F(slot + 32 * j)), s1[j], second[j], third[j]);
        float* a = F(dst[2 * j] + At(i, 16));
        float* b = F(dst[2 * j + 1] + At(i, 16));
        if constexpr (decltype(streaming)::value) {
          _mm_stream_ps(a, _mm256_castps256_ps128(y));
          _mm_stream_ps(b, _mm256_extractf128_ps(y, 1));
        } else {
          _mm_storeu_ps(a, _mm256_castps256_ps128(y));
          _mm_storeu_ps(b, _mm256_extractf128_ps(y, 1));
        }
        now[j] = y;
        s1[j] = y;
      };
      (backward(std::integral_constant<int, J>{}), ...);
    }
  };
  if (stream) {
    backwardPass(std::true_type{});
    _mm_sfence();
  } else {
    backwardPass(std::false_type{});
  }
}

template <int V>
__attribute__((noinline)) void RowsSingle(const RowJob* jobs, std::int32_t width) {
  Coeff8 k[V];
  for (int j = 0; j < V; ++j) k[j] = Broadcast2(jobs[2 * j].k, jobs[2 * j + 1].k);
  RowsSingleWith(std::make_integer_sequence<int, V>{}, jobs, width, k);
}

// A strip's columns in pairs per vector; an odd last column fills both
// halves and only its low half is stored.
struct PairAccess {
  int n;
  __m256 Load(const Byte* row, int v) const {
    const Byte* p = row + v * 32;
    if (2 * v + 1 < n) return _mm256_loadu_ps(F(p));
    return _mm256_broadcast_ps(reinterpret_cast<const __m128*>(p));
  }
  void Store(Byte* row, int v, __m256 x) const {
    Byte* p = row + v * 32;
    if (2 * v + 1 < n) {
      _mm256_storeu_ps(F(p), x);
    } else {
      _mm_storeu_ps(F(p), _mm256_castps256_ps128(x));
    }
  }
};

inline std::uint32_t PackPixel(__m128 a) {
  const __m128i v = _mm_cvtps_epi32(a);
  const __m128i w = _mm_packs_epi32(v, v);
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(w, w)));
}
// Eight pixels (four vectors of column pairs) converted and packed in order.
inline __m256i PackEight(const __m256* y) {
  const __m256i p01 = _mm256_packs_epi32(_mm256_cvtps_epi32(y[0]), _mm256_cvtps_epi32(y[1]));
  const __m256i p23 = _mm256_packs_epi32(_mm256_cvtps_epi32(y[2]), _mm256_cvtps_epi32(y[3]));
  // Lanes now hold columns 0 2 4 6 | 1 3 5 7.
  const __m256i mixed = _mm256_packus_epi16(p01, p23);
  return _mm256_permutevar8x32_epi32(mixed, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

template <bool kFull>
void ColumnsSingle(const ColumnStrip& s) {
  const int n = kFull ? kStripImageColumns : s.count;
  const int pairs = (n + 1) / 2;
  const PairAccess io{n};
  Coeff8 k[kStripImageColumns / 2];
  for (int v = 0; v < pairs; ++v) k[v] = Broadcast2(s.k[2 * v], s.k[std::min(2 * v + 1, n - 1)]);
  alignas(32) float seed[kStripImageColumns * 4];
  WalkStrip(
      s, At(n, 16), reinterpret_cast<Byte*>(seed),
      [&](const Byte* x, const Byte* w1, const Byte* w2, const Byte* w3, Byte* w) {
        for (int v = 0; v < pairs; ++v)
          io.Store(w, v, Step(k[v], io.Load(x, v), io.Load(w1, v), io.Load(w2, v), io.Load(w3, v)));
      },
      [&](Byte* w, const Byte* y1, const Byte* y2, const Byte* y3, Byte* out) {
        __m256 y[kStripImageColumns / 2];
        for (int v = 0; v < pairs; ++v) {
          y[v] = Step(k[v], io.Load(w, v), io.Load(y1, v), io.Load(y2, v), io.Load(y3, v));
          io.Store(w, v, y[v]);
        }
        if constexpr (kFull) {
          // Whole cache lines of the image: streamed when aligned, since the
          // pass never reads them.
          if (reinterpret_cast<std::uintptr_t>(out) % 32 == 0) {
            for (int g = 0; g < kStripImageColumns / 8; ++g)
              _mm256_stream_si256(reinterpret_cast<__m256i*>(out + 32 * g), PackEight(y + 4 * g));
          } else {
            for (int g = 0; g < kStripImageColumns / 8; ++g)
              _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32 * g), PackEight(y + 4 * g));
          }
        } else {
          for (int c = 0; c < n; ++c) {
            const __m256 pair = y[c / 2];
            StoreU32(out + c * 4, PackPixel(c % 2 == 0 ? _mm256_castps256_ps128(pair)
                                                       : _mm256_extractf128_ps(pair, 1)));
          }
        }
      });
}

// ---- Double precision ----

struct CoeffD {
  __m256d B, b1, b2, b3;
};
inline CoeffD BroadcastD(const GaussianCoefficients& k) {
  return {_mm256_set1_pd(k.B), _mm256_set1_pd(k.b1), _mm256_set1_pd(k.b2), _mm256_set1_pd(k.b3)};
}
inline CoeffD Lanes(const GaussianCoefficients* k[4]) {
  return {_mm256_setr_pd(k[0]->B, k[1]->B, k[2]->B, k[3]->B),
          _mm256_setr_pd(k[0]->b1, k[1]->b1, k[2]->b1, k[3]->b1),
          _mm256_setr_pd(k[0]->b2, k[1]->b2, k[2]->b2, k[3]->b2),
          _mm256_setr_pd(k[0]->b3, k[1]->b3, k[2]->b3, k[3]->b3)};
}
// One step in double, rounded to single by the same conversion as the
// scalar store.
inline __m128 StepD(const CoeffD& k, __m256d x, __m256d a, __m256d b, __m256d c) {
  __m256d v = _mm256_add_pd(_mm256_mul_pd(k.B, x), _mm256_mul_pd(k.b1, a));
  v = _mm256_add_pd(v, _mm256_mul_pd(k.b2, b));
  return _mm256_cvtpd_ps(_mm256_add_pd(v, _mm256_mul_pd(k.b3, c)));
}
inline __m128 Flush(__m128 v) {
  return _mm_andnot_ps(_mm_cmplt_ps(v, _mm_set1_ps(kFlushBelow)), v);
}
inline __m256d Widen(__m128 v) { return _mm256_cvtps_pd(v); }
inline __m256d LoadWide(const Byte* p) { return Widen(_mm_loadu_ps(F(p))); }

// Float-image rows (format 16), one pixel per vector, V rows together.
template <int V>
void RowsDouble(const RowJob* jobs, std::int32_t width) {
  CoeffD k[V];
  __m256d s1[V], s2[V], s3[V];
  for (int j = 0; j < V; ++j) {
    k[j] = BroadcastD(jobs[j].k);
    s1[j] = s2[j] = s3[j] = LoadWide(jobs[j].source);
  }
  for (std::ptrdiff_t i = 0; i < width; ++i) {
    for (int j = 0; j < V; ++j) {
      const __m128 w =
          Flush(StepD(k[j], LoadWide(jobs[j].source + At(i, 16)), s1[j], s2[j], s3[j]));
      _mm_storeu_ps(F(jobs[j].temp + At(i, 16)), w);
      s3[j] = s2[j];
      s2[j] = s1[j];
      s1[j] = Widen(w);
    }
  }
  for (int j = 0; j < V; ++j) s2[j] = s3[j] = s1[j];
  for (std::ptrdiff_t i = width - 1; i >= 0; --i) {
    for (int j = 0; j < V; ++j) {
      Byte* p = jobs[j].temp + At(i, 16);
      const __m128 y = Flush(StepD(k[j], LoadWide(p), s1[j], s2[j], s3[j]));
      _mm_storeu_ps(F(p), y);
      s3[j] = s2[j];
      s2[j] = s1[j];
      s1[j] = Widen(y);
    }
  }
}

void ColumnsDouble(const ColumnStrip& s) {
  const int n = s.count;
  CoeffD k[kStripImageColumns];
  for (int c = 0; c < n; ++c) k[c] = BroadcastD(s.k[c]);
  alignas(32) float seed[kStripImageColumns * 4];
  WalkStrip(
      s, At(n, 16), reinterpret_cast<Byte*>(seed),
      [&](const Byte* x, const Byte* w1, const Byte* w2, const Byte* w3, Byte* w) {
        for (int c = 0; c < n; ++c) {
          const std::ptrdiff_t o = c * 16;
          const __m128 v = Flush(
              StepD(k[c], LoadWide(x + o), LoadWide(w1 + o), LoadWide(w2 + o), LoadWide(w3 + o)));
          _mm_storeu_ps(F(w + o), v);
        }
      },
      [&](Byte* w, const Byte* y1, const Byte* y2, const Byte* y3, Byte* out) {
        for (int c = 0; c < n; ++c) {
          const std::ptrdiff_t o = c * 16;
          const __m128 y =
              StepD(k[c], LoadWide(w + o), LoadWide(y1 + o), LoadWide(y2 + o), LoadWide(y3 + o));
          _mm_storeu_ps(F(w + o), y);
          _mm_storeu_ps(F(out + o), y);
        }
      });
}

// ---- Masks: four rows or four columns per vector ----

// Lane l of a vector of singles to element `at` of row l's intermediate.
inline void StoreLanes(const RowJob* g, std::ptrdiff_t at, __m128 v) {
  alignas(16) float lanes[4];
  _mm_store_ps(lanes, v);
  for (int l = 0; l < 4; ++l) StoreF32(g[l].temp + at, lanes[l]);
}

// Four consecutive mask elements of a row as 32-bit integers. With element
// step 4 the 16-byte load reaches 3 bytes past the fourth element, so the
// caller uses it only where the row goes on beyond that.
inline __m128i FourElements(const Byte* p, int format, bool wideLoadSafe) {
  if (format == 1) return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(static_cast<int>(LoadU32(p))));
  if (wideLoadSafe)
    return _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                         _mm_set1_epi32(0xFF));
  return _mm_setr_epi32(p[0], p[4], p[8], p[12]);
}

// 4x4 transpose: rows of four elements <-> elements of four rows.
inline void Transpose(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
  const __m128i t0 = _mm_unpacklo_epi32(a, b), t1 = _mm_unpacklo_epi32(c, d);
  const __m128i t2 = _mm_unpackhi_epi32(a, b), t3 = _mm_unpackhi_epi32(c, d);
  a = _mm_unpacklo_epi64(t0, t1);
  b = _mm_unpackhi_epi64(t0, t1);
  c = _mm_unpacklo_epi64(t2, t3);
  d = _mm_unpackhi_epi64(t2, t3);
}
inline void Transpose(__m128& a, __m128& b, __m128& c, __m128& d) { _MM_TRANSPOSE4_PS(a, b, c, d); }

// The recursion state of four mask rows, one double lane each.
struct MaskLanes {
  CoeffD k;
  __m256d s1, s2, s3;

  void Start(const RowJob* g) {
    const GaussianCoefficients* ks[4] = {&g[0].k, &g[1].k, &g[2].k, &g[3].k};
    k = Lanes(ks);
    s1 = s2 = s3 = _mm256_cvtepi32_pd(
        _mm_setr_epi32(g[0].source[0], g[1].source[0], g[2].source[0], g[3].source[0]));
  }
  void Turn() { s2 = s3 = s1; }  // the backward recursion starts from the last value
  // One step with the flush; returns the stored singles.
  __m128 One(__m256d x) {
    const __m128 w = Flush(StepD(k, x, s1, s2, s3));
    s3 = s2;
    s2 = s1;
    s1 = Widen(w);
    return w;
  }
  // Four steps in the order of `x`.
  void Four(const __m256d* x, __m128* out) {
    for (int e = 0; e < 4; ++e) out[e] = One(x[e]);
  }
};

// A run of four mask elements from four rows, as one vector of doubles per
// element.
inline void LoadRun(const RowJob* g, std::ptrdiff_t i, int format, bool wideLoadSafe, __m256d* x) {
  __m128i e0 = FourElements(g[0].source + At(i, format), format, wideLoadSafe);
  __m128i e1 = FourElements(g[1].source + At(i, format), format, wideLoadSafe);
  __m128i e2 = FourElements(g[2].source + At(i, format), format, wideLoadSafe);
  __m128i e3 = FourElements(g[3].source + At(i, format), format, wideLoadSafe);
  Transpose(e0, e1, e2, e3);
  x[0] = _mm256_cvtepi32_pd(e0);
  x[1] = _mm256_cvtepi32_pd(e1);
  x[2] = _mm256_cvtepi32_pd(e2);
  x[3] = _mm256_cvtepi32_pd(e3);
}
// Element i of four rows, one at a time (the ends of a row).
inline __m256d LoadElement(const RowJob* g, std::ptrdiff_t at) {
  return _mm256_cvtepi32_pd(
      _mm_setr_epi32(g[0].source[at], g[1].source[at], g[2].source[at], g[3].source[at]));
}
// Four elements (one vector per element) to or from four intermediate rows.
inline void StoreRun(const RowJob* g, std::ptrdiff_t i, __m128 r0, __m128 r1, __m128 r2,
                     __m128 r3) {
  Transpose(r0, r1, r2, r3);
  _mm_storeu_ps(F(g[0].temp + At(i, 4)), r0);
  _mm_storeu_ps(F(g[1].temp + At(i, 4)), r1);
  _mm_storeu_ps(F(g[2].temp + At(i, 4)), r2);
  _mm_storeu_ps(F(g[3].temp + At(i, 4)), r3);
}

// Rows jobs[4j .. 4j+3] share vector j (one double lane per row). Runs of
// four elements are moved in and out with 4x4 transposes, so each row is
// read and written in whole vectors; the elements past the last whole run go
// one at a time.
template <int V>
void MaskRows(const RowJob* jobs, std::int32_t width, int format) {
  MaskLanes lanes[V];
  for (int j = 0; j < V; ++j) lanes[j].Start(jobs + 4 * j);
  const std::ptrdiff_t runs = width / 4;
  for (std::ptrdiff_t q = 0; q < runs; ++q) {
    const std::ptrdiff_t i = 4 * q;
    for (int j = 0; j < V; ++j) {
      __m256d x[4];
      __m128 w[4];
      LoadRun(jobs + 4 * j, i, format, i + 4 < width, x);
      lanes[j].Four(x, w);
      StoreRun(jobs + 4 * j, i, w[0], w[1], w[2], w[3]);
    }
  }
  for (std::ptrdiff_t i = 4 * runs; i < width; ++i)
    for (int j = 0; j < V; ++j)
      StoreLanes(jobs + 4 * j, At(i, 4), lanes[j].One(LoadElement(jobs + 4 * j, At(i, format))));
  for (int j = 0; j < V; ++j) lanes[j].Turn();
  for (std::ptrdiff_t i = width - 1; i >= 4 * runs; --i) {
    for (int j = 0; j < V; ++j) {
      const RowJob* g = jobs + 4 * j;
      const __m128 w = _mm_setr_ps(LoadF32(g[0].temp + At(i, 4)), LoadF32(g[1].temp + At(i, 4)),
                                   LoadF32(g[2].temp + At(i, 4)), LoadF32(g[3].temp + At(i, 4)));
      StoreLanes(g, At(i, 4), lanes[j].One(Widen(w)));
    }
  }
  for (std::ptrdiff_t q = runs - 1; q >= 0; --q) {
    const std::ptrdiff_t i = 4 * q;
    for (int j = 0; j < V; ++j) {
      const RowJob* g = jobs + 4 * j;
      __m128 w0 = _mm_loadu_ps(F(g[0].temp + At(i, 4)));
      __m128 w1 = _mm_loadu_ps(F(g[1].temp + At(i, 4)));
      __m128 w2 = _mm_loadu_ps(F(g[2].temp + At(i, 4)));
      __m128 w3 = _mm_loadu_ps(F(g[3].temp + At(i, 4)));
      Transpose(w0, w1, w2, w3);
      const __m256d x[4] = {Widen(w3), Widen(w2), Widen(w1), Widen(w0)};
      __m128 y[4];
      lanes[j].Four(x, y);
      StoreRun(g, i, y[3], y[2], y[1], y[0]);
    }
  }
}

// Mask rows staged in `buffer`, element-major (slot i holds element i of all
// 4V rows, vector j's four rows together), so the recursions run on whole
// contiguous vectors and only the reads of the mask rows and the final
// write-out touch the rows themselves: more rows can be in flight than when
// every step stores into each row.
template <int V>
void MaskRowsStaged(const RowJob* jobs, std::int32_t width, int format, Byte* buffer) {
  constexpr std::ptrdiff_t kSlot = 16 * V;
  MaskLanes lanes[V];
  for (int j = 0; j < V; ++j) lanes[j].Start(jobs + 4 * j);
  auto slot = [&](std::ptrdiff_t i, int j) { return F(buffer + At(i, kSlot) + 16 * j); };
  const std::ptrdiff_t runs = width / 4;
  for (std::ptrdiff_t q = 0; q < runs; ++q) {
    const std::ptrdiff_t i = 4 * q;
    for (int j = 0; j < V; ++j) {
      __m256d x[4];
      __m128 w[4];
      LoadRun(jobs + 4 * j, i, format, i + 4 < width, x);
      lanes[j].Four(x, w);
      for (int e = 0; e < 4; ++e) _mm_storeu_ps(slot(i + e, j), w[e]);
    }
  }
  for (std::ptrdiff_t i = 4 * runs; i < width; ++i)
    for (int j = 0; j < V; ++j)
      _mm_storeu_ps(slot(i, j), lanes[j].One(LoadElement(jobs + 4 * j, At(i, format))));
  for (int j = 0; j < V; ++j) lanes[j].Turn();
  for (std::ptrdiff_t i = width - 1; i >= 0; --i) {
    for (int j = 0; j < V; ++j) {
      float* p = slot(i, j);
      _mm_storeu_ps(p, lanes[j].One(Widen(_mm_loadu_ps(p))));
    }
  }
  for (int j = 0; j < V; ++j) {
    const RowJob* g = jobs + 4 * j;
    for (std::ptrdiff_t q = 0; q < runs; ++q) {
      const std::ptrdiff_t i = 4 * q;
      StoreRun(g, i, _mm_loadu_ps(slot(i, j)), _mm_loadu_ps(slot(i + 1, j)),
               _mm_loadu_ps(slot(i + 2, j)), _mm_loadu_ps(slot(i + 3, j)));
    }
    for (std::ptrdiff_t i = 4 * runs; i < width; ++i)
      StoreLanes(g, At(i, 4), _mm_loadu_ps(slot(i, j)));
  }
}

// A strip's mask columns four per vector; a short last vector repeats its
// last column in the spare lanes, which are never stored.
struct QuadAccess {
  int n;
  __m128 Load(const Byte* row, int v) const {
    const int c = 4 * v;
    if (c + 4 <= n) return _mm_loadu_ps(F(row + c * 4));
    float lanes[4];
    for (int l = 0; l < 4; ++l) lanes[l] = LoadF32(row + std::min(c + l, n - 1) * 4);
    return _mm_loadu_ps(lanes);
  }
  void Store(Byte* row, int v, __m128 x) const {
    const int c = 4 * v;
    if (c + 4 <= n) {
      _mm_storeu_ps(F(row + c * 4), x);
      return;
    }
    float lanes[4];
    _mm_storeu_ps(lanes, x);
    for (int l = 0; c + l < n; ++l) StoreF32(row + (c + l) * 4, lanes[l]);
  }
};

void MaskColumns(const ColumnStrip& s, int format, float scale, float offset) {
  const int n = s.count;
  const int quads = (n + 3) / 4;
  const QuadAccess io{n};
  CoeffD k[kStripMaskColumns / 4];
  for (int v = 0; v < quads; ++v) {
    const GaussianCoefficients* ks[4];
    for (int l = 0; l < 4; ++l) ks[l] = &s.k[std::min(4 * v + l, n - 1)];
    k[v] = Lanes(ks);
  }
  alignas(32) float seed[kStripMaskColumns];
  const __m256d scaleD = _mm256_set1_pd(scale);
  const __m256d offsetD = _mm256_set1_pd(offset);
  WalkStrip(
      s, At(n, 4), reinterpret_cast<Byte*>(seed),
      [&](const Byte* x, const Byte* w1, const Byte* w2, const Byte* w3, Byte* w) {
        for (int v = 0; v < quads; ++v) {
          io.Store(w, v,
                   Flush(StepD(k[v], Widen(io.Load(x, v)), Widen(io.Load(w1, v)),
                               Widen(io.Load(w2, v)), Widen(io.Load(w3, v)))));
        }
      },
      [&](Byte* w, const Byte* y1, const Byte* y2, const Byte* y3, Byte* out) {
        for (int v = 0; v < quads; ++v) {
          const __m128 y = StepD(k[v], Widen(io.Load(w, v)), Widen(io.Load(y1, v)),
                                 Widen(io.Load(y2, v)), Widen(io.Load(y3, v)));
          io.Store(w, v, y);
          const __m128 mapped =
              _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(Widen(y), scaleD), offsetD));
          const __m128i i32 = _mm_cvtps_epi32(mapped);
          const __m128i i16 = _mm_packs_epi32(i32, i32);
          const auto bytes =
              static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(i16, i16)));
          const int c = 4 * v;
          if (format == 1 && c + 4 <= n) {
            StoreU32(out + c, bytes);
          } else {
            for (int l = 0; l < 4 && c + l < n; ++l)
              out[At(c + l, format)] = static_cast<Byte>(bytes >> (8 * l));
          }
        }
      });
}

}  // namespace

void BlurImageRowsSingleAvx2(const RowJob* rows, int count, std::int32_t width, int) {
  InGroups<2, 4>(
      rows, count, [width](const RowJob* g) { RowsSingle<4>(g, width); },
      [width](const RowJob* g) { RowsSingle<1>(g, width); });
}

void BlurImageRowsSingleBufferedAvx2(const RowJob* rows, int count, std::int32_t width,
                                     Byte* buffer) {
  InGroups<2, kBufferedRowVectors>(
      rows, count,
      [width, buffer](const RowJob* g) {
        Coeff8 k[kBufferedRowVectors];
        for (int j = 0; j < kBufferedRowVectors; ++j) k[j] = Broadcast2(g[2 * j].k, g[2 * j + 1].k);
        RowsSingleBuffered(std::make_integer_sequence<int, kBufferedRowVectors>{}, g, width, k,
                           buffer);
      },
      [width](const RowJob* g) { RowsSingle<1>(g, width); });
}

void BlurImageColumnsSingleAvx2(const ColumnStrip& strip, int) {
  if (strip.count == kStripImageColumns) {
    ColumnsSingle<true>(strip);
    _mm_sfence();
  } else {
    ColumnsSingle<false>(strip);
  }
}

void BlurImageRowsDoubleAvx2(const RowJob* rows, int count, std::int32_t width, int) {
  InGroups<1, 4>(
      rows, count, [width](const RowJob* g) { RowsDouble<4>(g, width); },
      [width](const RowJob* g) { RowsDouble<1>(g, width); });
}

void BlurImageColumnsDoubleAvx2(const ColumnStrip& strip, int) { ColumnsDouble(strip); }

void BlurMaskRowsAvx2(const RowJob* rows, int count, std::int32_t width, int format) {
  InGroups<4, 2>(
      rows, count, [width, format](const RowJob* g) { MaskRows<2>(g, width, format); },
      [width, format](const RowJob* g) { MaskRows<1>(g, width, format); });
}

void BlurMaskRowsStagedAvx2(const RowJob* rows, int count, std::int32_t width, int format,
                            Byte* buffer) {
  InGroups<4, kStagedMaskRowVectors>(
      rows, count,
      [width, format, buffer](const RowJob* g) {
        MaskRowsStaged<kStagedMaskRowVectors>(g, width, format, buffer);
      },
      [width, format](const RowJob* g) { MaskRows<1>(g, width, format); });
}

void BlurMaskColumnsAvx2(const ColumnStrip& strip, int format, float scale, float offset) {
  MaskColumns(strip, format, scale, offset);
}

}  // namespace morvex::blur
