// Edge detection on ARGB images: the per-pixel definition, the row kernels
// and their table.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/compiler.h"
#include "frame/dispatch.h"
#include "frame/plane.h"

namespace morvex::filters {

MORVEX_INLINE int AbsoluteDifference(int a, int b) { return a > b ? a - b : b - a; }

// Edge strength 0..255 of channel c at column j (1 .. width - 2): the largest
// absolute difference between opposite neighbours; the centre is not used.
MORVEX_INLINE int EdgeStrength(const Byte* above, const Byte* row, const Byte* below,
                               std::int32_t j, int c) {
  const std::size_t centre = 4 * static_cast<std::size_t>(j) + static_cast<std::size_t>(c);
  const std::size_t left = centre - 4, right = centre + 4;
  int v = AbsoluteDifference(above[left], below[right]);
  const int d2 = AbsoluteDifference(above[centre], below[centre]);
  const int d3 = AbsoluteDifference(above[right], below[left]);
  const int d4 = AbsoluteDifference(row[left], row[right]);
  if (d2 > v) v = d2;
  if (d3 > v) v = d3;
  if (d4 > v) v = d4;
  return v;
}

inline constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;

// Gray output: the blue strength where it reaches the threshold, else 0, in
// blue, green and red; opaque.
MORVEX_INLINE std::uint32_t EdgeGrayPixel(int strength, std::int32_t threshold) {
  const auto o = static_cast<std::uint32_t>(strength < threshold ? 0 : strength);
  return o | (o << 8) | (o << 16) | kOpaqueBlack;
}

// Per-channel output: a channel whose strength reaches the threshold takes
// the threshold's low byte, else 0; opaque.
MORVEX_INLINE std::uint32_t EdgeChannelPixel(const int strength[3], std::int32_t threshold) {
  const std::uint32_t mark = static_cast<std::uint32_t>(threshold) & 0xFFu;
  std::uint32_t out = kOpaqueBlack;
  for (int c = 0; c < 3; ++c)
    if (strength[c] >= threshold) out |= mark << (8 * c);
  return out;
}

// Interior pixel j (1 .. width - 2) of a destination row.
MORVEX_INLINE void EdgePixel(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
                             std::int32_t j, bool gray, std::int32_t threshold) {
  std::uint32_t out;
  if (gray) {
    out = EdgeGrayPixel(EdgeStrength(above, row, below, j, kBlue), threshold);
  } else {
    const int strength[3] = {EdgeStrength(above, row, below, j, kBlue),
                             EdgeStrength(above, row, below, j, kGreen),
                             EdgeStrength(above, row, below, j, kRed)};
    out = EdgeChannelPixel(strength, threshold);
  }
  StoreU32(dst + 4 * static_cast<std::size_t>(j), out);
}

// The first and last pixel of a row (the same pixel when width is 1).
MORVEX_INLINE void EdgeBorders(Byte* dst, std::int32_t width) {
  StoreU32(dst, kOpaqueBlack);
  StoreU32(dst + 4 * (static_cast<std::size_t>(width) - 1), kOpaqueBlack);
}

// The threshold as an integer: threshold * 255 truncated; NaN and values out
// of the 32-bit range give INT32_MIN, which passes every strength.
std::int32_t EdgeThreshold(double threshold);

// Vector form of the threshold test "strength >= threshold" on bytes: pass
// where enabled and strength >= floor (floor is the threshold limited to
// 0..255; a threshold above 255 disables every pixel).
struct ByteThreshold {
  Byte floor;
  Byte enabled;  // 0xFF or 0
  Byte mark;     // the threshold's low byte
};
MORVEX_INLINE ByteThreshold MakeByteThreshold(std::int32_t threshold) {
  const std::int32_t floor = threshold < 0 ? 0 : (threshold > 255 ? 255 : threshold);
  return {static_cast<Byte>(floor), static_cast<Byte>(threshold > 255 ? 0 : 0xFF),
          static_cast<Byte>(static_cast<std::uint32_t>(threshold) & 0xFFu)};
}

// A row kernel: one destination row of `width` >= 1 pixels (borders and
// interior) from the source rows above, at and below it, with the bits of
// EdgeBorders and EdgePixel; `gray` is the kernel's output kind.
using EdgeRowKernel = void (*)(Byte* dst, const Byte* above, const Byte* row, const Byte* below,
                               std::int32_t width, std::int32_t threshold);

struct EdgeKernels {
  EdgeRowKernel gray;      // singleChannel set: the blue strength as gray
  EdgeRowKernel channels;  // singleChannel clear: a mark per colour channel
};
extern const EdgeKernels kEdgeKernelsScalar;
extern const EdgeKernels kEdgeKernelsSse2;
extern const EdgeKernels kEdgeKernelsAvx2;
extern const EdgeKernels kEdgeKernelsAvx512;
extern const KernelTable<EdgeKernels> kEdgeKernelTable;

// Detects edges of an ARGB region from src into dst (which must not overlap
// it). Rows narrower than one pixel are skipped.
void EdgeDetectPlane(Rows dst, ConstRows src, std::int32_t width, std::int32_t height, bool gray,
                     double threshold);

}  // namespace morvex::filters
