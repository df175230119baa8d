// Fuzz target: lookup tables and format conversions.
#include "fuzz_runner.h"
#include "morvex/native.h"

using namespace morvex;
using namespace morvex::fuzz;

namespace {

constexpr std::size_t kTableBytes = 1024;

void FuzzLut(FuzzInput& in, Output& out) {
  const bool clampToAlpha = in.Bool();
  const Extents e = DecodeExtents(in, 70, 9);
  auto image = MakePlane(in, 4 * static_cast<std::int64_t>(e.columns()), e.rows());
  FencedBlock table(in, kTableBytes);
  out.Result(clampToAlpha ? LutWithAlphaClamp(image->first(), image->stride(), e.width, e.height,
                                              table.data())
                          : Lut(image->first(), image->stride(), e.width, e.height, table.data()));
  out.Plane(*image);
}

void FuzzChannelMap(FuzzInput& in, Output& out) {
  const int form = in.Range(0, 2);  // in place, separate plane, separate call on the same plane
  const std::int32_t channel = in.Bool() ? in.Range(-1, 4) : in.AnyInt();
  const Extents e = DecodeExtents(in, 70, 9);
  auto image = MakePlane(in, 4 * static_cast<std::int64_t>(e.columns()), e.rows());
  auto dst = MakePlane(in, 4 * static_cast<std::int64_t>(e.columns()), e.rows());
  FencedBlock table(in, kTableBytes);
  if (form == 0) {
    out.Result(ChannelMap(image->first(), image->stride(), channel, e.width, e.height, table.data()));
  } else if (form == 1) {
    out.Result(ChannelMapEx(dst->first(), dst->stride(), image->first(), image->stride(), channel,
                            e.width, e.height, table.data()));
  } else {
    out.Result(ChannelMapEx(image->first(), image->stride(), image->first(), image->stride(),
                            channel, e.width, e.height, table.data()));
  }
  out.Plane(*image);
  out.Plane(*dst);
}

void FuzzChannelMergeLut(FuzzInput& in, Output& out) {
  const std::int32_t count = in.Bool() ? in.Range(-1, 5) : in.AnyInt();
  const Extents e = DecodeExtents(in, 70, 9);
  auto image = MakePlane(in, 4 * static_cast<std::int64_t>(e.columns()), e.rows());
  FencedBlock table(in, kTableBytes);
  out.Result(ChannelMergeLut(image->first(), image->stride(), count, e.width, e.height, table.data()));
  out.Plane(*image);
}

void FuzzConversion(FuzzInput& in, Output& out) {
  const int which = in.Range(0, 3);
  const Extents e = DecodeExtents(in, 70, 9);
  const std::int64_t w = e.columns();
  // Element sizes of destination and source for each conversion.
  static const int kDst[] = {16, 4, 4, 4}, kSrc[] = {4, 16, 4, 4};
  auto dst = MakePlane(in, kDst[which] * w, e.rows());
  auto src = MakePlane(in, kSrc[which] * w, e.rows());
  const std::int32_t channel = in.Bool() ? in.Range(0, 3) : in.AnyInt();
  FencedBlock table(in, kTableBytes);
  switch (which) {
    case 0:
      out.Result(ConvertARGBToARGBFloat(dst->floats(), dst->stride(), src->first(), src->stride(),
                                        e.width, e.height));
      break;
    case 1:
      out.Result(ConvertARGBFloatToARGB(dst->first(), dst->stride(), src->floats(), src->stride(),
                                        e.width, e.height));
      break;
    case 2:
      out.Result(ConvertChannelToFloatMask(dst->floats(), dst->stride(), src->first(), src->stride(),
                                           channel, e.width, e.height, reinterpret_cast<const float*>(table.data())));
      break;
    default:
      out.Result(ConvertFloatMaskToARGB(dst->first(), dst->stride(), src->floats(), src->stride(),
                                        e.width, e.height));
      break;
  }
  out.Plane(*dst);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t which = data[0];
  switch (which % 4) {
    case 0: RunOnEveryPath(data + 1, size - 1, FuzzLut); break;
    case 1: RunOnEveryPath(data + 1, size - 1, FuzzChannelMap); break;
    case 2: RunOnEveryPath(data + 1, size - 1, FuzzChannelMergeLut); break;
    default: RunOnEveryPath(data + 1, size - 1, FuzzConversion); break;
  }
  return 0;
}
