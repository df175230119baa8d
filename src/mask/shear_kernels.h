// Vector kernels of Shear, written once over the vector layer (frame/simd)
// and instantiated per instruction set in shear_sse2.cpp, shear_avx2.cpp and
// shear_avx512.cpp.
//
// Per byte, LerpPixel(p, q, wp, wq) is q + floor(((p - q) * wp + 2048) / 4096)
// because wp + wq = 4096, and for |x| <= 255 * 8 and x * w < 2^31 the
// rounding high product of two 16-bit lanes, (x * w + 2^14) >> 15, gives
// floor((x * w / 8 + 2048) / 4096) exactly. So one multiply per word gives
// the byte: with the weight scaled by 8 where it is at most 2048 (the row
// kernel takes as base the pixel of the larger weight), else with the
// difference scaled by 8 (weights 0 .. 4096, one per pixel).
#pragma once

#include <xmmintrin.h>  // _mm_prefetch

#include "frame/simd/walk.h"
#include "mask/shear.h"

namespace morvex::mask {

// The weights of a vector of pixels spread over the words their bytes unpack
// to: `low` for the low unpack (pixels 0 and 1 of each 128-bit lane), `high`
// for the high unpack (pixels 2 and 3).
template <class I>
struct ShearWeights {
  typename I::V low, high;
};
// From one weight per pixel in its 32-bit lane.
template <class I>
MORVEX_INLINE ShearWeights<I> SpreadShearWeights(typename I::V w) {
  const typename I::V both = I::Or(w, I::template Slli32<16>(w));
  return {I::UnpackLo32(both, both), I::UnpackHi32(both, both)};
}

// base + floor(((other - base) * w + 2048) / 4096) per byte of every pixel:
// LerpPixel(other, base, w, 4096 - w). kScaledWeights: the weights hold
// 8 * w (w <= 2048); otherwise w itself (w <= 4096).
template <class I, bool kScaledWeights>
MORVEX_INLINE typename I::V ShearMixPixels(typename I::V other, typename I::V base,
                                           const ShearWeights<I>& w) {
  using V = typename I::V;
  const V zero = I::Zero();
  const auto words = [&](V o, V q, V weight) {
    V x = I::Sub16(o, q);
    if constexpr (!kScaledWeights) x = I::template Slli16<3>(x);
    return I::Add16(q, I::MulhrsS16(x, weight));
  };
  return I::PackUS16(words(I::UnpackLo8(other, zero), I::UnpackLo8(base, zero), w.low),
                     words(I::UnpackHi8(other, zero), I::UnpackHi8(base, zero), w.high));
}

// ShearLerpRowFn. Whole vectors from the row's start (aligning the
// destination would split the loads of both neighbours over cache lines
// instead), the end by a masked vector or the scalar definition.
template <class I>
void ShearLerpRow(Byte* dst, const Byte* a, const Byte* b, std::int32_t count, std::int32_t wp,
                  std::int32_t wq) {
  const bool swap = wp > 2048;
  const typename I::V w8 = I::Set16(8 * (swap ? wq : wp));
  const ShearWeights<I> w{w8, w8};
  const Byte* base = swap ? a : b;
  const Byte* other = swap ? b : a;
  constexpr std::int32_t kLanes = I::kBytes / 4;
  std::int32_t x = 0;
  for (; x + kLanes <= count; x += kLanes)
    I::Store(dst + 4 * x,
             ShearMixPixels<I, true>(I::Load(other + 4 * x), I::Load(base + 4 * x), w));
  if constexpr (I::kPartialGroups) {
    if (x < count) {
      const auto part = I::Part(count - x);
      part.Store(dst + 4 * x,
                 ShearMixPixels<I, true>(part.Load(other + 4 * x), part.Load(base + 4 * x), w));
    }
  } else {
    for (; x < count; ++x)
      StoreU32(dst + 4 * x, LerpPixel(LoadU32(a + 4 * x), LoadU32(b + 4 * x), wp, wq));
  }
}

// One destination row of a vertical shear, as ShearColumnRowScalar defines
// it, a vector of lines at a time; the last lines by masked partial vectors
// where the instruction set has them, else by the scalar row.
template <class I>
void ShearColumnRow(Byte* dst, const PlaneView<const Byte>& src, std::int32_t r,
                    std::int32_t firstLine, const ShearColumns& columns, std::int32_t count) {
  using V = typename I::V;
  constexpr std::int32_t kLanes = I::kBytes / 4;
  const std::int32_t last = src.height - 1;
  // Lines k .. k + lanes - 1, read and written through io.
  const auto group = [&](std::int32_t k, const auto& io, std::int32_t lanes) {
    const std::int32_t line = firstLine + k;
    V p, q;
    if (line <= src.width - lanes) {
      // Lines with the same shift read the same two source rows: one load of
      // neighbouring pixels per distinct shift (one in all for small factors).
      const std::ptrdiff_t column = ElementOffset(line, 4);
      const V start = io.Load(columns.start + k);
      const auto rowsOf = [&](std::int32_t shift, V& a, V& b) {
        const std::int64_t t = static_cast<std::int64_t>(r) + shift;
        a = io.Load(src.Row(ClampPosition(t, last)) + column);
        b = io.Load(src.Row(ClampPosition(t + 1, last)) + column);
        return I::Eq32(start, I::Set32(shift));
      };
      const std::uint32_t used = (2u << (lanes - 1)) - 1u;
      std::uint32_t pending = used & ~I::BitsOf(rowsOf(columns.start[k], p, q));
      while (pending != 0) {
        V a, b;
        const auto same = rowsOf(columns.start[k + __builtin_ctz(pending)], a, b);
        p = I::Select32(same, a, p);
        q = I::Select32(same, b, q);
        pending &= ~I::BitsOf(same);
      }
    } else {
      alignas(64) std::uint32_t ps[kLanes] = {}, qs[kLanes] = {};
      for (std::int32_t lane = 0; lane < lanes; ++lane)
        ShearColumnPixels(src, r, line + lane, columns.start[k + lane], ps[lane], qs[lane]);
      p = I::Load(ps);
      q = I::Load(qs);
    }
    io.Store(dst + ElementOffset(k, 4),
             ShearMixPixels<I, false>(p, q, SpreadShearWeights<I>(io.Load(columns.wp + k))));
  };
  std::int32_t k = 0;
  for (; k + kLanes <= count; k += kLanes) group(k, simd::WholeGroup<I>{}, kLanes);
  if constexpr (I::kPartialGroups) {
    if (k < count) group(k, I::Part(count - k), count - k);
  } else {
    const ShearColumns rest{columns.start + k, columns.wp + k};
    ShearColumnRowScalar(dst + ElementOffset(k, 4), src, r, firstLine + k, rest, count - k);
  }
}

// ---- ShearColumnRunFn: the run walked in strips.
//
// A run is walked in bands of rows, each band in strips of groups of lines (a
// vector of lines each): one strip keeps the source lines its rows read
// within the first-level cache, one band keeps the pages it touches within
// reach of the address translation caches. The source rows one destination
// row reads lie a stride apart, out of reach of the hardware's own
// prefetching, so they are fetched ahead of the walk.
inline constexpr std::int32_t kShearStripBytes = 1024;  // destination bytes of a strip's row
inline constexpr std::int32_t kShearBandRows = 32;
inline constexpr std::int32_t kShearPrefetchRows = 16;

// One group of lines. P(r) holds, per line, the source pixel S[clamp(r +
// start)] of the line's column; the second neighbour of destination row r is
// the first of row r + 1, so P(r + 1) serves both.
template <class I>
struct ShearGroupWalk {
  using V = typename I::V;
  static constexpr std::int32_t kLanes = I::kBytes / 4;

  std::ptrdiff_t column;               // byte offset of the group's first line
  std::ptrdiff_t prefetch;             // from row r + lowest to the line fetched ahead
  std::int32_t lowest, highest;        // the extreme shifts
  std::int32_t entries;                // distinct shifts
  std::int32_t start[kLanes];          // per entry
  typename I::Lanes32 lanes[kLanes];   // per entry
  std::ptrdiff_t offset[kLanes];       // per entry: from row r + lowest, plus column

  MORVEX_INLINE void Init(const PlaneView<const Byte>& src, std::ptrdiff_t at,
                          const std::int32_t* lineStart) {
    ShearShift shifts[kLanes];
    entries = GroupByShift(lineStart, kLanes, shifts);
    column = at;
    lowest = highest = shifts[0].start;
    for (std::int32_t e = 0; e < entries; ++e) {
      start[e] = shifts[e].start;
      lanes[e] = I::LanesOf(shifts[e].lanes);
      lowest = start[e] < lowest ? start[e] : lowest;
      highest = start[e] > highest ? start[e] : highest;
    }
    for (std::int32_t e = 0; e < entries; ++e)
      offset[e] = static_cast<std::ptrdiff_t>((static_cast<std::int64_t>(start[e]) - lowest) *
                                              src.rowStep) +
                  column;
    // The last byte of the newest source row kPrefetchRows ahead (its first
    // line, when the load straddles two, is the previous group's last).
    prefetch = static_cast<std::ptrdiff_t>(
                   (static_cast<std::int64_t>(highest) - lowest + kShearPrefetchRows) *
                   src.rowStep) +
               column + (I::kBytes - 1);
  }

  // Rows r for which P(r) needs no clamping, and its prefetch stays inside.
  MORVEX_INLINE bool Inside(std::int64_t r, std::int32_t last) const {
    return r + lowest >= 0 && r + highest + kShearPrefetchRows <= last;
  }

  MORVEX_INLINE V P(const PlaneView<const Byte>& src, std::int32_t r) const {
    const std::int32_t last = src.height - 1;
    if (Inside(r, last)) {
      const Byte* base = src.Row(r + lowest);
      _mm_prefetch(reinterpret_cast<const char*>(base + prefetch), _MM_HINT_T0);
      V p = I::LoadPlain(base + offset[0]);
      for (std::int32_t e = 1; e < entries; ++e)
        p = I::Select32(lanes[e], I::LoadPlain(base + offset[e]), p);
      return p;
    }
    V p = I::LoadPlain(src.Row(ClampPosition(static_cast<std::int64_t>(r) + start[0], last)) +
                       column);
    for (std::int32_t e = 1; e < entries; ++e) {
      const Byte* row = src.Row(ClampPosition(static_cast<std::int64_t>(r) + start[e], last));
      p = I::Select32(lanes[e], I::LoadPlain(row + column), p);
    }
    return p;
  }
};

// Lines before the first group: as many as bring the groups' source loads
// onto vector boundaries, when every source row starts at the same offset
// from one.
template <class I>
MORVEX_INLINE std::int32_t ShearGroupPhase(const PlaneView<const Byte>& src,
                                           std::int32_t firstLine) {
  if (src.rowStep % I::kBytes != 0) return 0;
  const auto at = reinterpret_cast<std::uintptr_t>(src.firstRow) +
                  4u * static_cast<std::uint32_t>(firstLine);
  const auto gap = static_cast<std::uint32_t>(-at) & static_cast<std::uint32_t>(I::kBytes - 1);
  return gap % 4 == 0 ? static_cast<std::int32_t>(gap / 4) : 0;
}

// ShearColumnRunFn in bands and strips.
template <class I>
void ShearColumnStrips(const PlaneView<Byte>& dst, const PlaneView<const Byte>& src,
                       std::int32_t firstLine, const ShearColumns& columns, std::int32_t count) {
  using V = typename I::V;
  using Walk = ShearGroupWalk<I>;
  constexpr std::int32_t kLanes = Walk::kLanes;
  constexpr std::int32_t kRunGroups = kShearColumnRun / kLanes;
  constexpr std::int32_t kStrip = kShearStripBytes / I::kBytes;
  // Whole groups of lines inside the source's columns, from `phase` on.
  const std::int32_t usable = src.width - firstLine < count ? src.width - firstLine : count;
  const std::int32_t phase = ShearGroupPhase<I>(src, firstLine);
  std::int32_t groups = usable > phase ? (usable - phase) / kLanes : 0;
  if (groups > kRunGroups) groups = kRunGroups;
  const std::int32_t end = phase + groups * kLanes;
  // The lines outside the groups, row by row.
  const std::int32_t head = groups > 0 ? phase : 0, tail = groups > 0 ? end : 0;
  const ShearColumns rest{columns.start + tail, columns.wp + tail};
  const auto others = [&](std::int32_t r) {
    if (head > 0)
      ShearColumnRow<I>(dst.Row(r) + ElementOffset(firstLine, 4), src, r, firstLine, columns, head);
    if (tail < count)
      ShearColumnRow<I>(dst.Row(r) + ElementOffset(firstLine + tail, 4), src, r, firstLine + tail,
                        rest, count - tail);
  };
  Walk walks[kRunGroups];
  V carried[kRunGroups];  // P(r) of each group at the band's row r
  for (std::int32_t g = 0; g < groups; ++g) {
    const std::int32_t k = phase + g * kLanes;
    walks[g].Init(src, ElementOffset(firstLine + k, 4), columns.start + k);
    carried[g] = walks[g].P(src, 0);
  }
  for (std::int32_t r0 = 0; r0 < dst.height; r0 += kShearBandRows) {
    const std::int32_t r1 = dst.height - r0 < kShearBandRows ? dst.height : r0 + kShearBandRows;
    for (std::int32_t g0 = 0; g0 < groups; g0 += kStrip) {
      const std::int32_t n = groups - g0 < kStrip ? groups - g0 : kStrip;
      ShearWeights<I> weights[kStrip];
      for (std::int32_t j = 0; j < n; ++j)
        weights[j] = SpreadShearWeights<I>(I::Load(columns.wp + phase + (g0 + j) * kLanes));
      for (std::int32_t r = r0; r < r1; ++r) {
        Byte* out = dst.Row(r);
        for (std::int32_t j = 0; j < n; ++j) {
          const Walk& walk = walks[g0 + j];
          const V next = walk.P(src, r + 1);
          I::Store(out + walk.column, ShearMixPixels<I, false>(carried[g0 + j], next, weights[j]));
          carried[g0 + j] = next;
        }
      }
    }
    for (std::int32_t r = r0; r < r1; ++r) others(r);
  }
}

}  // namespace morvex::mask
