// Fuzz target: desaturation, histogram and HSL adjustment.
#include "fuzz_runner.h"
#include "morvex/native.h"

using namespace morvex;
using namespace morvex::fuzz;

namespace {

void FuzzDesaturate(FuzzInput& in, Output& out) {
  const std::uint32_t alsoAlpha = in.U32();
  const Extents e = DecodeExtents(in, 70, 9);
  auto image = MakePlane(in, 4 * static_cast<std::int64_t>(e.columns()), e.rows());
  out.Result(Desaturate(image->first(), image->stride(), e.width, e.height, alsoAlpha));
  out.Plane(*image);
}

void FuzzHistogram(FuzzInput& in, Output& out) {
  const Extents e = DecodeExtents(in, 70, 9);
  auto image = MakePlane(in, 4 * static_cast<std::int64_t>(e.columns()), e.rows());
  // Four fenced arrays of 256 counters, starting with garbage.
  auto counts = MakePlane(in, 1024, 4);
  const auto snapshotBefore = image->Snapshot();
  auto* c = counts.get();
  out.Result(Histogram(image->first(), image->stride(), e.width, e.height,
                       reinterpret_cast<std::int32_t*>(c->Row(0)),
                       reinterpret_cast<std::int32_t*>(c->Row(1)),
                       reinterpret_cast<std::int32_t*>(c->Row(2)),
                       reinterpret_cast<std::int32_t*>(c->Row(3))));
  RequireSame(image->Snapshot() == snapshotBefore, "Histogram wrote its image");
  out.Plane(*counts);
}

void FuzzHsl(FuzzInput& in, Output& out) {
  double p[6];
  for (double& v : p) v = in.AnyDouble(-1.5, 1.5);
  const Extents e = DecodeExtents(in, 40, 6);
  auto image = MakePlane(in, 4 * static_cast<std::int64_t>(e.columns()), e.rows());
  out.Result(HslScaleOffset(image->first(), image->stride(), e.width, e.height, p[0], p[1], p[2],
                            p[3], p[4], p[5]));
  out.Plane(*image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  switch (data[0] % 3) {
    case 0: RunOnEveryPath(data + 1, size - 1, FuzzDesaturate); break;
    case 1: RunOnEveryPath(data + 1, size - 1, FuzzHistogram); break;
    default: RunOnEveryPath(data + 1, size - 1, FuzzHsl); break;
  }
  return 0;
}
