// Fuzz target: noise, mask products, mask scaling and shear.
#include "fuzz_runner.h"
#include "morvex/native.h"

using namespace morvex;
using namespace morvex::fuzz;

namespace {

void FuzzNoiseAndProduct(FuzzInput& in, Output& out) {
  const bool noise = in.Bool();
  const float low = in.AnyFloat(-10, 10), high = in.AnyFloat(-10, 1100);
  const std::uint32_t seed = in.U32();
  const Extents e = DecodeExtents(in, 70, 7);
  auto dst = MakePlane(in, 4 * static_cast<std::int64_t>(e.columns()), e.rows());
  auto src = MakePlane(in, 4 * static_cast<std::int64_t>(e.columns()), e.rows());
  const bool inPlace = in.U8() % 4 == 0;
  if (noise) {
    out.Result(GenerateNoiseMask(dst->floats(), dst->stride(), e.width, e.height, low, high, seed));
  } else {
    out.Result(MultiplyMasks(dst->floats(), dst->stride(), inPlace ? dst->floats() : src->floats(),
                             inPlace ? dst->stride() : src->stride(), e.width, e.height));
  }
  out.FloatPlane(*dst);
}

// A plane extent for the geometry exports: mostly small, sometimes empty.
std::int32_t PlaneExtent(FuzzInput& in, std::int32_t max) {
  return in.U8() % 8 == 0 ? in.Range(-2, 0) : in.Range(1, max);
}

void FuzzScaleMask(FuzzInput& in, Output& out) {
  const std::int32_t dw = PlaneExtent(in, 40), dh = PlaneExtent(in, 24);
  const std::int32_t sw = PlaneExtent(in, 40), sh = PlaneExtent(in, 24);
  float r[8];
  for (int i = 0; i < 8; ++i) r[i] = in.AnyFloat(-8, 48);
  const std::int32_t mode = in.Bool() ? in.Range(-1, 3) : in.AnyInt();
  const float amount = in.AnyFloat(-0.5f, 1.5f);
  auto dst = MakePlane(in, 4 * static_cast<std::int64_t>(dw > 0 ? dw : 0), dh > 0 ? dh : 0);
  auto src = MakePlane(in, 4 * static_cast<std::int64_t>(sw > 0 ? sw : 0), sh > 0 ? sh : 0);
  out.Result(ScaleMask(dst->floats(), dst->stride(), dw, dh, r[0], r[1], r[2], r[3], src->floats(),
                       src->stride(), sw, sh, r[4], r[5], r[6], r[7], mode, amount));
  out.FloatPlane(*dst);
}

void FuzzShear(FuzzInput& in, Output& out) {
  const std::int32_t sw = PlaneExtent(in, 30), sh = PlaneExtent(in, 20);
  const std::int32_t dw = PlaneExtent(in, 40), dh = PlaneExtent(in, 30);
  const std::uint32_t direction = in.Bool() ? static_cast<std::uint32_t>(in.Range(0, 4)) : in.U32();
  const double factor = in.AnyDouble(-2, 2);
  // A horizontal shear reads dstHeight source rows whatever srcHeight says.
  const bool horizontal = direction == 1 || direction == 2;
  const std::int32_t rows = horizontal && dh > sh ? dh : sh;
  auto src = MakePlane(in, 4 * static_cast<std::int64_t>(sw > 0 ? sw : 0), rows > 0 ? rows : 0);
  auto dst = MakePlane(in, 4 * static_cast<std::int64_t>(dw > 0 ? dw : 0), dh > 0 ? dh : 0);
  out.Result(Shear(src->first(), src->stride(), sw, sh, dst->first(), dst->stride(), dw, dh,
                   direction, factor));
  out.Plane(*dst);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  switch (data[0] % 3) {
    case 0: RunOnEveryPath(data + 1, size - 1, FuzzNoiseAndProduct); break;
    case 1: RunOnEveryPath(data + 1, size - 1, FuzzScaleMask); break;
    default: RunOnEveryPath(data + 1, size - 1, FuzzShear); break;
  }
  return 0;
}
