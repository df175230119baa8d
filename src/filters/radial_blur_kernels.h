// The RadialBlurMask row kernel, written once over the double lanes of the
// vector layer (frame/simd) and instantiated per instruction set in
// radial_blur_<isa>.cpp.
#pragma once

#include <climits>
#include <cstdint>
#include <type_traits>

#include "filters/radial_blur.h"

namespace morvex::filters {

// Where the four neighbours of a sample are read. Source bytes are gathered
// as 64-bit words, each read at an offset limited so that it stays inside
// its row's elements (first to last): the wanted byte is then shifted out.
// Offsets count from the lowest byte of the region, so they are never
// negative. All of this is whole-number arithmetic in doubles, exact far
// beyond any plane's size.
template <class I>
struct RadialGather {
  using D = typename I::D;
  const Byte* base;  // the lowest byte of the region
  D step, stride;    // element step and row stride
  D rowBias;         // -(lowest row offset) - (lowest element offset in a row)
  D lastRead;        // the highest element offset in a row minus 7
  D lastX, lastY;    // the last column and row
  bool paired;       // |step| <= 7: one word holds an element and its right neighbour
  bool ascending;    // step > 0
};

// The four neighbours of a sample, per lane: columns xi and x1, rows yi and y1.
template <class I>
struct RadialNeighbours {
  typename I::D p00, p10, p01, p11;
};

// Reads the four neighbours of every lane's sample at (xi, yi) by 64-bit
// gathers (see RadialGather).
template <class I>
MORVEX_INLINE RadialNeighbours<I> GatherNeighbours(const RadialGather<I>& g, typename I::D xi,
                                                   typename I::D yi) {
  using D = typename I::D;
  using V = typename I::V;
  const D eight = I::SetD(8.0), one = I::SetD(1.0);
  const D x1 = I::MinD(I::AddD(xi, one), g.lastX), y1 = I::MinD(I::AddD(yi, one), g.lastY);
  const D col0 = I::MulD(xi, g.step), col1 = I::MulD(x1, g.step);
  const D row0 = I::AddD(I::MulD(yi, g.stride), g.rowBias);
  const D row1 = I::AddD(I::MulD(y1, g.stride), g.rowBias);
  D read0, read1;
  if (g.paired) {
    // The element nearer the row's start: x1 >= xi, so its offset is the
    // smaller one for a positive step.
    read0 = read1 = I::MinD(g.ascending ? col0 : col1, g.lastRead);
  } else {
    read0 = I::MinD(col0, g.lastRead);
    read1 = I::MinD(col1, g.lastRead);
  }
  const V shift0 = I::ToIndexD(I::MulD(I::SubD(col0, read0), eight));
  const V shift1 = I::ToIndexD(I::MulD(I::SubD(col1, read1), eight));
  const V top0 = I::GatherU64(g.base, I::ToIndexD(I::AddD(row0, read0)));
  const V bottom0 = I::GatherU64(g.base, I::ToIndexD(I::AddD(row1, read0)));
  V top1 = top0, bottom1 = bottom0;
  if (!g.paired) {
    top1 = I::GatherU64(g.base, I::ToIndexD(I::AddD(row0, read1)));
    bottom1 = I::GatherU64(g.base, I::ToIndexD(I::AddD(row1, read1)));
  }
  return {I::LowByteToD(I::SrlvU64(top0, shift0)), I::LowByteToD(I::SrlvU64(top1, shift1)),
          I::LowByteToD(I::SrlvU64(bottom0, shift0)), I::LowByteToD(I::SrlvU64(bottom1, shift1))};
}

// The neighbour reader of the instruction sets without a faster one.
template <class I>
struct RadialGatherReader {
  RadialGather<I> g;
  template <bool kInterior>
  MORVEX_INLINE RadialNeighbours<I> operator()(typename I::D xi, typename I::D yi,
                                               std::bool_constant<kInterior>) const {
    return GatherNeighbours(g, xi, yi);
  }
};

// Samples at (px, py), per lane, with the bits of SampleBilinear for
// positions that are finite (no reach limit); `read` fetches the neighbours
// of (xi, yi): columns xi and xi + 1, rows yi and yi + 1, each limited to the
// last one. Inside (kInterior: every position above 0 and below the last
// column and row) the limits change nothing and are left out.
template <bool kInterior, class I, class Reader>
MORVEX_INLINE typename I::D RadialSample(const Reader& read, typename I::D px, typename I::D py,
                                         typename I::D lastX, typename I::D lastY) {
  using D = typename I::D;
  const D zero = I::SetD(0.0), one = I::SetD(1.0);
  // Positions that are not above 0 count as 0 (MaxD gives its second operand
  // unless the first is greater); beyond the last element the index is the
  // last one and the fraction the distance past it.
  const D qx = kInterior ? px : I::MaxD(px, zero), qy = kInterior ? py : I::MaxD(py, zero);
  const D xi = I::TruncD(kInterior ? qx : I::MinD(qx, lastX));
  const D yi = I::TruncD(kInterior ? qy : I::MinD(qy, lastY));
  const D fx = I::SubD(qx, xi), fy = I::SubD(qy, yi);
  const RadialNeighbours<I> n = read(xi, yi, std::bool_constant<kInterior>());
  const D restX = I::SubD(one, fx);
  const D top = I::AddD(I::MulD(n.p10, fx), I::MulD(n.p00, restX));
  const D bottom = I::AddD(I::MulD(n.p11, fx), I::MulD(n.p01, restX));
  return I::AddD(I::MulD(top, I::SubD(one, fy)), I::MulD(bottom, fy));
}

// The sums of the samples of G groups taken together (more independent work
// in flight): `most` steps, each lane adding while its step is below its
// count (kUniform: every lane's count is `most`).
template <bool kInterior, bool kUniform, int G, class I, class Reader>
MORVEX_INLINE void RadialSums(const Reader& read, typename I::D* px, typename I::D* py,
                              const typename I::D* stepX, const typename I::D* stepY,
                              const typename I::D* count, double most, typename I::D lastX,
                              typename I::D lastY, typename I::D* sum) {
  using D = typename I::D;
  const D one = I::SetD(1.0);
  D k = I::SetD(0.0);
  for (int g = 0; g < G; ++g) sum[g] = k;
  for (double done = 0; done < most; done = done + 1) {
#pragma GCC unroll 4
    for (int g = 0; g < G; ++g) {
      const D sample = RadialSample<kInterior, I>(read, px[g], py[g], lastX, lastY);
      if constexpr (kUniform)
        sum[g] = I::AddD(sum[g], sample);
      else
        sum[g] = I::SumWhereD(I::LtD(k, count[g]), sum[g], sample, sum[g]);
      px[g] = I::AddD(px[g], stepX[g]);
      py[g] = I::AddD(py[g], stepY[g]);
    }
    if constexpr (!kUniform) k = I::AddD(k, one);
  }
}

// The most steps for which a group's positions, added up step by step, stay
// within one unit of the exact segment: coordinates stay below 2^32, so each
// addition is off by less than 2^-20, 2^19 of them by less than 1/2; the
// rounded step itself adds far less than that over the segment.
inline constexpr double kInteriorSteps = 524288.0;

// Whether every lane's segment from (x, y) to (x + dx, y + dy) lies at least
// one unit inside the plane's first and last columns and rows, so that every
// position added up along it (at most kInteriorSteps) lies strictly inside.
// A lane whose segment is not a number is not inside.
template <class I>
MORVEX_INLINE bool RadialInterior(typename I::D x, typename I::D y, typename I::D dx,
                                  typename I::D dy, typename I::D lastX, typename I::D lastY) {
  using D = typename I::D;
  using DMask = typename I::DMask;
  const D one = I::SetD(1.0);
  const DMask all = I::LeD(one, one);
  const auto outside = [&](D from, D to, D last) {
    const D end = I::AddD(from, to);
    // MinD and MaxD give their second operand, the end, where it is NaN.
    const DMask low = I::LeD(one, I::MinD(from, end));
    const DMask high = I::LeD(I::MaxD(from, end), I::SubD(last, one));
    return I::OrMaskD(I::AndNotMaskD(low, all), I::AndNotMaskD(high, all));
  };
  return !I::AnyD(I::OrMaskD(outside(x, dx, lastX), outside(y, dy, lastY)));
}

// The byte offsets of a plane's elements from its lowest byte, for the readers.
struct RadialExtent {
  std::int64_t lowRow, lowCol;     // the lowest row and element offsets (0 or negative)
  std::int64_t highCol;            // the highest element offset in a row (0 or positive)
  MORVEX_INLINE explicit RadialExtent(const BytePlane& src) {
    const std::int64_t rowSpan = static_cast<std::int64_t>(src.width - 1) * src.step;
    const std::int64_t span = static_cast<std::int64_t>(src.height - 1) * src.stride;
    lowRow = span < 0 ? span : 0;
    lowCol = rowSpan < 0 ? rowSpan : 0;
    highCol = rowSpan > 0 ? rowSpan : 0;
  }
  // The bytes a row's elements span, first to last.
  MORVEX_INLINE std::int64_t RowBytes() const { return highCol - lowCol + 1; }
  MORVEX_INLINE const Byte* Base(const BytePlane& src) const { return src.first + lowRow + lowCol; }
};

// The gather reader of a plane whose rows span at least eight bytes.
template <class I>
MORVEX_INLINE RadialGather<I> MakeRadialGather(const BytePlane& src, const RadialExtent& e) {
  return {e.Base(src),
          I::SetD(src.step),
          I::SetD(src.stride),
          I::SetD(static_cast<double>(-e.lowRow - e.lowCol)),
          I::SetD(static_cast<double>(e.highCol - 7)),
          I::SetD(src.width - 1),
          I::SetD(src.height - 1),
          src.step >= -7 && src.step <= 7,
          src.step > 0};
}

// One group of kDoubles neighbouring elements of a row, one per lane, ready
// to sample: each lane has its own sample count, position and step.
template <class I>
struct RadialGroup {
  typename I::D x, inv, stepX, stepY, count;
  typename I::DMask copy;
  double most, least;  // the largest and smallest count
};

// Groups of elements as lanes, sampled together: each lane stops adding once
// its count is reached; positions advance by repeated addition in the scalar
// order.
template <class I, int G, class Reader>
MORVEX_INLINE void RadialSampleGroups(const Reader& read, RadialGroup<I>* group, typename I::D y,
                                      typename I::D lastX, typename I::D lastY,
                                      typename I::D* sum) {
  using D = typename I::D;
  D px[G], py[G], stepX[G], stepY[G], count[G];
  bool uniform = true;
  double most = 0;
  for (int g = 0; g < G; ++g) {
    px[g] = group[g].x;
    py[g] = y;
    stepX[g] = group[g].stepX;
    stepY[g] = group[g].stepY;
    count[g] = group[g].count;
    uniform = uniform && group[g].least == group[0].most && group[g].most == group[0].most;
    most = group[g].most > most ? group[g].most : most;
  }
  // Every lane takes `most` steps (the finished ones discard theirs), so the
  // segments checked run `most` steps long.
  bool interior = most <= kInteriorSteps;
  for (int g = 0; g < G && interior; ++g) {
    const D steps = I::SetD(most);
    interior = RadialInterior<I>(px[g], y, I::MulD(stepX[g], steps), I::MulD(stepY[g], steps),
                                 lastX, lastY);
  }
  // Copied lanes count 0, so groups of equal counts have none.
  if (uniform && interior)
    RadialSums<true, true, G, I>(read, px, py, stepX, stepY, count, most, lastX, lastY, sum);
  else if (uniform)
    RadialSums<false, true, G, I>(read, px, py, stepX, stepY, count, most, lastX, lastY, sum);
  else if (interior)
    RadialSums<true, false, G, I>(read, px, py, stepX, stepY, count, most, lastX, lastY, sum);
  else
    RadialSums<false, false, G, I>(read, px, py, stepX, stepY, count, most, lastX, lastY, sum);
}

// The row's elements, kDoubles neighbouring ones as lanes, two groups at a
// time where both can. A group with an element whose count does not fit 32
// bits (a bounded, spread-out segment) and the row's tail (fewer than
// kDoubles elements) take RadialElement.
template <class I, class Reader>
void RadialGroups(Byte* dstRow, std::int32_t dstStep, const BytePlane& src,
                          std::int32_t y, double dy, const RadialParams& p, const Reader& read) {
  using D = typename I::D;
  using DMask = typename I::DMask;
  constexpr int kLanes = I::kDoubles;
  const D lastX = I::SetD(src.width - 1), lastY = I::SetD(src.height - 1);
  const D zero = I::SetD(0.0), one = I::SetD(1.0);
  const D centre = I::SetD(p.centerX), kx = I::SetD(p.kx), gain = I::SetD(p.gain);
  const D dyv = I::SetD(dy), ay = I::AbsD(dyv), fy = I::SetD(y);
  const DMask dyNan = I::IsNanD(dyv), all = I::LeD(zero, zero);
  double lane[kLanes];
  for (int i = 0; i < kLanes; ++i) lane[i] = i;
  const D lanes = I::LoadD(lane);
  // Sets up the group at element x; false where it takes RadialElement.
  const auto prepare = [&](std::int32_t x, RadialGroup<I>& g) {
    g.x = I::AddD(I::SetD(x), lanes);
    const D dx = I::SubD(I::AddD(centre, I::MulD(I::SubD(g.x, centre), kx)), g.x);
    const D m = I::MaxD(I::AbsD(dx), ay);
    // m > 0 fails for 0 and NaN; dx NaN leaves m = |dy| in MaxD.
    g.copy = I::OrMaskD(I::OrMaskD(I::IsNanD(dx), dyNan), I::AndNotMaskD(I::GtD(m, zero), all));
    const DMask counted = I::LeD(m, I::SetD(kMaxRadialCount));
    if (I::AnyD(I::AndNotMaskD(g.copy, I::AndNotMaskD(counted, all)))) return false;
    // n = ceil(m) for 0 < m < 2^31; copied lanes take no samples.
    const D whole = I::TruncD(I::SelectD(g.copy, one, m));
    const D n = I::AddD(whole, I::SelectD(I::LtD(whole, m), one, zero));
    g.inv = I::DivD(one, n);
    g.stepX = I::MulD(dx, g.inv);
    g.stepY = I::MulD(dyv, g.inv);
    g.count = I::SelectD(g.copy, zero, n);
    double counts[kLanes];
    I::StoreD(counts, g.count);
    g.most = 0;
    g.least = counts[0];
    for (int i = 0; i < kLanes; ++i) {
      g.most = counts[i] > g.most ? counts[i] : g.most;
      g.least = counts[i] < g.least ? counts[i] : g.least;
    }
    return true;
  };
  const auto finish = [&](std::int32_t x, const RadialGroup<I>& g, D sum) {
    const D v = I::MulD(g.inv, I::MulD(sum, gain));
    double values[kLanes];
    std::int32_t truncated[kLanes];
    I::StoreD(values, v);
    I::StoreTruncatedD(truncated, v);
    double copies[kLanes];
    I::StoreD(copies, I::SelectD(g.copy, one, zero));
    for (int i = 0; i < kLanes; ++i) {
      Byte& d = dstRow[ElementOffset(x + i, dstStep)];
      if (copies[i] != 0.0)
        d = src.first[ElementOffset(y, src.stride) + ElementOffset(x + i, src.step)];
      else
        d = values[i] >= 255.0 ? 255
                               : static_cast<Byte>(static_cast<std::uint32_t>(truncated[i]) & 0xFFu);
    }
  };
  // One group, set up (or not: see prepare) and sampled alone.
  const auto single = [&](std::int32_t x, RadialGroup<I>& g, bool prepared) {
    if (!prepared) {
      for (int i = 0; i < kLanes; ++i)
        dstRow[ElementOffset(x + i, dstStep)] = RadialElement(src, x + i, y, dy, p);
      return;
    }
    D sum;
    RadialSampleGroups<I, 1>(read, &g, fy, lastX, lastY, &sum);
    finish(x, g, sum);
  };
  std::int32_t x = 0;
  RadialGroup<I> g[2];
  for (; x <= src.width - 2 * kLanes; x += 2 * kLanes) {
    const bool first = prepare(x, g[0]), second = prepare(x + kLanes, g[1]);
    if (first && second) {
      D sum[2];
      RadialSampleGroups<I, 2>(read, g, fy, lastX, lastY, sum);
      finish(x, g[0], sum[0]);
      finish(x + kLanes, g[1], sum[1]);
    } else {
      single(x, g[0], first);
      single(x + kLanes, g[1], second);
    }
  }
  for (; x <= src.width - kLanes; x += kLanes) single(x, g[0], prepare(x, g[0]));
  for (; x < src.width; ++x) dstRow[ElementOffset(x, dstStep)] = RadialElement(src, x, y, dy, p);
}

// The row kernel over gathers; the end of the row takes RadialElement, and
// so do rows whose elements span fewer than eight bytes.
template <class I>
void RadialRow(Byte* dstRow, std::int32_t dstStep, const BytePlane& src, std::int32_t y,
               double dy, const RadialParams& p) {
  const RadialExtent extent(src);
  if (extent.RowBytes() >= 8)
    return RadialGroups<I>(dstRow, dstStep, src, y, dy, p,
                           RadialGatherReader<I>{MakeRadialGather<I>(src, extent)});
  for (std::int32_t x = 0; x < src.width; ++x)
    dstRow[ElementOffset(x, dstStep)] = RadialElement(src, x, y, dy, p);
}

// Reads the neighbours of a group's lanes from short runs ("windows") of the
// two rows they sample, loaded whole, by byte picks (I::PickD), where the
// layer has them: neighbouring elements move along nearly parallel rays, so
// their samples mostly lie within a few bytes of one another on one row
// pair. The window starts a little before lane 0's element, inside the row;
// where the lanes straddle two rows, three windows are read, and where they
// spread wider than a window, the neighbours are gathered.
template <class I>
class RadialWindowReader {
  using D = typename I::D;
  using Window = typename I::Window;
  using Offsets = typename I::Offsets;
  static constexpr std::int32_t kBytes = I::kWindowBytes;

 public:
  // Windows pay where a group's elements span at most half a window, and
  // they need rows of at least a window whose offsets fit 32 bits.
  static MORVEX_INLINE bool Suits(const BytePlane& src, const RadialExtent& e) {
    const std::int64_t span = static_cast<std::int64_t>(src.step < 0 ? -src.step : src.step);
    return span * I::kDoubles <= kBytes / 2 && e.RowBytes() >= kBytes && e.RowBytes() <= INT32_MAX;
  }

  RadialWindowReader(const BytePlane& src, const RadialExtent& e)
      : gather_(MakeRadialGather<I>(src, e)),
        base_(e.Base(src)),
        stepD_(I::SetD(src.step)),
        colBiasD_(I::SetD(static_cast<double>(-e.lowCol))),
        step_(src.step),
        stride_(src.stride),
        rowBias_(-e.lowRow),
        lastRow_(src.height - 1),
        // Lane 0 is the group's first element: the others lie after it in
        // memory for a positive step, before it for a negative one.
        lead_(-e.lowCol - (src.step > 0 ? kBytes / 4 : kBytes - 1 - kBytes / 4)),
        lastWindow_(e.RowBytes() - kBytes) {}

  template <bool kInterior>
  MORVEX_INLINE RadialNeighbours<I> operator()(D xi, D yi, std::bool_constant<kInterior>) const {
    // The window and its rows come from lane 0 in whole numbers (below 2^31,
    // so the 32-bit conversions are exact), off the vector chain.
    const std::int64_t row = TruncateToInt32(I::FirstD(yi));
    std::int64_t start = std::int64_t{TruncateToInt32(I::FirstD(xi))} * step_ + lead_;
    start = start > 0 ? start : 0;
    const auto from = static_cast<std::int32_t>(start < lastWindow_ ? start : lastWindow_);
    const D col0 = I::AddD(I::MulD(xi, stepD_), colBiasD_);
    const Offsets at0 = I::ToOffsetsD(col0, from);
    // The right neighbour: one step on, or the same element in the last column.
    const Offsets at1 =
        kInterior ? I::AddOffsets(at0, step_)
                  : I::ToOffsetsD(I::SumWhereD(I::LtD(xi, gather_.lastX), col0, stepD_, col0), from);
    const bool within = I::WithinWindow(at0, at1);
    if (!(within && I::AllEqualFirstD(yi))) [[unlikely]]
      return Spread(xi, yi, at0, at1, from, within);
    const Window upper = Load(row, from), lower = Load(kInterior ? row + 1 : Below(row), from);
    return {I::PickD(upper, at0), I::PickD(upper, at1), I::PickD(lower, at0), I::PickD(lower, at1)};
  }

 private:
  // The lanes are not all on one row pair inside one window. Out of line, so
  // that the common case keeps its values in registers.
  [[gnu::noinline]] RadialNeighbours<I> Spread(D xi, D yi, Offsets at0, Offsets at1,
                                               std::int32_t from, bool within) const {
    if (!within) return GatherNeighbours(gather_, xi, yi);
    // Lanes on two neighbouring rows (their counts differ, so their steps
    // do): three windows, each lane taking its own pair.
    const double first = I::LeastD(yi);
    const D below = I::SubD(yi, I::SetD(first));
    if (I::AnyD(I::GtD(below, I::SetD(1.0)))) return GatherNeighbours(gather_, xi, yi);
    const auto second = I::GtD(below, I::SetD(0.0));
    const std::int64_t top = TruncateToInt32(first), middle = Below(top);
    const Window w0 = Load(top, from), w1 = Load(middle, from), w2 = Load(Below(middle), from);
    return {I::SelectD(second, I::PickD(w1, at0), I::PickD(w0, at0)),
            I::SelectD(second, I::PickD(w1, at1), I::PickD(w0, at1)),
            I::SelectD(second, I::PickD(w2, at0), I::PickD(w1, at0)),
            I::SelectD(second, I::PickD(w2, at1), I::PickD(w1, at1))};
  }

  // The row after `row`, or the last row itself.
  MORVEX_INLINE std::int64_t Below(std::int64_t row) const {
    return row < lastRow_ ? row + 1 : lastRow_;
  }
  // The window of `row` from byte `from` of its elements on.
  MORVEX_INLINE Window Load(std::int64_t row, std::int32_t from) const {
    return I::LoadWindow(base_ + (row * stride_ + rowBias_ + from));
  }

  RadialGather<I> gather_;
  const Byte* base_;
  D stepD_, colBiasD_;
  std::int32_t step_;
  std::int64_t stride_, rowBias_, lastRow_, lead_, lastWindow_;
};

// The row kernel over windows where they suit the plane (see
// RadialWindowReader), over gathers otherwise.
template <class I>
void RadialRowWindows(Byte* dstRow, std::int32_t dstStep, const BytePlane& src, std::int32_t y,
                      double dy, const RadialParams& p) {
  const RadialExtent extent(src);
  if (!RadialWindowReader<I>::Suits(src, extent)) return RadialRow<I>(dstRow, dstStep, src, y, dy, p);
  RadialGroups<I>(dstRow, dstStep, src, y, dy, p, RadialWindowReader<I>(src, extent));
}

}  // namespace morvex::filters
