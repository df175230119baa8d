// Shear of ARGB images along rows or columns: line i of the destination is
// line i of the source shifted by i * factor positions, each pixel the
// 12-bit fixed-point interpolation (4096 = 1.0) of two neighbouring source
// pixels, and the uncovered ends repeat the line's first or last pixel.
#pragma once

#include <cmath>
#include <cstdint>

#include "frame/compiler.h"
#include "frame/convert.h"
#include "frame/dispatch.h"
#include "frame/plane.h"

namespace morvex::mask {

enum ShearDirection : std::uint32_t {
  kShearColumnsFromLastRow = 0,   // vertical, positions counted up from the last row
  kShearRowsFromRight = 1,        // horizontal, positions counted from the right
  kShearRowsFromLeft = 2,         // horizontal, positions counted from the left
  kShearColumnsFromFirstRow = 3,  // vertical, positions counted down from the first row
};

// A plane addressed in a chosen row and column order. The row step is kept in
// 64 bits so that reversing any 32-bit stride is exact.
template <class B>
struct PlaneView {
  B* firstRow;
  std::int64_t rowStep;
  std::int32_t width;
  std::int32_t height;
  bool columnsForward;
  bool rowsForward;

  MORVEX_INLINE B* Row(std::int32_t r) const {
    return firstRow + static_cast<std::ptrdiff_t>(static_cast<std::int64_t>(r) * rowStep);
  }
  MORVEX_INLINE B* Pixel(std::int32_t c, std::int32_t r) const {
    return Row(r) + ElementOffset(columnsForward ? c : width - 1 - c, 4);
  }
  // The pixel with c and r first limited to the plane.
  MORVEX_INLINE std::uint32_t ClampedRead(std::int32_t c, std::int32_t r) const {
    c = c < 0 ? 0 : (c >= width ? width - 1 : c);
    r = r < 0 ? 0 : (r >= height ? height - 1 : r);
    return LoadU32(Pixel(c, r));
  }
};

template <class B>
MORVEX_INLINE PlaneView<B> MakePlaneView(B* pixels, std::int32_t stride, std::int32_t width,
                                         std::int32_t height, bool columnsForward,
                                         bool rowsForward) {
  if (rowsForward) return {pixels, stride, width, height, columnsForward, rowsForward};
  return {pixels + ElementOffset(height - 1, stride), -static_cast<std::int64_t>(stride), width,
          height, columnsForward, rowsForward};
}

// Position i of a line of `count` pixels as a memory index.
MORVEX_INLINE std::int32_t MirrorIndex(std::int32_t i, std::int32_t count, bool forward) {
  return forward ? i : count - 1 - i;
}

// Byte k of the result is (p_k * wp + q_k * wq + 2048) / 4096, for weights
// wp + wq = 4096: the weighted mean of the bytes, rounded half up.
MORVEX_INLINE std::uint32_t LerpPixel(std::uint32_t p, std::uint32_t q, std::int32_t wp,
                                      std::int32_t wq) {
  std::uint32_t result = 0;
  for (int k = 0; k < 4; ++k) {
    const std::int32_t pk = static_cast<std::int32_t>((p >> (8 * k)) & 0xFFu);
    const std::int32_t qk = static_cast<std::int32_t>((q >> (8 * k)) & 0xFFu);
    const std::int32_t mixed = (pk * wp + qk * wq + 2048) / 4096;
    result |= static_cast<std::uint32_t>(mixed) << (8 * k);
  }
  return result;
}

// Farthest shift taken literally: no line has 2^31 positions, so a larger
// shift shows only edge pixels, the same as this one.
inline constexpr double kMaxShearShift = 2147483648.0;

// The shift of one line, as the start offset and the weights of a single
// formula that covers every position j of the destination line:
//   D[j] = LerpPixel(S[clamp(j + start)], S[clamp(j + start + 1)], wp, wq)
// with source positions limited to 0 .. L_src - 1. For factor >= 0 (content
// moved away from position 0 by s = |i * factor|) start = -floor(s) - 1 and
// (wp, wq) = (fr, 4096 - fr); for factor < 0 start = floor(s) and the weights
// swap. The clamps give the repeated first pixel before the shifted line and
// the repeated last pixel after it, exactly as the unblended copies would.
struct ShearLine {
  std::int64_t start;
  std::int32_t wp, wq;
};

MORVEX_INLINE ShearLine ShearLineOf(std::int32_t line, double factor) {
  double s = std::fabs(static_cast<double>(line) * factor);
  if (s != s) s = 0.0;  // a NaN factor shifts nothing
  if (s > kMaxShearShift) s = kMaxShearShift;
  const double n = std::floor(s);
  const std::int32_t fr = TruncateToInt32((s - n) * 4096.0);  // 0 .. 4095
  const auto whole = static_cast<std::int64_t>(n);              // 0 .. 2^31, exact
  if (factor >= 0.0) return {-whole - 1, fr, 4096 - fr};
  return {whole, 4096 - fr, fr};
}

// A source position limited to 0 .. last.
MORVEX_INLINE std::int32_t ClampPosition(std::int64_t t, std::int32_t last) {
  return t < 0 ? 0 : (t > last ? last : static_cast<std::int32_t>(t));
}

// One row of a horizontal line whose positions need no clamping:
// dst[x] = LerpPixel(a[x], b[x], wp, wq) over unaligned pixel rows. b is the
// neighbour one position further along the line (a + 4 or a - 4 bytes).
using ShearLerpRowFn = void (*)(Byte* dst, const Byte* a, const Byte* b, std::int32_t count,
                                std::int32_t wp, std::int32_t wq);
void ShearLerpRowScalar(Byte* dst, const Byte* a, const Byte* b, std::int32_t count,
                        std::int32_t wp, std::int32_t wq);

// Vertical lines whose shifts are worked out together: the most a run holds.
inline constexpr std::int32_t kShearColumnRun = 1024;

// The shifts of a run of vertical lines, worked out once for all rows: start
// (limited to -(L_dst + 1) .. L_src - 1, which changes no pixel) and wp
// (0 .. 4096), the weight of the first neighbour (wq = 4096 - wp).
struct ShearColumns {
  const std::int32_t* start;
  const std::int32_t* wp;
};

// A group of neighbouring lines listed by distinct shift: one pair of source
// rows per entry serves every line of the entry.
struct ShearShift {
  std::int32_t start;
  std::uint32_t lanes;  // bit k: line k of the group has this shift
};
// Lists the shifts start[0 .. lines - 1] (lines <= 32) into shifts; returns
// the entry count.
std::int32_t GroupByShift(const std::int32_t* start, std::int32_t lines, ShearShift* shifts);

// The two source pixels of destination row r for the vertical line `line`
// with shift start `start`: S[clamp(r + start)] and S[clamp(r + start + 1)]
// of the view's column min(line, width - 1).
MORVEX_INLINE void ShearColumnPixels(const PlaneView<const Byte>& src, std::int32_t r,
                                     std::int32_t line, std::int32_t start, std::uint32_t& p,
                                     std::uint32_t& q) {
  const std::int32_t last = src.height - 1;
  const std::int64_t t = static_cast<std::int64_t>(r) + start;
  // Lines past the source's last column repeat that column.
  const std::ptrdiff_t column = ElementOffset(line < src.width ? line : src.width - 1, 4);
  p = LoadU32(src.Row(ClampPosition(t, last)) + column);
  q = LoadU32(src.Row(ClampPosition(t + 1, last)) + column);
}

// One destination row r of a vertical shear across lines (memory columns)
// firstLine .. firstLine + count - 1, dst at line firstLine's pixel and the
// shifts at the run's first entry:
//   D[k] = LerpPixel(S_k[clamp(r + start_k)], S_k[clamp(r + start_k + 1)], wp_k, 4096 - wp_k)
// with S_k the source view's column min(firstLine + k, width - 1).
void ShearColumnRowScalar(Byte* dst, const PlaneView<const Byte>& src, std::int32_t r,
                          std::int32_t firstLine, const ShearColumns& columns, std::int32_t count);

// Every destination row of a vertical shear across lines firstLine ..
// firstLine + count - 1 (count <= kShearColumnRun, the run of `columns`),
// each pixel as ShearColumnRowScalar gives it.
using ShearColumnRunFn = void (*)(const PlaneView<Byte>& dst, const PlaneView<const Byte>& src,
                                  std::int32_t firstLine, const ShearColumns& columns,
                                  std::int32_t count);

struct ShearKernels {
  ShearLerpRowFn lerpRow;      // horizontal directions
  ShearColumnRunFn columnRun;  // vertical directions
};
extern const ShearKernels kShearKernelsScalar;
extern const ShearKernels kShearKernelsSse2;
extern const ShearKernels kShearKernelsAvx2;
extern const ShearKernels kShearKernelsAvx512;
extern const KernelTable<ShearKernels> kShearKernelTable;

// The whole operation (always succeeds).
void ShearPlanes(const Byte* src, std::int32_t srcStride, std::int32_t srcWidth,
                 std::int32_t srcHeight, Byte* dst, std::int32_t dstStride, std::int32_t dstWidth,
                 std::int32_t dstHeight, std::uint32_t direction, double factor);

}  // namespace morvex::mask
