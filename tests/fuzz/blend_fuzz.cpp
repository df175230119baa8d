// Fuzz target: blending, compositing, multiplies and clip restore.
#include "fuzz_runner.h"
#include "morvex/native.h"

using namespace morvex;
using namespace morvex::fuzz;

namespace {

// Destination, source and mask planes of one ARGB region; the source or the
// mask may be the destination itself.
struct BlendPlanes {
  Extents e;
  std::unique_ptr<test::TestPlane> dst, src, mask;
  std::uint8_t* srcFirst;
  std::int32_t srcStride;
  std::uint8_t* maskFirst;
  std::int32_t maskStride;
};
BlendPlanes MakeBlendPlanes(FuzzInput& in) {
  BlendPlanes p{DecodeExtents(in, 70, 7), nullptr, nullptr, nullptr, nullptr, 0, nullptr, 0};
  const std::int64_t rowBytes = 4 * static_cast<std::int64_t>(p.e.columns());
  p.dst = MakePlane(in, rowBytes, p.e.rows());
  p.src = MakePlane(in, rowBytes, p.e.rows());
  p.mask = MakePlane(in, rowBytes, p.e.rows());
  const bool srcInPlace = in.U8() % 4 == 0, maskInPlace = in.U8() % 4 == 0;
  p.srcFirst = srcInPlace ? p.dst->first() : p.src->first();
  p.srcStride = srcInPlace ? p.dst->stride() : p.src->stride();
  p.maskFirst = maskInPlace ? p.dst->first() : p.mask->first();
  p.maskStride = maskInPlace ? p.dst->stride() : p.mask->stride();
  return p;
}

void FuzzMix(FuzzInput& in, Output& out) {
  const int which = in.Range(0, 3);
  const double weight = in.AnyDouble(-0.5, 1.5);
  const bool useTable = in.Bool();
  FencedBlock table(in, 1024);
  BlendPlanes p = MakeBlendPlanes(in);
  const std::int32_t w = p.e.width, h = p.e.height;
  switch (which) {
    case 0:
      out.Result(Blend(p.dst->first(), p.dst->stride(), p.srcFirst, p.srcStride, w, h, weight));
      break;
    case 1:
      out.Result(MaskedBlend(p.dst->first(), p.dst->stride(), p.maskFirst, p.maskStride,
                             p.srcFirst, p.srcStride, w, h, useTable ? table.data() : nullptr));
      break;
    case 2:
      out.Result(MaskedFade(p.dst->first(), p.dst->stride(), p.maskFirst, p.maskStride, p.srcFirst,
                            p.srcStride, w, h));
      break;
    default: {
      const std::int32_t mode = in.Bool() ? in.Range(-1, 8) : in.AnyInt();
      out.Result(Composite(p.dst->first(), p.dst->stride(), p.srcFirst, p.srcStride, w, h, mode,
                           weight));
      break;
    }
  }
  out.Plane(*p.dst);
}

void FuzzMultiply(FuzzInput& in, Output& out) {
  const int which = in.Range(0, 2);
  const double a = in.AnyDouble(-0.5, 2.5), b = in.AnyDouble(-64, 64);
  const std::int32_t c1 = in.Bool() ? in.Range(-2, 5) : in.AnyInt();
  const std::int32_t c2 = in.Bool() ? in.Range(-2, 5) : in.AnyInt();
  BlendPlanes p = MakeBlendPlanes(in);
  const std::int32_t w = p.e.width, h = p.e.height;
  switch (which) {
    case 0: out.Result(Multiply(p.dst->first(), p.dst->stride(), w, h, a)); break;
    case 1:
      out.Result(MultiplyChannel(p.dst->first(), p.dst->stride(), static_cast<std::uint32_t>(c1),
                                 p.maskFirst, p.maskStride, static_cast<std::uint32_t>(c2), w, h,
                                 a, b));
      break;
    default:
      out.Result(MaskMultiply(p.dst->first(), p.dst->stride(), p.maskFirst, p.maskStride, w, h, c1,
                              a, b));
      break;
  }
  out.Plane(*p.dst);
}

void FuzzClipRestore(FuzzInput& in, Output& out) {
  const bool focus = in.Bool();
  const double clip = in.AnyDouble(-0.2, 1.2), restore = in.AnyDouble(-0.2, 1.2);
  const Extents e = DecodeExtents(in, 40, 7);
  auto dst = MakePlane(in, 16 * static_cast<std::int64_t>(e.columns()), e.rows());
  out.Result(focus ? FocusPrep(dst->floats(), dst->stride(), e.width, e.height, clip, restore)
                   : ClipRestore(dst->floats(), dst->stride(), e.width, e.height, clip, restore));
  out.FloatPlane(*dst);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  switch (data[0] % 3) {
    case 0: RunOnEveryPath(data + 1, size - 1, FuzzMix); break;
    case 1: RunOnEveryPath(data + 1, size - 1, FuzzMultiply); break;
    default: RunOnEveryPath(data + 1, size - 1, FuzzClipRestore); break;
  }
  return 0;
}
