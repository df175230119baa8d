// Fuzz target: 3x3 blur, edge detection and radial blur.
#include <cmath>

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

// Whether a call takes at most `budget` samples in all: an element takes
// ceil(m) samples for its longer displacement m, and a displacement of
// millions of units costs millions of samples (the host's choice, but not a
// fuzzer's); longer than a 32-bit count, it takes width + height.
bool WithinSampleBudget(const Extents& e, double cx, double cy, double sx, double sy) {
  if (e.empty()) return true;
  double total = 0;
  const double budget = 2e5;
  for (std::int32_t y = 0; y < e.height; ++y)
    for (std::int32_t x = 0; x < e.width; ++x) {
      const double dx = (cx + (x - cx) / sx) - x, dy = (cy + (y - cy) / sy) - y;
      const double m = std::fmax(std::fabs(dx), std::fabs(dy));
      total += m <= 2147483647.0 ? std::ceil(m) + 1 : static_cast<double>(e.width) + e.height;
      if (total > budget) return false;
    }
  return true;
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
