// The EdgeDetect row kernels, written once over the vector layer
// (frame/simd) and instantiated per instruction set in edge_detect_<isa>.cpp.
#pragma once

#include <cstdint>

#include "filters/edge_detect.h"
#include "filters/neighbour_rows.h"

namespace morvex::filters {

// How far ahead of a group the row below and the destination are prefetched.
// The row above and the current one were read for the rows before and are
// in cache; the row below comes from memory, and the destination is read for
// ownership. Without this the kernel waits on memory between its groups
// (about twice as slow on large planes); measured on 4096-pixel rows: 1 KiB
// gains little, 4 to 8 KiB the most, 16 KiB no more.
inline constexpr std::uintptr_t kEdgePrefetchBytes = 4096;

// p + kEdgePrefetchBytes, formed as an integer: it may lie past the plane (a
// prefetch never faults), where a pointer may not point.
MORVEX_INLINE const void* EdgeAhead(const Byte* p) {
  return reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(p) + kEdgePrefetchBytes);
}

// All on bytes: |a - b| as the sum of both saturating differences (one is
// 0), strengths as byte maxima, and strength >= floor as max(v, floor) == v.
template <class I, bool kGray>
void EdgeRow(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
             std::int32_t width, std::int32_t threshold) {
  using V = typename I::V;
  EdgeBorders(dst, width);
  const ByteThreshold bt = MakeByteThreshold(threshold);
  const V floor = I::Set8(bt.floor), enabled = I::Set8(bt.enabled);
  const V mark = I::Set8(bt.mark), opaque = I::Set32(static_cast<std::int32_t>(kOpaqueBlack));
  const auto absDiff = [](V a, V b) { return I::Or(I::SubsU8(a, b), I::SubsU8(b, a)); };
  WalkNeighbourhoods<I>(
      width, dst, above, row, below,
      [&](std::ptrdiff_t x, const Neighbourhood<I>& n, const auto& io) {
        const std::ptrdiff_t at = 4 * x;
        __builtin_prefetch(EdgeAhead(below + at));
        __builtin_prefetch(EdgeAhead(dst + at), 1);
        const V d1 = absDiff(n.left[0], n.right[2]);
        const V d2 = absDiff(n.centre[0], n.centre[2]);
        const V d3 = absDiff(n.right[0], n.left[2]);
        const V d4 = absDiff(n.left[1], n.right[1]);
        const V v = I::MaxU8(I::MaxU8(d1, d2), I::MaxU8(d3, d4));
        const V pass = I::And(I::CmpEq8(I::MaxU8(v, floor), v), enabled);
        V out;
        if constexpr (kGray) {
          const V o = I::And(I::And(v, pass), I::Set32(0xFF));
          out = I::Or(I::Or(o, I::template Slli32<8>(o)),
                      I::Or(I::template Slli32<16>(o), opaque));
        } else {
          out = I::Or(I::And(pass, mark), opaque);
        }
        io.Store(dst + at, out);
      },
      [&](std::ptrdiff_t x) {
        EdgePixel(dst, above, row, below, static_cast<std::int32_t>(x), kGray, threshold);
      });
}

template <class I>
constexpr EdgeKernels MakeEdgeKernels() {
  return {&EdgeRow<I, true>, &EdgeRow<I, false>};
}

}  // namespace morvex::filters
