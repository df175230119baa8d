// The RadialBlurMask row kernel, written once over the double lanes of the
// vector layer (frame/simd) and instantiated per instruction set in
// radial_blur_<isa>.cpp.
#pragma once

#include <cstdint>

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
  MORVEX_INLINE RadialNeighbours<I> operator()(typename I::D xi, typename I::D yi) const {
    return GatherNeighbours(g, xi, yi);
  }
};

// Samples at (px, py), per lane, with the bits of SampleBilinear for
// positions that are finite (no reach limit); `read` fetches the neighbours
// of (xi, yi): columns xi and xi + 1, rows yi and yi + 1, each limited to the
// last one.
template <class I, class Reader>
MORVEX_INLINE typename I::D RadialSample(const Reader& read, typename I::D px, typename I::D py,
                                         typename I::D lastX, typename I::D lastY) {
  using D = typename I::D;
  const D zero = I::SetD(0.0), one = I::SetD(1.0);
  // Positions that are not above 0 count as 0 (MaxD gives its second operand
  // unless the first is greater); beyond the last element the index is the
  // last one and the fraction the distance past it.
  const D qx = I::MaxD(px, zero), qy = I::MaxD(py, zero);
  const D xi = I::TruncD(I::MinD(qx, lastX)), yi = I::TruncD(I::MinD(qy, lastY));
  const D fx = I::SubD(qx, xi), fy = I::SubD(qy, yi);
  const RadialNeighbours<I> n = read(xi, yi);
  const D restX = I::SubD(one, fx);
  const D top = I::AddD(I::MulD(n.p10, fx), I::MulD(n.p00, restX));
  const D bottom = I::AddD(I::MulD(n.p11, fx), I::MulD(n.p01, restX));
  return I::AddD(I::MulD(top, I::SubD(one, fy)), I::MulD(bottom, fy));
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

// kDoubles neighbouring elements of a row as lanes, from element x on: each
// lane has its own sample count and position, advanced by repeated addition
// in the scalar order, and stops adding once its count is reached. A group
// with an element whose count does not fit 32 bits (a bounded, spread-out
// segment) takes RadialElement. Returns the first element not written (the
// row's tail, fewer than kDoubles elements).
template <class I, class Reader>
std::int32_t RadialGroups(Byte* dstRow, std::int32_t dstStep, const BytePlane& src,
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
  std::int32_t x = 0;
  for (; x <= src.width - kLanes; x += kLanes) {
    const D fx = I::AddD(I::SetD(x), lanes);
    const D dx = I::SubD(I::AddD(centre, I::MulD(I::SubD(fx, centre), kx)), fx);
    const D m = I::MaxD(I::AbsD(dx), ay);
    // m > 0 fails for 0 and NaN; dx NaN leaves m = |dy| in MaxD.
    const DMask copy = I::OrMaskD(I::OrMaskD(I::IsNanD(dx), dyNan),
                                  I::AndNotMaskD(I::GtD(m, zero), all));
    const DMask counted = I::LeD(m, I::SetD(kMaxRadialCount));
    if (I::AnyD(I::AndNotMaskD(copy, I::AndNotMaskD(counted, all)))) {
      for (int i = 0; i < kLanes; ++i)
        dstRow[ElementOffset(x + i, dstStep)] = RadialElement(src, x + i, y, dy, p);
      continue;
    }
    // n = ceil(m) for 0 < m < 2^31; copied lanes take no samples.
    const D whole = I::TruncD(I::SelectD(copy, one, m));
    const D n = I::AddD(whole, I::SelectD(I::LtD(whole, m), one, zero));
    const D inv = I::DivD(one, n);
    const D stepX = I::MulD(dx, inv), stepY = I::MulD(dyv, inv);
    const D count = I::SelectD(copy, zero, n);
    double counts[kLanes];
    I::StoreD(counts, count);
    double most = 0;
    for (int i = 0; i < kLanes; ++i) most = counts[i] > most ? counts[i] : most;
    D px = fx, py = fy, sum = zero, k = zero;
    for (double done = 0; done < most; done = done + 1) {
      const D sample = RadialSample<I>(read, px, py, lastX, lastY);
      sum = I::SumWhereD(I::LtD(k, count), sum, sample, sum);
      k = I::AddD(k, one);
      px = I::AddD(px, stepX);
      py = I::AddD(py, stepY);
    }
    const D v = I::MulD(inv, I::MulD(sum, gain));
    double values[kLanes];
    std::int32_t truncated[kLanes];
    I::StoreD(values, v);
    I::StoreTruncatedD(truncated, v);
    double copies[kLanes];
    I::StoreD(copies, I::SelectD(copy, one, zero));
    for (int i = 0; i < kLanes; ++i) {
      Byte& d = dstRow[ElementOffset(x + i, dstStep)];
      if (copies[i] != 0.0)
        d = src.first[ElementOffset(y, src.stride) + ElementOffset(x + i, src.step)];
      else
        d = values[i] >= 255.0 ? 255
                               : static_cast<Byte>(static_cast<std::uint32_t>(truncated[i]) & 0xFFu);
    }
  }
  return x;
}

// The row kernel over gathers; the end of the row takes RadialElement, and
// so do rows whose elements span fewer than eight bytes.
template <class I>
void RadialRow(Byte* dstRow, std::int32_t dstStep, const BytePlane& src, std::int32_t y,
               double dy, const RadialParams& p) {
  const RadialExtent extent(src);
  std::int32_t x = 0;
  if (extent.RowBytes() >= 8)
    x = RadialGroups<I>(dstRow, dstStep, src, y, dy, p,
                        RadialGatherReader<I>{MakeRadialGather<I>(src, extent)});
  for (; x < src.width; ++x) dstRow[ElementOffset(x, dstStep)] = RadialElement(src, x, y, dy, p);
}

}  // namespace morvex::filters
