#include "mask/scale.h"

#include <xmmintrin.h>  // _mm_sfence

#include <cmath>

#include "frame/cpu_features.h"
#include "frame/once.h"

namespace morvex::mask {
namespace {

OnceGate g_fractionGate;
float g_fractions[kFractionCount];  // written once, under the gate

double D(float v) { return static_cast<double>(v); }

// Destinations this large leave the caches anyway: replacing their samples
// with stores that bypass the cache saves reading each line before it is
// overwritten.
constexpr std::int64_t kStreamMinBytes = std::int64_t{8} << 20;

// A whole number (from floor or ceil) as an integer limited to [lo, hi];
// NaN gives lo.
std::int32_t WholeToInt(double whole, std::int32_t lo, std::int32_t hi) {
  if (!(whole > lo)) return lo;
  if (whole >= hi) return hi;
  return TruncateToInt32(whole);
}

}  // namespace

const float* FractionTable() {
  g_fractionGate.Run([] {
    for (std::int32_t i = 0; i < kFractionCount; ++i)
      g_fractions[i] = ToSingle(static_cast<double>(i) * 0.00048828125);
  });
  return g_fractions;
}

bool FractionTableReady() { return g_fractionGate.Done(); }

void ClipRect(const FloatRect& clip, FloatRect& rect) {
  if (clip.x > rect.x) {
    const float d = ToSingle(D(clip.x) - D(rect.x));
    rect.x = clip.x;
    rect.width = ToSingle(D(rect.width) - D(d));
  }
  if (clip.y > rect.y) {
    const float d = ToSingle(D(clip.y) - D(rect.y));
    rect.y = clip.y;
    rect.height = ToSingle(D(rect.height) - D(d));
  }
  if (D(clip.x) + D(clip.width) < D(rect.x) + D(rect.width)) {
    const float over = ToSingle((D(rect.x) + D(rect.width)) - (D(clip.x) + D(clip.width)));
    rect.width = ToSingle(D(rect.width) - D(over));
  }
  if (D(clip.y) + D(clip.height) < D(rect.y) + D(rect.height)) {
    const float over = ToSingle((D(rect.y) + D(rect.height)) - (D(clip.y) + D(clip.height)));
    rect.height = ToSingle(D(rect.height) - D(over));
  }
}

void PlanScaleColumns(ScaleColumns& plan, std::int32_t count, std::int32_t last,
                      std::uint32_t uStart, std::uint32_t du, std::int32_t groupColumns,
                      const float* fractions) {
  plan.count = count;
  plan.last = last;
  plan.groupColumns = groupColumns;
  for (std::int32_t k = 0; k < count; ++k) {
    const SourceIndex s = SplitPosition(PositionAt(uStart, du, static_cast<std::uint32_t>(k)), last);
    plan.index[k] = s.index;
    plan.weight[k] = fractions[s.fraction];
  }
  if (groupColumns < 4) return;  // the scalar kernel reads no windows
  for (std::int32_t g = 0; (g + 1) * groupColumns <= count; ++g) {
    const std::int32_t* index = plan.index + g * groupColumns;
    std::int32_t lowest = index[0], highest = index[0];
    for (std::int32_t k = 1; k < groupColumns; ++k) {
      lowest = index[k] < lowest ? index[k] : lowest;
      highest = index[k] > highest ? index[k] : highest;
    }
    // The window's right neighbours end at lowest + span, inside the row.
    const std::int64_t span = static_cast<std::int64_t>(highest) - lowest;
    std::uint8_t vectors = 0;
    if (span < groupColumns && lowest + std::int64_t{groupColumns} <= last) vectors = 1;
    else if (span < 2 * groupColumns && lowest + 2 * std::int64_t{groupColumns} <= last) vectors = 2;
    plan.window[g] = lowest;
    plan.vectors[g] = vectors;
  }
}

void ScaleSourceColumnsScalar(float* out, const Byte* row, const ScaleColumns& plan,
                              std::int32_t first) {
  for (std::int32_t k = first; k < plan.count; ++k)
    out[k] = InterpolateColumns(row, plan.index[k], NextIndex(plan.index[k], plan.last),
                                plan.weight[k]);
}

void ScaleSourceRowScalar(float* out, const Byte* row, const ScaleColumns& plan) {
  ScaleSourceColumnsScalar(out, row, plan, 0);
}

void ScaleCombineRowScalar(Byte* dst, std::int32_t count, const float* top, const float* bottom,
                           float wy, float wyc, const ScaleCombine& combine) {
  for (std::int32_t k = 0; k < count; ++k) {
    Byte* d = dst + ElementOffset(k, 4);
    const float s = VerticalSample(top[k], bottom[k], wy, wyc);
    StoreF32(d, combine.mode == kScaleReplace ? s : CombineSample(combine, s, LoadF32(d)));
  }
}

const ScaleKernels kScaleKernelsScalar = {1, &ScaleSourceRowScalar, &ScaleCombineRowScalar};
constinit const KernelTable<ScaleKernels> kScaleKernelTable("mask.scale", &kScaleKernelsScalar,
                                                            &kScaleKernelsSse2, &kScaleKernelsAvx2,
                                                            &kScaleKernelsAvx512);

bool ScaleMaskPlanes(SizedPlane<Byte> dst, const FloatRect& dstRect, SizedPlane<const Byte> src,
                     const FloatRect& srcRect, std::int32_t mode, float amount) {
  // The table is filled by every call, refused or not.
  const float* fractions = FractionTable();

  const float sx = ToSingle(D(dstRect.width) / D(srcRect.width));
  const float sy = ToSingle(D(dstRect.height) / D(srcRect.height));
  const FloatRect planeBounds{0.0f, 0.0f, static_cast<float>(dst.width),
                              static_cast<float>(dst.height)};
  // The area the whole source plane covers, in destination units.
  const FloatRect sourceBounds{ToSingle(D(dstRect.x) - D(srcRect.x) * D(sx)),
                               ToSingle(D(dstRect.y) - D(srcRect.y) * D(sy)),
                               ToSingle(static_cast<double>(src.width) * D(sx)),
                               ToSingle(static_cast<double>(src.height) * D(sy))};
  FloatRect r = dstRect;
  ClipRect(sourceBounds, r);
  ClipRect(planeBounds, r);

  // The source span the clipped rectangle maps to.
  const float uFirst = ToSingle(D(srcRect.x) + (D(r.x) - D(dstRect.x)) / D(sx));
  const float vFirst = ToSingle(D(srcRect.y) + (D(r.y) - D(dstRect.y)) / D(sy));
  const float uEnd = ToSingle((D(r.x) + D(r.width) - (D(dstRect.x) + D(dstRect.width))) / D(sx) +
                              (D(srcRect.x) + D(srcRect.width)));
  const float vEnd = ToSingle((D(r.y) + D(r.height) - (D(dstRect.y) + D(dstRect.height))) / D(sy) +
                              (D(srcRect.y) + D(srcRect.height)));
  const float uw = ToSingle(D(uEnd) - D(uFirst));
  const float vh = ToSingle(D(vEnd) - D(vFirst));
  if (!(uw > 1.0f && vh > 1.0f && r.width > 1.0f && r.height > 1.0f)) return false;
  // Planes without elements cannot pass the test above with finite values;
  // this keeps every clamp below well defined whatever the rectangles hold.
  if (dst.width <= 0 || dst.height <= 0 || src.width <= 0 || src.height <= 0) return false;

  // The destination span, limited to the plane: a far edge that lands a
  // rounding above the plane's edge must not add a column or row past it.
  const std::int32_t x0 = WholeToInt(std::floor(D(r.x)), 0, dst.width);
  const std::int32_t x1 = WholeToInt(std::ceil(D(ToSingle(D(r.x) + D(r.width)))), 0, dst.width);
  const std::int32_t y0 = WholeToInt(std::floor(D(r.y)), 0, dst.height);
  const std::int32_t y1 = WholeToInt(std::ceil(D(ToSingle(D(r.y) + D(r.height)))), 0, dst.height);

  // Endpoint-aligned steps and the corner's source point, in fixed point.
  // Positions run modulo 2^32; whatever they hold, SplitPosition keeps every
  // sampled index inside the source plane.
  const float stepY = ToSingle((D(vh) - 1.0) / (D(r.height) - 1.0));
  const float stepX = ToSingle((D(uw) - 1.0) / (D(r.width) - 1.0));
  const auto dv = static_cast<std::uint32_t>(TruncateToInt32(D(stepY) * 2048.0));
  const auto du = static_cast<std::uint32_t>(TruncateToInt32(D(stepX) * 2048.0));
  const auto vStart = static_cast<std::uint32_t>(TruncateToInt32(D(vFirst) * 2048.0));
  const auto uStart = static_cast<std::uint32_t>(TruncateToInt32(D(uFirst) * 2048.0));
  if (y0 >= y1 || x0 >= x1) return true;

  const std::int32_t columns = x1 - x0;
  ScaleCombine combine{NormalizeScaleMode(mode), 0.0f, 0.0f, false};
  if (combine.mode == kScaleBlend) {
    combine.amount = amount;
    combine.keep = ToSingle(1.0 - D(amount));
  }
  combine.stream = combine.mode == kScaleReplace &&
                   std::int64_t{columns} * (y1 - y0) * kFloatMaskBytes >= kStreamMinBytes;
  const ScaleKernels& kernels = kScaleKernelTable.For(CpuFeatureFlags());
  const ConstRows srcRows{src.pixels, src.stride};
  const Rows dstRows{dst.pixels, dst.stride};
  const std::int32_t lastRow = src.height - 1, lastColumn = src.width - 1;
  // Horizontal interpolations of the two source rows in use, for a run of
  // destination columns (whole rows up to kScaleRun columns).
  alignas(64) float interpolated[2][kScaleRun];
  ScaleColumns plan;
  for (std::int32_t c = 0; c < columns; c += kScaleRun) {
    const std::int32_t count = columns - c < kScaleRun ? columns - c : kScaleRun;
    PlanScaleColumns(plan, count, lastColumn, uStart + static_cast<std::uint32_t>(c) * du, du,
                     kernels.groupColumns, fractions);
    std::int32_t held[2] = {-1, -1};
    // The interpolations of source row `row`, computed unless held; the slot
    // holding `keep` (the other row in use) is not overwritten.
    auto rowOf = [&](std::int32_t row, std::int32_t keep) -> const float* {
      for (int slot = 0; slot < 2; ++slot)
        if (held[slot] == row) return interpolated[slot];
      const int slot = held[0] == keep ? 1 : 0;
      kernels.sourceRow(interpolated[slot], srcRows.RowAt(row), plan);
      held[slot] = row;
      return interpolated[slot];
    };
    for (std::int32_t y = y0; y < y1; ++y) {
      const std::int32_t v = PositionAt(vStart, dv, static_cast<std::uint32_t>(y - y0));
      const SourceIndex sy0 = SplitPosition(v, lastRow);
      const std::int32_t lower = NextIndex(sy0.index, lastRow);
      const float* top = rowOf(sy0.index, lower);
      const float* bottom = rowOf(lower, sy0.index);
      const float wy = fractions[sy0.fraction];
      kernels.combineRow(dstRows.RowAt(y) + ElementOffset(x0 + c, 4), count, top, bottom, wy,
                         ToSingle(1.0 - D(wy)), combine);
    }
  }
  // Orders the streamed stores before whatever the caller writes next.
  if (combine.stream) _mm_sfence();
  return true;
}

}  // namespace morvex::mask
