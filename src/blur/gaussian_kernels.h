// The vector kernels of both blurs, written once over the vector layer
// (frame/simd) and instantiated per instruction set in gaussian_sse2.cpp,
// gaussian_avx2.cpp and gaussian_avx512.cpp.
//
// Every kernel runs many recursions side by side: rows in the horizontal
// pass (one row per 128-bit block for images, one per 32-bit lane for masks),
// adjacent columns in the vertical pass. Each lane's arithmetic is the
// one-row / one-column definition's, operation for operation, so every
// kernel gives exactly the bits of BlurRowPass, BlurColumnPass,
// BlurMaskRowPass and BlurMaskColumnPass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "blur/gaussian.h"

namespace morvex::blur {

// ---- The recursion step ----
// ((B*input + b1*first) + b2*second) + b3*third in each lane: in single
// precision (SingleSteps), or in double precision from the stored singles
// and rounded to single (DoubleSteps). Values are kept in the form the next
// steps read them in (State: In from floats, Out to floats); Next<true>
// flushes the stored value.

// Values below kFlushBelow (negatives and NaN-free values alike) to 0.
template <class I>
MORVEX_INLINE typename I::F FlushLanes(typename I::F v) {
  return I::AndNotF(I::CmpLtF(v, I::SetF(kFlushBelow)), v);
}

template <class I>
struct SingleSteps {
  using F = typename I::F;
  static constexpr bool kDouble = false;
  struct K {
    F B, b1, b2, b3;
  };
  using State = F;
  static MORVEX_INLINE K Make(F B, F b1, F b2, F b3) { return {B, b1, b2, b3}; }
  static MORVEX_INLINE State In(F v) { return v; }
  static MORVEX_INLINE F Out(const State& v) { return v; }
  template <bool kFlush>
  static MORVEX_INLINE State Next(const K& k, const State& x, const State& first,
                                  const State& second, const State& third) {
    F v = I::AddF(I::MulF(k.B, x), I::MulF(k.b1, first));
    v = I::AddF(v, I::MulF(k.b2, second));
    v = I::AddF(v, I::MulF(k.b3, third));
    if constexpr (kFlush) v = FlushLanes<I>(v);
    return v;
  }
};

template <class I>
struct DoubleSteps {
  using F = typename I::F;
  using D = typename I::D;
  static constexpr bool kDouble = true;
  struct Half {
    D B, b1, b2, b3;
  };
  struct K {
    Half lo, hi;
  };
  // The stored singles as doubles: the next steps read them so, and the
  // rounding to single never leaves the double registers.
  struct State {
    D lo, hi;
  };
  // Single-precision coefficients widened exactly, as the definition's
  // static_cast<double> does.
  static MORVEX_INLINE K Make(F B, F b1, F b2, F b3) {
    return {{I::WidenLo(B), I::WidenLo(b1), I::WidenLo(b2), I::WidenLo(b3)},
            {I::WidenHi(B), I::WidenHi(b1), I::WidenHi(b2), I::WidenHi(b3)}};
  }
  static MORVEX_INLINE State In(F v) { return {I::WidenLo(v), I::WidenHi(v)}; }
  static MORVEX_INLINE F Out(const State& v) { return I::Narrow(v.lo, v.hi); }
  static MORVEX_INLINE D HalfStep(const Half& k, D x, D first, D second, D third) {
    D v = I::AddD(I::MulD(k.B, x), I::MulD(k.b1, first));
    v = I::AddD(v, I::MulD(k.b2, second));
    return I::AddD(v, I::MulD(k.b3, third));
  }
  static MORVEX_INLINE D Round(D v, std::bool_constant<false>) { return I::RoundToSingleD(v); }
  static MORVEX_INLINE D Round(D v, std::bool_constant<true>) {
    return I::RoundToSingleFlushD(v, kFlushBelow);
  }
  template <bool kFlush>
  static MORVEX_INLINE State Next(const K& k, const State& x, const State& first,
                                  const State& second, const State& third) {
    return {
        Round(HalfStep(k.lo, x.lo, first.lo, second.lo, third.lo), std::bool_constant<kFlush>{}),
        Round(HalfStep(k.hi, x.hi, first.hi, second.hi, third.hi), std::bool_constant<kFlush>{})};
  }
};

// The coefficients of a vector whose lane l runs the recursion of set
// *sets[l / lanesPerSet].
template <class I, class A>
MORVEX_INLINE typename A::K CoefficientsOf(const GaussianCoefficients* const* sets,
                                           int lanesPerSet) {
  alignas(64) float B[I::kFloats], b1[I::kFloats], b2[I::kFloats], b3[I::kFloats];
  for (int l = 0; l < I::kFloats; ++l) {
    const GaussianCoefficients& k = *sets[l / lanesPerSet];
    B[l] = k.B;
    b1[l] = k.b1;
    b2[l] = k.b2;
    b3[l] = k.b3;
  }
  return A::Make(I::LoadF(B), I::LoadF(b1), I::LoadF(b2), I::LoadF(b3));
}

// Calls f(std::integral_constant<int, i>) for i = 0 .. n-1.
template <int... i, class Fn>
MORVEX_INLINE void ForEachIndex(std::integer_sequence<int, i...>, Fn&& f) {
  (f(std::integral_constant<int, i>{}), ...);
}
template <int n, class Fn>
MORVEX_INLINE void Unrolled(Fn&& f) {
  ForEachIndex(std::make_integer_sequence<int, n>{}, f);
}

// The rows of a group as V vectors of L rows each (row L j + l in lane
// block l of vector j): their sources, intermediate rows and coefficients.
template <class I, class A, int V, int L>
struct GroupRows {
  explicit GroupRows(const RowJob* jobs) {
    for (int j = 0; j < V; ++j) {
      const GaussianCoefficients* sets[L];
      for (int l = 0; l < L; ++l) {
        src[j][l] = jobs[L * j + l].source;
        dst[j][l] = jobs[L * j + l].temp;
        sets[l] = &jobs[L * j + l].k;
      }
      k[j] = CoefficientsOf<I, A>(sets, I::kFloats / L);
    }
  }
  const Byte* src[V][L];
  Byte* dst[V][L];
  typename A::K k[V];
};

// Whether the first n rows share one coefficient set.
MORVEX_INLINE bool OneSet(const RowJob* rows, int n) {
  for (int j = 1; j < n; ++j)
    if (std::memcmp(&rows[j].k, &rows[0].k, sizeof rows[0].k) != 0) return false;
  return true;
}

// The rows of a call as groups of kRows rows, then the rest one group of
// kTail rows at a time, the last row repeated to fill it. A repeated row only
// ever shares one vector with itself (it is loaded and stored by the same
// instructions), never two vectors, which would see each other's writes.
template <int kRows, int kTail, class Full, class Part>
MORVEX_INLINE void InGroups(const RowJob* rows, int count, Full&& full, Part&& part) {
  int j0 = 0;
  for (; j0 + kRows <= count; j0 += kRows) full(rows + j0);
  for (; j0 < count; j0 += kTail) {
    RowJob group[kTail];
    for (int j = 0; j < kTail; ++j) group[j] = rows[j0 + j < count ? j0 + j : count - 1];
    part(group);
  }
}

// ---- Image rows ----
// Vector j of a group holds one pixel of rows 4j .. (kBlocks rows), row b in
// block b.

// Sources: 8-bit pixels (format 4) or float pixels (format 16), read a
// cache line of every row at a time: rows of a power-of-two pitch share
// cache sets, so a line left for later is gone by the time it is wanted.
template <class I>
struct BytePixelSource {
  static constexpr int kRun = 16;
  static constexpr int kParts = 4;  // a run's loads, of kRun / kParts pixels each
  struct Run {
    typename I::V quarter[kParts];
  };
  template <int part>
  static MORVEX_INLINE void LoadPart(Run& run, const Byte* const* rows, std::ptrdiff_t i) {
    run.quarter[part] = I::LoadRowBlocks(rows, i * 4 + 16 * part);
  }
  static MORVEX_INLINE Run LoadRun(const Byte* const* rows, std::ptrdiff_t i) {
    Run run;
    Unrolled<kParts>(
        [&](auto pc) MORVEX_INLINE_LAMBDA { LoadPart<decltype(pc)::value>(run, rows, i); });
    return run;
  }
  template <int p>
  static MORVEX_INLINE typename I::F Pixel(const Run& run) {
    return I::template BytePixelOfBlocks<p % 4>(run.quarter[p / 4]);
  }
  static MORVEX_INLINE typename I::F At(const Byte* const* rows, std::ptrdiff_t i) {
    return I::BytePixelsOfRows(rows, i * 4);
  }
};

template <class I>
struct FloatPixelSource {
  static constexpr int kRun = 4;
  struct Run {
    typename I::F pixel[4];
  };
  static MORVEX_INLINE Run LoadRun(const Byte* const* rows, std::ptrdiff_t i) {
    return {{I::LoadBlocksF(rows, i * 16), I::LoadBlocksF(rows, i * 16 + 16),
             I::LoadBlocksF(rows, i * 16 + 32), I::LoadBlocksF(rows, i * 16 + 48)}};
  }
  template <int p>
  static MORVEX_INLINE typename I::F Pixel(const Run& run) {
    return run.pixel[p];
  }
  static MORVEX_INLINE typename I::F At(const Byte* const* rows, std::ptrdiff_t i) {
    return I::LoadBlocksF(rows, i * 16);
  }
};

// The walks of a group of V vectors of rows. With a buffer (width slots of V
// vectors) the forward values stay there and the backward walk writes the
// intermediate once, kBlocks pixels of a row per store, bypassing the cache
// where every row of the group is aligned alike (nothing reads the
// intermediate again soon). Without one the forward values go to the
// intermediate rows and are read back from them. A reversed walk puts pixel
// i's slot at width - 1 - i, so that the next group's forward walk can fill the
// slots this group's backward walk has just read (ImageRowPipeline).
template <class I, class A, class Src, int V, bool kUniform>
struct RowGroupWalk {
  using F = typename I::F;
  static constexpr int P = I::kBlocks;
  static constexpr std::ptrdiff_t kSlot = I::kBytes * V;

  RowGroupWalk(const RowJob* jobs, std::int32_t width, Byte* buffer, bool reversed)
      : group(jobs),
        width(width),
        buffer(buffer),
        slot0(buffer == nullptr || !reversed ? buffer : buffer + (width - 1) * kSlot),
        slotStep(reversed ? -kSlot : kSlot) {
    for (int j = 0; j < V; ++j) s1[j] = s2[j] = s3[j] = A::In(Src::At(group.src[j], 0));
  }

  MORVEX_INLINE bool Reversed() const { return slotStep < 0; }
  MORVEX_INLINE Byte* Slot(std::ptrdiff_t i, int j) const {
    return slot0 + i * slotStep + I::kBytes * j;
  }
  MORVEX_INLINE void Shift(int j, const typename A::State& next) {
    s3[j] = s2[j];
    s2[j] = s1[j];
    s1[j] = next;
  }

  // The steps take the coefficients from `k` (group.k unless the caller
  // holds one set for several groups).
  using K = typename A::K;

  // ---- Forward, pixel 0 up ----
  MORVEX_INLINE void Forward(int j, F x, std::ptrdiff_t i, const K* k) {
    const typename A::State next =
        A::template Next<A::kDouble>(k[kUniform ? 0 : j], A::In(x), s1[j], s2[j], s3[j]);
    const F w = A::Out(next);
    if (buffer != nullptr) {
      I::StoreF(Slot(i, j), w);
    } else {
      I::StoreBlocksF(group.dst[j], i * 16, w);
    }
    Shift(j, next);
  }
  // Pixels [i, width): whole runs, then one at a time.
  MORVEX_INLINE void ForwardFrom(std::ptrdiff_t i) {
    for (; i + Src::kRun <= width; i += Src::kRun) {
      typename Src::Run run[V];
#pragma GCC unroll 8
      for (int j = 0; j < V; ++j) run[j] = Src::LoadRun(group.src[j], i);
      Unrolled<Src::kRun>([&](auto pc) MORVEX_INLINE_LAMBDA {
        constexpr int p = decltype(pc)::value;
#pragma GCC unroll 8
        for (int j = 0; j < V; ++j) Forward(j, Src::template Pixel<p>(run[j]), i + p, group.k);
      });
    }
    for (; i < width; ++i) {
#pragma GCC unroll 8
      for (int j = 0; j < V; ++j) Forward(j, Src::At(group.src[j], i), i, group.k);
    }
  }

  // ---- Backward, pixel width - 1 down ----
  // The backward recursion starts from the last forward value. Blocks of P
  // pixels [b - P, b) lie on vector boundaries of every row when all rows
  // share one phase; the pixels beyond the last whole block (at the right
  // end, `tail` of them) and before the first (at the left) go one at a time.
  MORVEX_INLINE void StartBackward() {
    for (int j = 0; j < V; ++j) s2[j] = s3[j] = s1[j];
    if (buffer == nullptr) return;
    const auto phaseOf = [](const Byte* p) {
      return static_cast<std::ptrdiff_t>(reinterpret_cast<std::uintptr_t>(p) / 16 % P);
    };
    aligned = true;
    const std::ptrdiff_t phase = phaseOf(group.dst[0][0]);
    for (int j = 0; j < V; ++j)
      for (int b = 0; b < P; ++b)
        aligned = aligned && reinterpret_cast<std::uintptr_t>(group.dst[j][b]) % 16 == 0 &&
                  phaseOf(group.dst[j][b]) == phase;
    tail = aligned ? (phase + width) % P : width % P;
    if (tail > width) tail = width;
  }
  MORVEX_INLINE F Backward(int j, std::ptrdiff_t at, const K* k) {
    const F w = buffer != nullptr ? I::LoadF(Slot(at, j)) : I::LoadBlocksF(group.dst[j], at * 16);
    const typename A::State y =
        A::template Next<A::kDouble>(k[kUniform ? 0 : j], A::In(w), s1[j], s2[j], s3[j]);
    Shift(j, y);
    return A::Out(y);
  }
  // Pixel b - 1.
  MORVEX_INLINE void BackwardPixel(std::ptrdiff_t b) {
#pragma GCC unroll 8
    for (int j = 0; j < V; ++j)
      I::StoreBlocksF(group.dst[j], (b - 1) * 16, Backward(j, b - 1, group.k));
  }
  // Pixels [b - P, b): every vector's step for a pixel before the next
  // pixel, so that the vectors' chains overlap; then the transposes.
  MORVEX_INLINE void BackwardBlock(std::ptrdiff_t b, const K* k) {
    F y[V][P];
    for (int q = P - 1; q >= 0; --q) {
#pragma GCC unroll 8
      for (int j = 0; j < V; ++j) y[j][q] = Backward(j, b - P + q, k);
    }
    StoreBlock(y, b);
  }
  // The values of pixels [b - P, b), transposed into the rows.
  MORVEX_INLINE void StoreBlock(F (&y)[V][P], std::ptrdiff_t b) {
#pragma GCC unroll 8
    for (int j = 0; j < V; ++j) {
      I::TransposeBlocks(y[j]);
      const std::ptrdiff_t at = (b - P) * 16;
      for (int r = 0; r < P; ++r) {
        if (aligned) {
          I::StreamF(group.dst[j][r] + at, y[j][r]);
        } else {
          I::StoreF(group.dst[j][r] + at, y[j][r]);
        }
      }
    }
  }
  // Pixels [0, b), b at or below width - tail.
  MORVEX_INLINE void BackwardTo(std::ptrdiff_t b) {
    for (; b >= P; b -= P) BackwardBlock(b, group.k);
    for (; b > 0; --b) BackwardPixel(b);
  }
  // The `tail` pixels at the right end; returns width - tail.
  MORVEX_INLINE std::ptrdiff_t BackwardTail() {
    std::ptrdiff_t b = width;
    for (; b > width - tail; --b) BackwardPixel(b);
    return b;
  }
  MORVEX_INLINE void BackwardAll() {
    if (buffer == nullptr) {
      for (std::ptrdiff_t b = width; b > 0; --b) BackwardPixel(b);
      return;
    }
    BackwardTo(BackwardTail());
  }

  GroupRows<I, A, V, P> group;
  std::int32_t width;
  Byte* buffer;
  Byte* slot0;              // pixel 0's slot
  std::ptrdiff_t slotStep;  // from one pixel's slot to the next one's
  typename A::State s1[V], s2[V], s3[V];
  bool aligned = false;
  std::ptrdiff_t tail = 0;
};

template <class I, class A, class Src, int V, bool kUniform>
__attribute__((noinline)) void ImageRowGroup(const RowJob* jobs, std::int32_t width, Byte* buffer) {
  RowGroupWalk<I, A, Src, V, kUniform> walk(jobs, width, buffer, false);
  walk.ForwardFrom(0);
  walk.StartBackward();
  walk.BackwardAll();
  if (buffer != nullptr) I::Fence();
}

// Groups of one coefficient set, each group's forward walk run together with
// the previous group's backward walk, a step of each in turn: twice the
// recursions in flight, on one buffer. Group g's forward value of pixel i
// goes to the slot that group g - 1's backward walk has read at its pixel
// width - 1 - i (the groups' slot orders alternate). Results are those of
// the groups one after another.
template <class I, class A, class Src, int V>
__attribute__((noinline)) void ImageRowPipeline(const RowJob* rows, int groups, std::int32_t width,
                                                Byte* buffer) {
  using Walk = RowGroupWalk<I, A, Src, V, true>;
  constexpr int kRows = I::kBlocks * V;
  if (buffer == nullptr) __builtin_unreachable();  // the caller's condition
  constexpr int P = I::kBlocks;
  static_assert(Src::kRun % P == 0);
  Walk before(rows, width, buffer, false);
  const typename Walk::K k[1] = {before.group.k[0]};
  before.ForwardFrom(0);
  for (int g = 1; g < groups; ++g) {
    Walk next(rows + g * kRows, width, buffer, !before.Reversed());
    before.StartBackward();
    std::ptrdiff_t b = before.BackwardTail();
    // Backward pixels done: width - b = tail + i, so forward pixel i + p
    // always follows backward pixel width - 1 - (i + p). Each part of a run
    // is loaded just before its pixels, leaving the registers to the two
    // groups' recursions.
    std::ptrdiff_t i = 0;
    for (; b >= Src::kRun; i += Src::kRun, b -= Src::kRun) {
      typename Src::Run run[V] = {};
      Unrolled<Src::kRun / P>([&](auto qc) MORVEX_INLINE_LAMBDA {
        constexpr int q = decltype(qc)::value;
        constexpr int kPart = q * P * Src::kParts / Src::kRun;
        if constexpr (q * P % (Src::kRun / Src::kParts) == 0) {
#pragma GCC unroll 8
          for (int j = 0; j < V; ++j) Src::template LoadPart<kPart>(run[j], next.group.src[j], i);
        }
        typename Walk::F y[V][P];
        Unrolled<P>([&](auto tc) MORVEX_INLINE_LAMBDA {
          constexpr int t = decltype(tc)::value;
#pragma GCC unroll 8
          for (int j = 0; j < V; ++j) y[j][P - 1 - t] = before.Backward(j, b - q * P - 1 - t, k);
#pragma GCC unroll 8
          for (int j = 0; j < V; ++j)
            next.Forward(j, Src::template Pixel<q * P + t>(run[j]), i + q * P + t, k);
        });
        before.StoreBlock(y, b - q * P);
      });
    }
    before.BackwardTo(b);
    next.ForwardFrom(i);
    before = next;
  }
  before.StartBackward();
  before.BackwardAll();
  I::Fence();
}

// The row kernel of a record: groups of V vectors (kBlocks x V rows), the
// rest one vector at a time. With a buffer and one coefficient set for the
// whole call, the full groups run as one pipeline.
template <class I, class A, class Src, int V, bool kPipeline = false>
void ImageRows(const RowJob* rows, int count, std::int32_t width, int, Byte* buffer) {
  constexpr int kRows = I::kBlocks * V;
  if constexpr (kPipeline) {
    if (buffer != nullptr && count >= 2 * kRows && OneSet(rows, count)) {
      const int groups = count / kRows;
      ImageRowPipeline<I, A, Src, V>(rows, groups, width, buffer);
      rows += groups * kRows;
      count -= groups * kRows;
    }
  }
  InGroups<kRows, I::kBlocks>(
      rows, count,
      [&](const RowJob* g) {
        // One coefficient set for every row keeps a single set in registers.
        if (OneSet(g, kRows)) {
          ImageRowGroup<I, A, Src, V, true>(g, width, buffer);
        } else {
          ImageRowGroup<I, A, Src, V, false>(g, width, buffer);
        }
      },
      [&](const RowJob* g) { ImageRowGroup<I, A, Src, 1, false>(g, width, buffer); });
}

// ---- Mask rows ----
// Vector j of a group holds one element of rows kFloats*j .. (one row per
// lane). The forward values go to the row buffer (width slots of V vectors);
// the backward pass works there as well and writes each run of kFloats
// elements of the rows with one kFloats x kFloats transpose.

// Element i of the rows of `rows` (one per lane) as floats.
template <class I>
MORVEX_INLINE typename I::F MaskElementOfRows(const Byte* const* rows, std::ptrdiff_t at) {
  alignas(64) float v[I::kFloats];
  for (int l = 0; l < I::kFloats; ++l) v[l] = rows[l][at];
  return I::LoadF(v);
}

template <class I, int V, bool kUniform>
__attribute__((noinline)) void MaskRowGroup(const RowJob* jobs, std::int32_t width, int format,
                                            Byte* buffer) {
  using F = typename I::F;
  using A = DoubleSteps<I>;
  constexpr int N = I::kFloats;
  constexpr std::ptrdiff_t kSlot = I::kBytes * V;
  const GroupRows<I, A, V, N> group(jobs);
  const auto& src = group.src;
  const auto& dst = group.dst;
  const auto& k = group.k;
  typename A::State s1[V] = {}, s2[V] = {}, s3[V] = {};
  for (int j = 0; j < V; ++j) s1[j] = s2[j] = s3[j] = A::In(MaskElementOfRows<I>(src[j], 0));
  const auto step = [&](int j, F x) MORVEX_INLINE_LAMBDA {
    const typename A::State w =
        A::template Next<true>(k[kUniform ? 0 : j], A::In(x), s1[j], s2[j], s3[j]);
    s3[j] = s2[j];
    s2[j] = s1[j];
    s1[j] = w;
    return A::Out(w);
  };
  const auto slot = [&](std::ptrdiff_t i, int j)
                        MORVEX_INLINE_LAMBDA { return buffer + i * kSlot + I::kBytes * j; };
  // Runs of N elements while the wide loads stay inside every row: with
  // element step 4 a run reads 3 bytes past its last element.
  const std::ptrdiff_t runs = width / N;
  const std::ptrdiff_t wideRuns = format == 1 ? runs : (width - 1) / N;
  // Packed masks: four runs of every row copied at once into a tile, since
  // rows of a power-of-two stride share cache sets and a line read for one
  // run is gone before the next.
  constexpr std::ptrdiff_t kTile = 4 * N;
  alignas(64) Byte tile[V][N][kTile];
  std::ptrdiff_t i = 0;
  // A run's inputs go to their slots transposed; the steps then walk the
  // slots with every vector's recursion side by side, so that the vectors'
  // independent chains overlap instead of one run's steps following each
  // other.
  const auto run = [&](const Byte* const* rows, std::ptrdiff_t at, int j) MORVEX_INLINE_LAMBDA {
    F e[N];
    for (int l = 0; l < N; ++l) {
      const typename I::V ints = format == 1 ? I::LoadBytes32(rows[l] + at)
                                             : I::And(I::Load(rows[l] + at * 4), I::Set32(0xFF));
      e[l] = I::ToF(ints);
    }
    I::Transpose32(e);
    for (int q = 0; q < N; ++q) I::StoreF(slot(i + q, j), e[q]);
  };
  const auto forwardSlots = [&](std::ptrdiff_t from, std::ptrdiff_t to) {
    for (std::ptrdiff_t t = from; t < to; ++t) {
#pragma GCC unroll 8
      for (int j = 0; j < V; ++j) I::StoreF(slot(t, j), step(j, I::LoadF(slot(t, j))));
    }
  };
  if (format == 1) {
    while (i + kTile <= width) {
      const std::ptrdiff_t start = i;
      for (int j = 0; j < V; ++j)
        for (int l = 0; l < N; ++l) std::memcpy(tile[j][l], src[j][l] + start, kTile);
      for (; i < start + kTile; i += N) {
        for (int j = 0; j < V; ++j) {
          const Byte* rows[N];
          for (int l = 0; l < N; ++l) rows[l] = tile[j][l];
          run(rows, i - start, j);
        }
      }
      forwardSlots(start, i);
    }
  }
  // Element step 4: each run reads a line of every row; the lines a few runs
  // ahead are fetched meanwhile (the rows are too many streams for the
  // hardware to follow).
  constexpr std::ptrdiff_t kAhead = 8 * N;
  for (; i < wideRuns * N; i += N) {
    if (i + kAhead < wideRuns * N) {
      for (int j = 0; j < V; ++j)
        for (int l = 0; l < N; ++l) __builtin_prefetch(src[j][l] + (i + kAhead) * format, 0, 0);
    }
    for (int j = 0; j < V; ++j) run(src[j], i, j);
    forwardSlots(i, i + N);
  }
  for (; i < width; ++i) {
#pragma GCC unroll 4
    for (int j = 0; j < V; ++j)
      I::StoreF(slot(i, j), step(j, MaskElementOfRows<I>(src[j], i * format)));
  }
  // The backward recursion starts from the last forward value.
  for (int j = 0; j < V; ++j) s2[j] = s3[j] = s1[j];
  std::ptrdiff_t b = width;
  for (; b > runs * N; --b) {
#pragma GCC unroll 4
    for (int j = 0; j < V; ++j) {
      alignas(64) float y[N];
      I::StoreF(y, step(j, I::LoadF(slot(b - 1, j))));
      for (int l = 0; l < N; ++l) StoreF32(dst[j][l] + (b - 1) * 4, y[l]);
    }
  }
  // Runs of every row land on vector boundaries when the rows start on
  // them; they are then streamed past the cache (nothing reads them soon).
  bool aligned = true;
  for (int j = 0; j < V; ++j)
    for (int l = 0; l < N; ++l)
      aligned = aligned && reinterpret_cast<std::uintptr_t>(dst[j][l]) % I::kBytes == 0;
  for (; b > 0; b -= N) {
    for (std::ptrdiff_t t = b - 1; t >= b - N; --t) {
#pragma GCC unroll 8
      for (int j = 0; j < V; ++j) I::StoreF(slot(t, j), step(j, I::LoadF(slot(t, j))));
    }
    for (int j = 0; j < V; ++j) {
      F y[N];
      for (int q = 0; q < N; ++q) y[q] = I::LoadF(slot(b - N + q, j));
      I::Transpose32(y);
      for (int l = 0; l < N; ++l) {
        if (aligned) {
          I::StreamF(dst[j][l] + (b - N) * 4, y[l]);
        } else {
          I::StoreF(dst[j][l] + (b - N) * 4, y[l]);
        }
      }
    }
  }
  I::Fence();
}

// The mask row kernel of a record: groups of V vectors (kFloats x V rows),
// the rest one vector at a time; without a row buffer, the plain kernel.
template <class I, int V>
void MaskRows(const RowJob* rows, int count, std::int32_t width, int format, Byte* buffer) {
  if (buffer == nullptr) {
    BlurMaskRowsScalar(rows, count, width, format, nullptr);
    return;
  }
  InGroups<I::kFloats * V, I::kFloats>(
      rows, count,
      [&](const RowJob* g) {
        // One coefficient set for every row keeps a single set in registers.
        if (OneSet(g, I::kFloats * V)) {
          MaskRowGroup<I, V, true>(g, width, format, buffer);
        } else {
          MaskRowGroup<I, V, false>(g, width, format, buffer);
        }
      },
      [&](const RowJob* g) { MaskRowGroup<I, 1, false>(g, width, format, buffer); });
}

// ---- Columns ----
// A column is kColumnFloats floats of the intermediate (a pixel's four, or
// one mask element); vector v of a strip row holds the next kFloats /
// kColumnFloats columns, contiguous in the intermediate, and the last vector
// of a narrower strip fewer, read and written as the first floats of a
// vector only. The last three values of each vector stay in registers; the
// scratch keeps the forward values (flushed in double arithmetic) for the
// backward walk, whose values go to the results policy.

// Image results: bytes converted in the current rounding mode and saturated
// (format 4), streamed past the cache for whole aligned vectors, or floats
// (format 16).
template <class I>
struct ByteResults {
  template <int V>
  MORVEX_INLINE void Put(Byte* out, const typename I::F* y, int vectors, int count) const {
    constexpr int P = I::kBlocks;
    const bool stream = reinterpret_cast<std::uintptr_t>(out) % I::kBytes == 0;
#pragma GCC unroll 4
    for (int g = 0; g < (V + 3) / 4; ++g) {
      const auto at = [&](int v) MORVEX_INLINE_LAMBDA {
        return y[4 * g + v < vectors ? 4 * g + v : vectors - 1];
      };
      const typename I::V bytes = I::PackBytePixels(at(0), at(1), at(2), at(3));
      const int pixels = count - 4 * P * g;
      if (pixels >= 4 * P) {
        if (stream) {
          I::Stream(out + I::kBytes * g, bytes);
        } else {
          I::Store(out + I::kBytes * g, bytes);
        }
      } else if (pixels > 0) {
        alignas(64) Byte part[I::kBytes];
        I::Store(part, bytes);
        std::memcpy(out + I::kBytes * g, part, static_cast<std::size_t>(pixels) * 4);
      }
    }
  }
};

template <class I>
struct FloatResults {
  template <int V>
  MORVEX_INLINE void Put(Byte* out, const typename I::F* y, int vectors, int count) const {
    const int lastFloats = 4 * (count - (vectors - 1) * I::kBlocks);
#pragma GCC unroll 16
    for (int v = 0; v < V; ++v) {
      if (v + 1 < vectors || (v + 1 == vectors && lastFloats == I::kFloats)) {
        I::StoreF(out + I::kBytes * v, y[v]);
      } else if (v + 1 == vectors) {
        I::StoreFirstF(out + I::kBytes * v, lastFloats, y[v]);
      }
    }
  }
};

// Mask results: y * scale + offset in double, rounded to single, converted
// in the current mode and saturated, one byte every `format` bytes.
template <class I>
struct MaskResults {
  int format;
  typename I::D scale, offset;
  template <int V>
  MORVEX_INLINE void Put(Byte* out, const typename I::F* y, int vectors, int count) const {
    constexpr int N = I::kFloats;
    const typename I::V low = I::Zero(), high = I::Set32(255);
#pragma GCC unroll 8
    for (int v = 0; v < V; ++v) {
      if (v >= vectors) continue;
      const typename I::F mapped = I::Narrow(I::AddD(I::MulD(I::WidenLo(y[v]), scale), offset),
                                             I::AddD(I::MulD(I::WidenHi(y[v]), scale), offset));
      const typename I::V ints = I::MinS32(I::MaxS32(I::ToI32(mapped), low), high);
      const int lanes = v + 1 < vectors ? N : count - v * N;
      if (format == 1 && lanes == N) {
        I::StoreLowBytes(out + N * v, ints);
      } else {
        alignas(64) std::int32_t bytes[N];
        I::Store(bytes, ints);
        for (int l = 0; l < lanes; ++l)
          out[static_cast<std::ptrdiff_t>(N * v + l) * format] = static_cast<Byte>(bytes[l]);
      }
    }
  }
};

template <class I, class A, int kColumnFloats, class Out, int V, bool kFull, bool kUniform>
__attribute__((noinline)) void StripKernel(const ColumnStrip& s, const Out& results) {
  using F = typename I::F;
  constexpr int C = I::kFloats / kColumnFloats;  // columns per vector
  const int n = kFull ? V * C : s.count;
  const int vectors = kFull ? V : (n + C - 1) / C;
  const int lastFloats = kColumnFloats * (n - (vectors - 1) * C);
  const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(n) * kColumnFloats * 4;
  const std::ptrdiff_t aheadBytes =
      static_cast<std::ptrdiff_t>(s.aheadColumns > n ? s.aheadColumns : n) * kColumnFloats * 4;
  typename A::K k[V];
  for (int v = 0; v < vectors; ++v) {
    const GaussianCoefficients* sets[C];
    for (int b = 0; b < C; ++b) sets[b] = &s.k[C * v + b < n ? C * v + b : n - 1];
    k[v] = CoefficientsOf<I, A>(sets, kColumnFloats);
  }
  const auto load = [&](const Byte* row, int v) MORVEX_INLINE_LAMBDA {
    if (kFull || v + 1 < vectors) return I::LoadF(row + I::kBytes * v);
    return I::LoadFirstF(row + I::kBytes * v, lastFloats);
  };
  const auto store = [&](Byte* row, int v, F x) MORVEX_INLINE_LAMBDA {
    if (kFull || v + 1 < vectors) {
      I::StoreF(row + I::kBytes * v, x);
    } else {
      I::StoreFirstF(row + I::kBytes * v, lastFloats, x);
    }
  };
  const auto coefficients = [&](int v) MORVEX_INLINE_LAMBDA -> const typename A::K& {
    return k[kUniform ? 0 : v];
  };

  typename A::State s1[V] = {}, s2[V] = {}, s3[V] = {};
#pragma GCC unroll 16
  for (int v = 0; v < V; ++v) {
    if (v < vectors) s1[v] = s2[v] = s3[v] = A::In(load(s.temp, v));
  }
  // Rows ahead whose intermediate is fetched, into the outer caches, while
  // the current one is used: each row of the strip lies on its own page,
  // and with a power-of-two pitch all of them in the same cache sets, which
  // hold only a few rows (farther or nearer to L1 measured slower).
  constexpr std::ptrdiff_t kAhead = kColumnPrefetchRows;
  for (std::ptrdiff_t r = 0; r < s.height; ++r) {
    const Byte* x = s.temp + r * s.tempPitch;
    if (r + kAhead < s.height) {
      for (std::ptrdiff_t b = 0; b < aheadBytes; b += 64)
        __builtin_prefetch(x + kAhead * s.tempPitch + b, 0, 1);
    }
    Byte* w = s.scratch + r * rowBytes;
#pragma GCC unroll 16
    for (int v = 0; v < V; ++v) {
      if (v >= vectors) continue;
      const typename A::State y =
          A::template Next<A::kDouble>(coefficients(v), A::In(load(x, v)), s1[v], s2[v], s3[v]);
      store(w, v, A::Out(y));
      s3[v] = s2[v];
      s2[v] = s1[v];
      s1[v] = y;
    }
  }
#pragma GCC unroll 16
  for (int v = 0; v < V; ++v) {
    if (v < vectors) s2[v] = s3[v] = s1[v];
  }
  for (std::ptrdiff_t r = s.height - 1; r >= 0; --r) {
    const Byte* w = s.scratch + r * rowBytes;
    F y[V] = {};
#pragma GCC unroll 16
    for (int v = 0; v < V; ++v) {
      if (v >= vectors) continue;
      const typename A::State next =
          A::template Next<false>(coefficients(v), A::In(load(w, v)), s1[v], s2[v], s3[v]);
      y[v] = A::Out(next);
      s3[v] = s2[v];
      s2[v] = s1[v];
      s1[v] = next;
    }
    results.template Put<V>(s.target + r * static_cast<std::ptrdiff_t>(s.stride), y, vectors, n);
  }
  I::Fence();
}

// A strip of up to V vectors; a whole strip with one coefficient set for
// every column keeps a single set in registers.
template <class I, class A, int kColumnFloats, int V, class Out>
MORVEX_INLINE void Strip(const ColumnStrip& s, const Out& results) {
  if (s.count == V * (I::kFloats / kColumnFloats)) {
    bool uniform = true;
    for (int c = 1; c < s.count; ++c)
      uniform = uniform && std::memcmp(&s.k[c], &s.k[0], sizeof s.k[0]) == 0;
    if (uniform) {
      StripKernel<I, A, kColumnFloats, Out, V, true, true>(s, results);
    } else {
      StripKernel<I, A, kColumnFloats, Out, V, true, false>(s, results);
    }
  } else {
    StripKernel<I, A, kColumnFloats, Out, V, false, false>(s, results);
  }
}

template <class I, class A, template <class> class Out, int V>
void ImageColumns(const ColumnStrip& s, int) {
  Strip<I, A, 4, V>(s, Out<I>{});
}

template <class I, int V>
void MaskColumns(const ColumnStrip& s, int format, float scale, float offset) {
  Strip<I, DoubleSteps<I>, 1, V>(s, MaskResults<I>{format, I::SetD(scale), I::SetD(offset)});
}

// kRowPipeline: two groups' walks at once (ImageRowPipeline), where the
// registers hold both groups' recursions.
template <class I, int kRowVectors, int kColumnVectors, bool kRowPipeline = false>
constexpr ImageKernels MakeImageSingleKernels() {
  return {&ImageRows<I, SingleSteps<I>, BytePixelSource<I>, kRowVectors, kRowPipeline>,
          static_cast<std::size_t>(I::kBytes) * kRowVectors,
          &ImageColumns<I, SingleSteps<I>, ByteResults, kColumnVectors>,
          kColumnVectors * I::kBlocks};
}

template <class I, int kRowVectors, int kColumnVectors>
constexpr ImageKernels MakeImageDoubleKernels() {
  return {&ImageRows<I, DoubleSteps<I>, FloatPixelSource<I>, kRowVectors>,
          static_cast<std::size_t>(I::kBytes) * kRowVectors,
          &ImageColumns<I, DoubleSteps<I>, FloatResults, kColumnVectors>,
          kColumnVectors * I::kBlocks};
}

template <class I, int kRowVectors, int kColumnVectors>
constexpr MaskKernels MakeMaskKernels() {
  return {&MaskRows<I, kRowVectors>, static_cast<std::size_t>(I::kBytes) * kRowVectors,
          &MaskColumns<I, kColumnVectors>, kColumnVectors * I::kFloats};
}

}  // namespace morvex::blur
