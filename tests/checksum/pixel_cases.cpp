// Checksum cases of the lookup-table and conversion family.
#include <cstring>
#include <limits>

#include "frame/fpu.h"
#include "morvex/native.h"
#include "support/checksum.h"
#include "support/fp_state.h"
#include "support/stderr_capture.h"

namespace morvex::test {
namespace {

// A random 256-entry table, its start 0..3 bytes past a 4-byte boundary.
struct Table {
  explicit Table(Rng& rng) : plane(1027, 1), offset(rng.Int(0, 3)) { plane.FillRandom(rng); }
  const std::uint8_t* data() const { return plane.first() + offset; }
  TestPlane plane;
  int offset;
};

int RandomWidth(Rng& rng) { return rng.Int(0, 9) == 0 ? rng.Int(-2, 0) : rng.Int(1, 41); }
int RandomHeight(Rng& rng) { return rng.Int(-1, 7); }

// A plane of `elementBytes` elements, random shape and bytes; at least one
// row and element so that empty regions still have memory behind them.
TestPlane RandomPlane(Rng& rng, int elementBytes, int width, int height) {
  const auto shape = RandomShape(rng);
  TestPlane plane(elementBytes * (width > 0 ? width : 1), height > 0 ? height : 1, shape.padding,
                  shape.bottomUp);
  plane.FillRandom(rng);
  return plane;
}

float RandomFloat(Rng& rng) {
  switch (rng.Int(0, 4)) {
    case 0: return static_cast<float>(rng.Real(-20.0, 280.0));
    case 1: return static_cast<float>(rng.Int(-3, 258)) + 0.5f;
    case 2: {
      const float extremes[] = {std::numeric_limits<float>::quiet_NaN(),
                                std::numeric_limits<float>::infinity(),
                                -std::numeric_limits<float>::infinity(), 2147483648.0f,
                                -2147483648.0f, 2147483520.0f, -0.0f, 1e-45f};
      return extremes[rng.Int(0, 7)];
    }
    case 3: {
      const std::uint32_t bits = rng.U32();
      float f;
      std::memcpy(&f, &bits, 4);
      return f;
    }
    default: return static_cast<float>(rng.Int(0, 255));
  }
}

void FillFloats(TestPlane& plane, Rng& rng) {
  for (int y = 0; y < plane.rows(); ++y)
    for (int i = 0; i + 4 <= plane.rowBytes(); i += 4) plane.Set<float>(i, y, RandomFloat(rng));
}

using LutFn = std::uint8_t (*)(std::uint8_t*, std::int32_t, std::int32_t, std::int32_t,
                               const std::uint8_t*);

void RunChannelLut(Rng& rng, Hasher& hash, LutFn lut) {
  const int width = RandomWidth(rng), height = RandomHeight(rng);
  TestPlane image = RandomPlane(rng, 4, width, height);
  const Table table(rng);
  hash.Value(lut(image.first(), image.stride(), width, height, table.data()));
  hash.Plane(image);
}

void RunLut(Rng& rng, Hasher& hash) { RunChannelLut(rng, hash, Lut); }
void RunLutWithAlphaClamp(Rng& rng, Hasher& hash) { RunChannelLut(rng, hash, LutWithAlphaClamp); }

// A channel argument: mostly valid, sometimes one the export refuses.
int RandomChannel(Rng& rng) { return rng.Int(0, 7) == 0 ? (rng.Bool() ? -1 : 4) : rng.Int(0, 3); }

void RunChannelMap(Rng& rng, Hasher& hash) {
  const int width = RandomWidth(rng), height = RandomHeight(rng), channel = RandomChannel(rng);
  TestPlane image = RandomPlane(rng, 4, width, height);
  const Table table(rng);
  StderrCapture capture;
  hash.Value(ChannelMap(image.first(), image.stride(), channel, width, height, table.data()));
  const std::string message = capture.Take();
  hash.Bytes(message.data(), message.size());
  hash.Plane(image);
}

void RunChannelMapEx(Rng& rng, Hasher& hash) {
  const int width = RandomWidth(rng), height = RandomHeight(rng), channel = RandomChannel(rng);
  TestPlane src = RandomPlane(rng, 4, width, height);
  TestPlane dst = RandomPlane(rng, 4, width, height);
  const bool inPlace = rng.Int(0, 3) == 0;
  TestPlane& out = inPlace ? src : dst;
  const Table table(rng);
  StderrCapture capture;
  hash.Value(ChannelMapEx(out.first(), out.stride(), src.first(), src.stride(), channel, width,
                          height, table.data()));
  const std::string message = capture.Take();
  hash.Bytes(message.data(), message.size());
  hash.Plane(dst);
  hash.Plane(src);
}

void RunChannelMergeLut(Rng& rng, Hasher& hash) {
  const int width = RandomWidth(rng), height = RandomHeight(rng), count = rng.Int(-2, 6);
  TestPlane image = RandomPlane(rng, 4, width, height);
  const Table table(rng);
  hash.Value(ChannelMergeLut(image.first(), image.stride(), count, width, height, table.data()));
  hash.Plane(image);
}

void RunConvertARGBToARGBFloat(Rng& rng, Hasher& hash) {
  const int width = RandomWidth(rng), height = RandomHeight(rng);
  const TestPlane src = RandomPlane(rng, 4, width, height);
  TestPlane dst = RandomPlane(rng, 16, width, height);
  hash.Value(ConvertARGBToARGBFloat(dst.floats(), dst.stride(), src.first(), src.stride(), width,
                                    height));
  hash.Plane(dst);
}

// The rounding exports run under a random host rounding mode, which must
// neither show in the result nor survive the call.
template <class Call>
void UnderRandomHostMode(Rng& rng, Hasher& hash, Call&& call) {
  const std::uint32_t modes[] = {kFpRoundNearest, kFpRoundDown, kFpRoundUp, kFpRoundTowardZero};
  FpStateGuard guard;
  SetHostRounding(modes[rng.Int(0, 3)]);
  const FpState before = ReadFpState();
  call();
  hash.Value(static_cast<std::uint8_t>(ReadFpState() == before));
}

using ConvertFn = std::uint8_t (*)(std::uint8_t*, std::int32_t, const float*,
                                   std::int32_t, std::int32_t, std::int32_t);

// A conversion from floats (`srcBytes` per element) to ARGB pixels.
void RunRoundingConversion(Rng& rng, Hasher& hash, int srcBytes, ConvertFn convert) {
  const int width = RandomWidth(rng), height = RandomHeight(rng);
  TestPlane src = RandomPlane(rng, srcBytes, width, height);
  FillFloats(src, rng);
  TestPlane dst = RandomPlane(rng, 4, width, height);
  UnderRandomHostMode(rng, hash, [&] {
    hash.Value(convert(dst.first(), dst.stride(), src.floats(), src.stride(), width, height));
  });
  hash.Plane(dst);
}

void RunConvertARGBFloatToARGB(Rng& rng, Hasher& hash) {
  RunRoundingConversion(rng, hash, 16, ConvertARGBFloatToARGB);
}
void RunConvertFloatMaskToARGB(Rng& rng, Hasher& hash) {
  RunRoundingConversion(rng, hash, 4, ConvertFloatMaskToARGB);
}

void RunConvertChannelToFloatMask(Rng& rng, Hasher& hash) {
  const int width = RandomWidth(rng), height = RandomHeight(rng), channel = rng.Int(-2, 6);
  const TestPlane src = RandomPlane(rng, 4, width, height);
  TestPlane dst = RandomPlane(rng, 4, width, height);
  const Table table(rng);
  hash.Value(ConvertChannelToFloatMask(dst.floats(), dst.stride(), src.first(), src.stride(),
                                       channel, width, height, reinterpret_cast<const float*>(table.data())));
  hash.Plane(dst);
}

MORVEX_CHECKSUM_CASE({"Lut", &RunLut, 0xff122983c4ca779e});
MORVEX_CHECKSUM_CASE({"LutWithAlphaClamp", &RunLutWithAlphaClamp, 0x2df2516a49287ed2});
MORVEX_CHECKSUM_CASE({"ChannelMap", &RunChannelMap, 0x50a7109ca5d6ac96});
MORVEX_CHECKSUM_CASE({"ChannelMapEx", &RunChannelMapEx, 0x3a72e73a67e52509});
MORVEX_CHECKSUM_CASE({"ChannelMergeLut", &RunChannelMergeLut, 0x84b186889a400edb});
MORVEX_CHECKSUM_CASE({"ConvertARGBToARGBFloat", &RunConvertARGBToARGBFloat, 0xb622cf4e6ceb4e46});
MORVEX_CHECKSUM_CASE({"ConvertARGBFloatToARGB", &RunConvertARGBFloatToARGB, 0x771120c58c9a14e7});
MORVEX_CHECKSUM_CASE({"ConvertChannelToFloatMask", &RunConvertChannelToFloatMask, 0xceee426ce108d87});
MORVEX_CHECKSUM_CASE({"ConvertFloatMaskToARGB", &RunConvertFloatMaskToARGB, 0xccb6138205e041a5});

}  // namespace
}  // namespace morvex::test
