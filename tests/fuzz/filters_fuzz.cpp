// Fuzz target: 3x3 blur, edge detection and radial blur.
#include <cmath>

#include "filters/radial_blur.h"
#include "frame/compiler.h"
#include "frame/fpu.h"
#include "fuzz_runner.h"
#include "morvex/native.h"

using namespace morvex;
using namespace morvex::fuzz;

namespace {

void FuzzLocal(FuzzInput& in, Output& out) {
  const bool edges = in.Bool();
  const std::uint32_t singleChannel = in.U32();
  const double threshold = in.AnyDouble(-0.2, 1.2);
  const Extents e = DecodeExtents(in, 70, 9);
  auto dst = MakePlane(in, 4 * static_cast<std::int64_t>(e.columns()), e.rows());
  auto src = MakePlane(in, 4 * static_cast<std::int64_t>(e.columns()), e.rows());
  out.Result(edges ? EdgeDetect(dst->first(), dst->stride(), src->first(), src->stride(), e.width,
                                e.height, singleChannel, threshold)
                   : Blur3x3(dst->first(), dst->stride(), src->first(), src->stride(), e.width,
                             e.height));
  out.Plane(*dst);
}

struct StepSpan {
  std::int64_t bytes, start;
};
StepSpan SpanOf(std::int32_t width, std::int32_t step) {
  if (width <= 0) return {0, 0};
  const std::int64_t last = static_cast<std::int64_t>(width - 1) * step;
  return {(last < 0 ? -last : last) + 1, last < 0 ? -last : 0};
}

// The samples a call takes in all, up to `budget`: the export's own count
// (ceil of each element's longer displacement, or width + height beyond the
// 32-bit range), from its own displacements under the round-toward-zero
// bracket it runs in. A displacement of millions of units costs millions of
// samples: the host's choice, but not a fuzzer's.
MORVEX_OPAQUE_FUNCTION std::int64_t RadialSamplesUpTo(const Extents& e, double cx, double cy,
                                                      double sx, double sy,
                                                      std::int64_t budget) {
  const double kx = 1.0 / sx, ky = 1.0 / sy;
  std::int64_t total = 0;
  for (std::int32_t y = 0; y < e.height; ++y) {
    const double dy = filters::RadialDisplacement(y, cy, ky);
    for (std::int32_t x = 0; x < e.width; ++x) {
      const double dx = filters::RadialDisplacement(x, cx, kx);
      const double m = std::fmax(std::fabs(dx), std::fabs(dy));
      if (m > 0.0 && dx == dx && dy == dy)
        total += filters::RadialSampleCount(m, e.width, e.height).count;
      if (total > budget) return total;
    }
  }
  return total;
}

bool WithinSampleBudget(const Extents& e, double cx, double cy, double sx, double sy) {
  if (e.empty()) return true;
  const std::int64_t budget = 200000;
  const RoundTowardZeroBracket bracket;
  return RadialSamplesUpTo(e, cx, cy, sx, sy, budget) <= budget;
}

void FuzzRadial(FuzzInput& in, Output& out) {
  const std::int32_t dstStep = in.Bool() ? 1 : in.Range(-4, 4);
  const std::int32_t srcStep = in.Bool() ? 1 : in.Range(-4, 4);
  const Extents e = DecodeExtents(in, 24, 12);
  const double cx = in.AnyDouble(-10, 34), cy = in.AnyDouble(-10, 22);
  const double sx = in.AnyDouble(0.3, 3), sy = in.AnyDouble(0.3, 3);
  const double gain = in.AnyDouble(-2, 4);
  if (!WithinSampleBudget(e, cx, cy, sx, sy)) return;
  const StepSpan d = SpanOf(e.columns(), dstStep), s = SpanOf(e.columns(), srcStep);
  auto dst = MakePlane(in, d.bytes, e.rows());
  auto src = MakePlane(in, s.bytes, e.rows());
  out.Result(RadialBlurMask(dst->first() + d.start, dst->stride(), dstStep, src->first() + s.start,
                            src->stride(), srcStep, e.width, e.height, cx, cy, sx, sy, gain));
  out.Plane(*dst);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] % 2 == 0) RunOnEveryPath(data + 1, size - 1, FuzzLocal);
  else RunOnEveryPath(data + 1, size - 1, FuzzRadial);
  return 0;
}
