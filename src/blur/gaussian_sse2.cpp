// SSE2 kernels. Single precision: one pixel's four channels per vector, four
// rows (or up to sixteen columns) in flight so the latency of one recursion
// is hidden behind the others. Double precision: two doubles per vector,
// rounded to single with the same conversion as the scalar store, the flush
// compared in single precision.
#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "blur/gaussian.h"

namespace morvex::blur {
namespace {

inline std::ptrdiff_t At(std::ptrdiff_t index, std::ptrdiff_t step) { return index * step; }

// ---- Single precision ----

struct Coeff4 {
  __m128 B, b1, b2, b3;
};
inline Coeff4 Broadcast(const GaussianCoefficients& k) {
  return {_mm_set1_ps(k.B), _mm_set1_ps(k.b1), _mm_set1_ps(k.b2), _mm_set1_ps(k.b3)};
}
inline __m128 Step(const Coeff4& k, __m128 x, __m128 a, __m128 b, __m128 c) {
  __m128 v = _mm_add_ps(_mm_mul_ps(k.B, x), _mm_mul_ps(k.b1, a));
  v = _mm_add_ps(v, _mm_mul_ps(k.b2, b));
  return _mm_add_ps(v, _mm_mul_ps(k.b3, c));
}
inline __m128 LoadPixel(const Byte* p) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i bytes = _mm_cvtsi32_si128(static_cast<int>(LoadU32(p)));
  return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero));
}
// Four converted pixels packed with saturation to 16 bytes.
inline __m128i PackPixels(__m128 a, __m128 b, __m128 c, __m128 d) {
  const __m128i ab = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
  const __m128i cd = _mm_packs_epi32(_mm_cvtps_epi32(c), _mm_cvtps_epi32(d));
  return _mm_packus_epi16(ab, cd);
}
inline std::uint32_t PackPixel(__m128 a) {
  const __m128i v = _mm_cvtps_epi32(a);
  const __m128i w = _mm_packs_epi32(v, v);
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(w, w)));
}

// Rows jobs[J...] together, one per vector. The latest value of each row
// stays in a register (the next step's latency hangs on it); the two before
// it come from a small ring in memory, and the coefficients are read from
// memory the stores may alias, so they stay memory operands.
template <int... J>
__attribute__((noinline)) void RowsSingleWith(std::integer_sequence<int, J...>, const RowJob* jobs,
                                              std::int32_t width, const Coeff4* k) {
  constexpr int R = sizeof...(J);
  __m128 s1[R];  // indexed only by the pack's constants: kept in registers
  __m128 ring[4][R];
  const Byte* src[R];
  Byte* dst[R];
  for (int j = 0; j < R; ++j) {
    src[j] = jobs[j].source;
    dst[j] = jobs[j].temp;
  }
  ((s1[J] = LoadPixel(src[J])), ...);
  for (int h = 0; h < 4; ++h) ((ring[h][J] = s1[J]), ...);
  // Step t keeps its value in ring[t & 3]; t - 2 and t - 3 are (t + 2) & 3
  // and (t + 1) & 3.
  for (std::ptrdiff_t i = 0; i < width; ++i) {
    __m128* now = ring[i & 3];
    const __m128* second = ring[(i + 2) & 3];
    const __m128* third = ring[(i + 1) & 3];
    auto forward = [&](auto jc) {
      constexpr int j = decltype(jc)::value;
      const __m128 w = Step(k[j], LoadPixel(src[j] + At(i, 4)), s1[j], second[j], third[j]);
      _mm_storeu_ps(reinterpret_cast<float*>(dst[j] + At(i, 16)), w);
      now[j] = w;
      s1[j] = w;
    };
    (forward(std::integral_constant<int, J>{}), ...);
  }
  // The backward recursion starts from the last forward value.
  for (int h = 0; h < 4; ++h) ((ring[h][J] = s1[J]), ...);
  for (std::ptrdiff_t i = width - 1, t = 0; i >= 0; --i, ++t) {
    __m128* now = ring[t & 3];
    const __m128* second = ring[(t + 2) & 3];
    const __m128* third = ring[(t + 1) & 3];
    auto backward = [&](auto jc) {
      constexpr int j = decltype(jc)::value;
      float* p = reinterpret_cast<float*>(dst[j] + At(i, 16));
      const __m128 y = Step(k[j], _mm_loadu_ps(p), s1[j], second[j], third[j]);
      _mm_storeu_ps(p, y);
      now[j] = y;
      s1[j] = y;
    };
    (backward(std::integral_constant<int, J>{}), ...);
  }
}

template <int R>
__attribute__((noinline)) void RowsSingle(const RowJob* jobs, std::int32_t width) {
  Coeff4 k[R];
  for (int j = 0; j < R; ++j) k[j] = Broadcast(jobs[j].k);
  RowsSingleWith(std::make_integer_sequence<int, R>{}, jobs, width, k);
}

// Columns of one strip. Each scratch row holds the strip's columns; the
// three previous rows are addressed through p1..p3, which start at a seed row
// holding the steady-state value.
template <bool kFull>
void ColumnsSingle(const ColumnStrip& s) {
  const int n = kFull ? kStripImageColumns : s.count;
  Coeff4 k[kStripImageColumns];
  for (int c = 0; c < n; ++c) k[c] = Broadcast(s.k[c]);
  alignas(16) float seed[kStripImageColumns * 4];
  auto load = [](const Byte* p) { return _mm_loadu_ps(reinterpret_cast<const float*>(p)); };
  WalkStrip(
      s, At(n, 16), reinterpret_cast<Byte*>(seed),
      [&](const Byte* x, const Byte* w1, const Byte* w2, const Byte* w3, Byte* w) {
        for (int c = 0; c < n; ++c) {
          const std::ptrdiff_t o = c * 16;
          _mm_storeu_ps(reinterpret_cast<float*>(w + o),
                        Step(k[c], load(x + o), load(w1 + o), load(w2 + o), load(w3 + o)));
        }
      },
      [&](Byte* w, const Byte* y1, const Byte* y2, const Byte* y3, Byte* out) {
        __m128 y[kStripImageColumns];
        for (int c = 0; c < n; ++c) {
          const std::ptrdiff_t o = c * 16;
          y[c] = Step(k[c], load(w + o), load(y1 + o), load(y2 + o), load(y3 + o));
          _mm_storeu_ps(reinterpret_cast<float*>(w + o), y[c]);
        }
        int c = 0;
        for (; c + 4 <= n; c += 4) {
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c * 4),
                           PackPixels(y[c], y[c + 1], y[c + 2], y[c + 3]));
        }
        if constexpr (!kFull) {  // a full strip is whole groups of four
          for (; c < n; ++c) StoreU32(out + c * 4, PackPixel(y[c]));
        }
      });
}

// ---- Double precision ----

struct CoeffD {
  __m128d B, b1, b2, b3;
};
inline CoeffD BroadcastD(const GaussianCoefficients& k) {
  return {_mm_set1_pd(k.B), _mm_set1_pd(k.b1), _mm_set1_pd(k.b2), _mm_set1_pd(k.b3)};
}
// Two lanes of one step in double; the caller rounds to single.
inline __m128d StepD(const CoeffD& k, __m128d x, __m128d a, __m128d b, __m128d c) {
  __m128d v = _mm_add_pd(_mm_mul_pd(k.B, x), _mm_mul_pd(k.b1, a));
  v = _mm_add_pd(v, _mm_mul_pd(k.b2, b));
  return _mm_add_pd(v, _mm_mul_pd(k.b3, c));
}
inline __m128 Flush(__m128 v) {
  return _mm_andnot_ps(_mm_cmplt_ps(v, _mm_set1_ps(kFlushBelow)), v);
}
// Four doubles (two vectors) rounded to four singles.
inline __m128 ToSingles(__m128d lo, __m128d hi) {
  return _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi));
}
inline __m128d LowDoubles(__m128 v) { return _mm_cvtps_pd(v); }
inline __m128d HighDoubles(__m128 v) { return _mm_cvtps_pd(_mm_movehl_ps(v, v)); }

// A pixel of four channels as two double vectors.
struct PixelD {
  __m128d lo, hi;
};
inline PixelD Widen(__m128 v) { return {LowDoubles(v), HighDoubles(v)}; }
inline __m128 StepPixel(const CoeffD& k, __m128 x, const PixelD& a, const PixelD& b,
                        const PixelD& c) {
  const PixelD xd = Widen(x);
  return ToSingles(StepD(k, xd.lo, a.lo, b.lo, c.lo), StepD(k, xd.hi, a.hi, b.hi, c.hi));
}

// Float-image rows (format 16), flush in both directions.
template <int R>
void RowsDouble(const RowJob* jobs, std::int32_t width) {
  CoeffD k[R];
  PixelD s1[R], s2[R], s3[R];
  for (int j = 0; j < R; ++j) {
    k[j] = BroadcastD(jobs[j].k);
    s1[j] = s2[j] = s3[j] = Widen(_mm_loadu_ps(reinterpret_cast<const float*>(jobs[j].source)));
  }
  for (std::ptrdiff_t i = 0; i < width; ++i) {
    for (int j = 0; j < R; ++j) {
      const __m128 x = _mm_loadu_ps(reinterpret_cast<const float*>(jobs[j].source + At(i, 16)));
      const __m128 w = Flush(StepPixel(k[j], x, s1[j], s2[j], s3[j]));
      _mm_storeu_ps(reinterpret_cast<float*>(jobs[j].temp + At(i, 16)), w);
      s3[j] = s2[j];
      s2[j] = s1[j];
      s1[j] = Widen(w);
    }
  }
  for (int j = 0; j < R; ++j) s2[j] = s3[j] = s1[j];
  for (std::ptrdiff_t i = width - 1; i >= 0; --i) {
    for (int j = 0; j < R; ++j) {
      float* p = reinterpret_cast<float*>(jobs[j].temp + At(i, 16));
      const __m128 y = Flush(StepPixel(k[j], _mm_loadu_ps(p), s1[j], s2[j], s3[j]));
      _mm_storeu_ps(p, y);
      s3[j] = s2[j];
      s2[j] = s1[j];
      s1[j] = Widen(y);
    }
  }
}

// Float-image columns (format 16): flush forward, plain backward, floats out.
void ColumnsDouble(const ColumnStrip& s) {
  const int n = s.count;
  CoeffD k[kStripImageColumns];
  for (int c = 0; c < n; ++c) k[c] = BroadcastD(s.k[c]);
  alignas(16) float seed[kStripImageColumns * 4];
  auto load = [](const Byte* p) { return _mm_loadu_ps(reinterpret_cast<const float*>(p)); };
  WalkStrip(
      s, At(n, 16), reinterpret_cast<Byte*>(seed),
      [&](const Byte* x, const Byte* w1, const Byte* w2, const Byte* w3, Byte* w) {
        for (int c = 0; c < n; ++c) {
          const std::ptrdiff_t o = c * 16;
          const __m128 v = Flush(StepPixel(k[c], load(x + o), Widen(load(w1 + o)),
                                           Widen(load(w2 + o)), Widen(load(w3 + o))));
          _mm_storeu_ps(reinterpret_cast<float*>(w + o), v);
        }
      },
      [&](Byte* w, const Byte* y1, const Byte* y2, const Byte* y3, Byte* out) {
        for (int c = 0; c < n; ++c) {
          const std::ptrdiff_t o = c * 16;
          const __m128 y = StepPixel(k[c], load(w + o), Widen(load(y1 + o)), Widen(load(y2 + o)),
                                     Widen(load(y3 + o)));
          _mm_storeu_ps(reinterpret_cast<float*>(w + o), y);
          _mm_storeu_ps(reinterpret_cast<float*>(out + o), y);
        }
      });
}

// ---- Masks: two rows or two columns per double vector ----

inline __m128d MaskPair(const Byte* a, const Byte* b) {
  return _mm_cvtepi32_pd(_mm_setr_epi32(a[0], b[0], 0, 0));
}
inline __m128d FloatPair(const Byte* a, const Byte* b) {
  return _mm_cvtps_pd(_mm_setr_ps(LoadF32(a), LoadF32(b), 0.0f, 0.0f));
}
// Rounds a step's two doubles to single, flushes, and returns the singles.
inline __m128 RoundFlush(__m128d v) { return Flush(_mm_cvtpd_ps(v)); }
inline void StorePair(Byte* a, Byte* b, __m128 v) {
  StoreF32(a, _mm_cvtss_f32(v));
  StoreF32(b, _mm_cvtss_f32(_mm_shuffle_ps(v, v, 1)));
}

// Rows jobs[2j], jobs[2j+1] share vector j.
template <int V>
void MaskRows(const RowJob* jobs, std::int32_t width, int format) {
  CoeffD k[V];
  __m128d s1[V], s2[V], s3[V];
  for (int j = 0; j < V; ++j) {
    const GaussianCoefficients& ka = jobs[2 * j].k;
    const GaussianCoefficients& kb = jobs[2 * j + 1].k;
    k[j] = {_mm_setr_pd(ka.B, kb.B), _mm_setr_pd(ka.b1, kb.b1), _mm_setr_pd(ka.b2, kb.b2),
            _mm_setr_pd(ka.b3, kb.b3)};
    s1[j] = s2[j] = s3[j] = MaskPair(jobs[2 * j].source, jobs[2 * j + 1].source);
  }
  for (std::ptrdiff_t i = 0; i < width; ++i) {
    const std::ptrdiff_t at = At(i, format);
    for (int j = 0; j < V; ++j) {
      const __m128d x = MaskPair(jobs[2 * j].source + at, jobs[2 * j + 1].source + at);
      const __m128 w = RoundFlush(StepD(k[j], x, s1[j], s2[j], s3[j]));
      StorePair(jobs[2 * j].temp + At(i, 4), jobs[2 * j + 1].temp + At(i, 4), w);
      s3[j] = s2[j];
      s2[j] = s1[j];
      s1[j] = _mm_cvtps_pd(w);
    }
  }
  for (int j = 0; j < V; ++j) s2[j] = s3[j] = s1[j];
  for (std::ptrdiff_t i = width - 1; i >= 0; --i) {
    for (int j = 0; j < V; ++j) {
      Byte* a = jobs[2 * j].temp + At(i, 4);
      Byte* b = jobs[2 * j + 1].temp + At(i, 4);
      const __m128 y = RoundFlush(StepD(k[j], FloatPair(a, b), s1[j], s2[j], s3[j]));
      StorePair(a, b, y);
      s3[j] = s2[j];
      s2[j] = s1[j];
      s1[j] = _mm_cvtps_pd(y);
    }
  }
}

// Mask columns: pairs of columns per vector, an odd last column in lane 0
// (lane 1 repeats it and is not written).
void MaskColumns(const ColumnStrip& s, int format, float scale, float offset) {
  const int n = s.count;
  const int pairs = (n + 1) / 2;
  CoeffD k[kStripMaskColumns / 2];
  for (int v = 0; v < pairs; ++v) {
    const GaussianCoefficients& ka = s.k[2 * v];
    const GaussianCoefficients& kb = s.k[std::min(2 * v + 1, n - 1)];
    k[v] = {_mm_setr_pd(ka.B, kb.B), _mm_setr_pd(ka.b1, kb.b1), _mm_setr_pd(ka.b2, kb.b2),
            _mm_setr_pd(ka.b3, kb.b3)};
  }
  alignas(16) float seed[kStripMaskColumns];
  // Lane loads: a full pair reads 8 bytes, the odd last column 4.
  auto load = [n](const Byte* row, int v) {
    const Byte* p = row + v * 8;
    if (2 * v + 1 < n)
      return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    return _mm_set1_pd(LoadF32(p));
  };
  auto store = [n](Byte* row, int v, __m128 x) {
    Byte* p = row + v * 8;
    if (2 * v + 1 < n) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(x));
    } else {
      StoreF32(p, _mm_cvtss_f32(x));
    }
  };
  const __m128d scaleD = _mm_set1_pd(scale);
  const __m128d offsetD = _mm_set1_pd(offset);
  WalkStrip(
      s, At(n, 4), reinterpret_cast<Byte*>(seed),
      [&](const Byte* x, const Byte* w1, const Byte* w2, const Byte* w3, Byte* w) {
        for (int v = 0; v < pairs; ++v)
          store(w, v, RoundFlush(StepD(k[v], load(x, v), load(w1, v), load(w2, v), load(w3, v))));
      },
      [&](Byte* w, const Byte* y1, const Byte* y2, const Byte* y3, Byte* out) {
        for (int v = 0; v < pairs; ++v) {
          const __m128 y =
              _mm_cvtpd_ps(StepD(k[v], load(w, v), load(y1, v), load(y2, v), load(y3, v)));
          store(w, v, y);
          const __m128 mapped =
              _mm_cvtpd_ps(_mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(y), scaleD), offsetD));
          const __m128i i32 = _mm_cvtps_epi32(mapped);
          const __m128i i16 = _mm_packs_epi32(i32, i32);
          const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(i16, i16));
          out[At(2 * v, format)] = static_cast<Byte>(bytes);
          if (2 * v + 1 < n) out[At(2 * v + 1, format)] = static_cast<Byte>(bytes >> 8);
        }
      });
}

}  // namespace

void BlurImageRowsSingleSse2(const RowJob* rows, int count, std::int32_t width, int) {
  InGroups<1, 4>(
      rows, count, [width](const RowJob* g) { RowsSingle<4>(g, width); },
      [width](const RowJob* g) { RowsSingle<1>(g, width); });
}

void BlurImageColumnsSingleSse2(const ColumnStrip& strip, int) {
  if (strip.count == kStripImageColumns)
    ColumnsSingle<true>(strip);
  else
    ColumnsSingle<false>(strip);
}

void BlurImageRowsDoubleSse2(const RowJob* rows, int count, std::int32_t width, int) {
  InGroups<1, 2>(
      rows, count, [width](const RowJob* g) { RowsDouble<2>(g, width); },
      [width](const RowJob* g) { RowsDouble<1>(g, width); });
}

void BlurImageColumnsDoubleSse2(const ColumnStrip& strip, int) { ColumnsDouble(strip); }

void BlurMaskRowsSse2(const RowJob* rows, int count, std::int32_t width, int format) {
  InGroups<2, 4>(
      rows, count, [width, format](const RowJob* g) { MaskRows<4>(g, width, format); },
      [width, format](const RowJob* g) { MaskRows<1>(g, width, format); });
}

void BlurMaskColumnsSse2(const ColumnStrip& strip, int format, float scale, float offset) {
  MaskColumns(strip, format, scale, offset);
}

}  // namespace morvex::blur
