#include "mask/shear.h"

#include "frame/cpu_features.h"

namespace morvex::mask {
namespace {

std::int64_t Clamp64(std::int64_t v, std::int64_t lo, std::int64_t hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

void FillPixels(Byte* dst, std::int64_t count, std::uint32_t pixel) {
  for (std::int64_t x = 0; x < count; ++x) StoreU32(dst + 4 * x, pixel);
}

// Horizontal directions: line i is row i of both planes, positions are
// columns (mirrored when counted from the right); the caller supplies
// dstHeight source rows, whatever srcHeight says. The line is split where the
// source clamps change: repeats of the first pixel, the interpolated run,
// repeats of the last.
void ShearRows(const Byte* src, std::int32_t srcStride, std::int32_t srcWidth, Byte* dst,
               std::int32_t dstStride, std::int32_t dstWidth, std::int32_t dstHeight,
               bool forward, double factor, ShearLerpRowFn lerpRow) {
  const std::int32_t last = srcWidth - 1;
  const std::int64_t lineLength = dstWidth;
  const ConstRows srcRows{src, srcStride};
  const Rows dstRows{dst, dstStride};
  for (std::int32_t i = 0; i < dstHeight; ++i) {
    const Byte* s = srcRows.RowAt(i);
    Byte* d = dstRows.RowAt(i);
    const ShearLine line = ShearLineOf(i, factor);
    const std::int64_t leftEnd = Clamp64(-line.start, 0, lineLength);
    const std::int64_t midEnd = Clamp64(last - line.start, leftEnd, lineLength);
    const std::uint32_t first = LoadU32(s + ElementOffset(MirrorIndex(0, srcWidth, forward), 4));
    const std::uint32_t lastPixel = LoadU32(s + ElementOffset(MirrorIndex(last, srcWidth, forward), 4));
    const auto midCount = static_cast<std::int32_t>(midEnd - leftEnd);
    if (forward) {
      FillPixels(d, leftEnd, first);
      if (midCount > 0) {
        const Byte* a = s + 4 * (leftEnd + line.start);
        lerpRow(d + 4 * leftEnd, a, a + 4, midCount, line.wp, line.wq);
      }
      FillPixels(d + 4 * midEnd, lineLength - midEnd, lastPixel);
    } else {
      // Memory column of position j is width - 1 - j in both planes.
      FillPixels(d + 4 * (lineLength - leftEnd), leftEnd, first);
      if (midCount > 0) {
        const Byte* a = s + 4 * (srcWidth - midEnd - line.start);
        lerpRow(d + 4 * (lineLength - midEnd), a, a - 4, midCount, line.wp, line.wq);
      }
      FillPixels(d, lineLength - midEnd, lastPixel);
    }
  }
}

// Vertical directions: line i is column i of the two views. Every
// destination pixel is written once from the read-only source, so the order
// of the walk is free. The shifts of a run of lines are worked out together
// (8 KB of stack), then the run's rows are walked.
void ShearColumnsOfViews(const PlaneView<const Byte>& src, const PlaneView<Byte>& dst,
                         double factor, ShearColumnRunFn columnRun) {
  std::int32_t start[kShearColumnRun];
  std::int32_t wp[kShearColumnRun];
  const ShearColumns columns{start, wp};
  for (std::int32_t c0 = 0; c0 < dst.width; c0 += kShearColumnRun) {
    const std::int32_t count = dst.width - c0 < kShearColumnRun ? dst.width - c0 : kShearColumnRun;
    for (std::int32_t k = 0; k < count; ++k) {
      const ShearLine line = ShearLineOf(c0 + k, factor);
      start[k] = static_cast<std::int32_t>(
          Clamp64(line.start, -static_cast<std::int64_t>(dst.height) - 1, src.height - 1));
      wp[k] = line.wp;
    }
    columnRun(dst, src, c0, columns, count);
  }
}

void ShearColumnRowsScalar(const PlaneView<Byte>& dst, const PlaneView<const Byte>& src,
                           std::int32_t firstLine, const ShearColumns& columns,
                           std::int32_t count) {
  for (std::int32_t r = 0; r < dst.height; ++r)
    ShearColumnRowScalar(dst.Row(r) + ElementOffset(firstLine, 4), src, r, firstLine, columns,
                         count);
}

}  // namespace

std::int32_t GroupByShift(const std::int32_t* start, std::int32_t lines, ShearShift* shifts) {
  std::int32_t entries = 0;
  for (std::int32_t lane = 0; lane < lines; ++lane) {
    std::int32_t e = 0;
    while (e < entries && shifts[e].start != start[lane]) ++e;
    if (e == entries) shifts[entries++] = {start[lane], 0};
    shifts[e].lanes |= 1u << lane;
  }
  return entries;
}

void ShearLerpRowScalar(Byte* dst, const Byte* a, const Byte* b, std::int32_t count,
                        std::int32_t wp, std::int32_t wq) {
  for (std::int32_t x = 0; x < count; ++x) {
    const std::ptrdiff_t at = ElementOffset(x, 4);
    StoreU32(dst + at, LerpPixel(LoadU32(a + at), LoadU32(b + at), wp, wq));
  }
}

void ShearColumnRowScalar(Byte* dst, const PlaneView<const Byte>& src, std::int32_t r,
                          std::int32_t firstLine, const ShearColumns& columns, std::int32_t count) {
  for (std::int32_t k = 0; k < count; ++k) {
    std::uint32_t p, q;
    ShearColumnPixels(src, r, firstLine + k, columns.start[k], p, q);
    StoreU32(dst + ElementOffset(k, 4), LerpPixel(p, q, columns.wp[k], 4096 - columns.wp[k]));
  }
}

const ShearKernels kShearKernelsScalar = {&ShearLerpRowScalar, &ShearColumnRowsScalar};
constinit const KernelTable<ShearKernels> kShearKernelTable("shear", &kShearKernelsScalar,
                                                            &kShearKernelsSse2, &kShearKernelsAvx2,
                                                            &kShearKernelsAvx512);

void ShearPlanes(const Byte* src, std::int32_t srcStride, std::int32_t srcWidth,
                 std::int32_t srcHeight, Byte* dst, std::int32_t dstStride, std::int32_t dstWidth,
                 std::int32_t dstHeight, std::uint32_t direction, double factor) {
  if (direction > kShearColumnsFromFirstRow) return;
  const bool forward = direction == kShearRowsFromLeft || direction == kShearColumnsFromFirstRow;
  const ShearKernels& kernels = kShearKernelTable.For(CpuFeatureFlags());
  if (direction == kShearRowsFromLeft || direction == kShearRowsFromRight) {
    // A source row without pixels has no position to show; srcHeight is not
    // read.
    if (srcWidth < 1 || dstWidth <= 0) return;
    ShearRows(src, srcStride, srcWidth, dst, dstStride, dstWidth, dstHeight, forward, factor,
              kernels.lerpRow);
    return;
  }
  // A source without rows or columns can supply no position and no line.
  if (srcWidth < 1 || srcHeight < 1 || dstWidth <= 0 || dstHeight <= 0) return;
  const auto srcView = MakePlaneView(src, srcStride, srcWidth, srcHeight, true, forward);
  const auto dstView = MakePlaneView(dst, dstStride, dstWidth, dstHeight, true, forward);
  ShearColumnsOfViews(srcView, dstView, factor, kernels.columnRun);
}

}  // namespace morvex::mask
