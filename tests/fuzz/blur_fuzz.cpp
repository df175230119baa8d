// Fuzz target: the Gaussian blurs. The 8-bit image's vector and scalar paths
// are defined differently, so only the vector paths (AVX2, SSE2) are compared
// for it; everything else is compared on every path.
#include <algorithm>

#include "fuzz_runner.h"
#include "morvex/native.h"

using namespace morvex;
using namespace morvex::fuzz;

namespace {

// Sigma arrays, fenced, or null.
std::unique_ptr<test::TestPlane> SigmaArray(FuzzInput& in, std::int32_t count) {
  if (in.Bool() || count <= 0) return nullptr;
  auto plane = std::make_unique<test::TestPlane>(8 * count, 1);
  for (std::int32_t i = 0; i < count; ++i) plane->Set<double>(8 * i, 0, in.AnyDouble(-2, 70));
  return plane;
}
const double* Doubles(const std::unique_ptr<test::TestPlane>& p) {
  return p ? reinterpret_cast<const double*>(p->first()) : nullptr;
}

// The intermediate: exactly as large as the region needs when tempBytes
// covers it, otherwise as large as tempBytes claims (the call must refuse).
std::unique_ptr<test::TestPlane> Temp(std::int64_t need, std::int32_t tempBytes) {
  const std::int64_t bytes = std::clamp<std::int64_t>(std::min<std::int64_t>(need, tempBytes), 0, 1 << 20);
  return std::make_unique<test::TestPlane>(static_cast<std::int32_t>(bytes), 1);
}

void FuzzGaussian(FuzzInput& in, Output& out, bool mask) {
  const std::int32_t format = in.Bool() ? (mask ? (in.Bool() ? 1 : 4) : (in.Bool() ? 4 : 16))
                                        : in.AnyInt();
  const Extents e = DecodeExtents(in, 24, 16);
  const std::int64_t elementFloats = mask ? 1 : 4;
  // The literal product (both extents may be negative), saturated to 64 bits.
  const __int128 product = static_cast<__int128>(e.width) * e.height * 4 * elementFloats;
  const std::int64_t need = static_cast<std::int64_t>(
      std::clamp<__int128>(product, INT64_MIN / 2, INT64_MAX / 2));
  const std::int32_t slack = in.Range(-2, 2);
  const std::int32_t tempBytes =
      in.U8() % 8 == 0 ? in.AnyInt()
                       : static_cast<std::int32_t>(std::clamp<std::int64_t>(need + slack, INT32_MIN, INT32_MAX));
  const double sh = in.AnyDouble(-1, 60), sv = in.AnyDouble(-1, 60);
  const double scale = in.AnyDouble(-2, 2), offset = in.AnyDouble(-300, 300);
  const std::int32_t pixelBytes = format == 16 && !mask ? 16 : format == 4 ? 4 : 1;
  auto image = MakePlane(in, static_cast<std::int64_t>(pixelBytes) * e.columns(), e.rows());
  auto temp = Temp(need, tempBytes);
  auto rowSigmas = SigmaArray(in, e.rows());
  auto columnSigmas = SigmaArray(in, e.columns());
  // A mask of format 4 is one channel of an ARGB image: the channel's byte.
  const std::int32_t channel = mask && format == 4 ? in.Range(0, 3) : 0;
  if (mask) {
    out.Result(GaussianBlurMask(image->first() + channel, image->stride(), format, e.width,
                                e.height, temp->floats(), tempBytes, sh, sv, scale, offset,
                                Doubles(rowSigmas), Doubles(columnSigmas)));
  } else {
    out.Result(GaussianBlur(image->first(), image->stride(), format, e.width, e.height,
                            temp->floats(), tempBytes, sh, sv, Doubles(rowSigmas),
                            Doubles(columnSigmas)));
  }
  if (!mask && format == 16) out.FloatPlane(*image);
  else out.Plane(*image);
  out.FloatPlane(*temp);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool mask = data[0] % 2 == 0;
  // GaussianBlur's 8-bit format has two defined paths: compare the vector ones only.
  RunOnEveryPath(
      data + 1, size - 1, [mask](FuzzInput& in, Output& out) { FuzzGaussian(in, out, mask); },
      /*includeScalar=*/mask);
  return 0;
}
