#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "frame/fpu.h"
#include "morvex/native.h"
#include "pixel/conversion.h"
#include "pixel/host_table.h"
#include "support/cpu_paths.h"
#include "support/fp_state.h"
#include "support/stderr_capture.h"
#include "support/test_plane.h"

namespace morvex {
namespace {

using test::CpuPath;
using test::CpuPaths;
using test::CpuPathsOf;
using test::FpStateGuard;
using test::HostTable;
using test::PinnedCpuPath;
using test::ReadFpState;
using test::Rng;
using test::TestPlane;

// A float back to a byte, written independently of the library: halves to
// even, clamp, and 0 for values without a 32-bit integer.
std::uint8_t ExpectByte(float v) {
  const double d = v;
  if (std::isnan(d) || d >= 2147483648.0 || d < -2147483648.0) return 0;
  const double low = std::floor(d), fraction = d - low;
  double r = low + 1;
  if (fraction < 0.5 || (fraction == 0.5 && std::fmod(low, 2.0) == 0)) r = low;
  return r < 0 ? 0 : r > 255 ? 255 : static_cast<std::uint8_t>(r);
}

float FloatBits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

// Values with a known byte: ties that go to even, clamped values and values
// without a 32-bit integer.
struct Worked {
  float value;
  std::uint8_t byte;
};
const Worked kWorked[] = {
    {0.0f, 0},           {-0.0f, 0},          {0.5f, 0},           {1.5f, 2},
    {2.5f, 2},           {3.5f, 4},           {127.5f, 128},       {128.5f, 128},
    {254.5f, 254},       {255.5f, 255},       {253.5f, 254},       {-0.5f, 0},
    {-3.7f, 0},          {255.6f, 255},       {64.0f, 64},         {0.49999997f, 0},
    {0.50000006f, 1},    {2.4999998f, 2},     {1e-45f, 0},         {-1e-45f, 0},
    {256.0f, 255},       {1e9f, 255},         {2147483520.0f, 255}, {-2147483520.0f, 0},
    {2147483648.0f, 0},  {-2147483648.0f, 0}, {4294967296.0f, 0},  {1e10f, 0},
    {-1e10f, 0},         {std::numeric_limits<float>::max(), 0},
    {std::numeric_limits<float>::infinity(), 0},
    {-std::numeric_limits<float>::infinity(), 0},
    {std::numeric_limits<float>::quiet_NaN(), 0},
    {FloatBits(0xFFC00001u), 0},  // negative NaN with a payload
    {FloatBits(0x7F800001u), 0},  // signalling NaN
};

// Random floats weighted toward what matters: the byte range with fractions,
// exact halves, the worked values and arbitrary bit patterns.
float RandomFloat(Rng& rng) {
  switch (rng.Int(0, 5)) {
    case 0: return static_cast<float>(rng.Real(-20.0, 280.0));
    case 1: return static_cast<float>(rng.Int(-4, 260)) + 0.5f;
    case 2: return kWorked[rng.Int(0, static_cast<int>(std::size(kWorked)) - 1)].value;
    case 3: return FloatBits(rng.U32());
    case 4: return static_cast<float>(rng.Int(-3, 258));
    default: return static_cast<float>(rng.Real(-4e9, 4e9));
  }
}

void FillFloats(TestPlane& plane, Rng& rng) {
  for (int y = 0; y < plane.rows(); ++y)
    for (int i = 0; i + 4 <= plane.rowBytes(); i += 4) plane.Set<float>(i, y, RandomFloat(rng));
}

// ---- Every kernel table entry against its scalar entry ----

struct ConversionTable {
  const char* name;
  const KernelTable<pixel::ConvertKernels>& table;
  int srcBytes, dstBytes;  // per element
  bool floatSource;
};
const ConversionTable kTables[] = {
    {"ArgbToArgbFloat", pixel::kArgbToArgbFloatKernelTable, 4, 16, false},
    {"ArgbFloatToArgb", pixel::kArgbFloatToArgbKernelTable, 16, 4, true},
    {"FloatMaskToArgb", pixel::kFloatMaskToArgbKernelTable, 4, 4, true},
};

TEST(ConversionKernels, EveryEntryMatchesTheScalarRowAtEveryWidth) {
  Rng rng(21);
  for (const ConversionTable& t : kTables) {
    const pixel::ConvertRowFn scalar = t.table.At(InstructionSet::kScalar)->row;
    for (const CpuPath& path : CpuPathsOf(t.table)) {
      const pixel::ConvertKernels& kernels = *t.table.At(path.level);
      for (const bool stream : {false, true}) {
        const pixel::ConvertRowFn kernel = stream ? kernels.stream : kernels.row;
        if (kernel == nullptr) continue;
        for (int width = 0; width <= 67; ++width) {
          for (int rep = 0; rep < 3; ++rep) {
            // Misaligned rows (16-byte aligned destinations for streaming)
            // with guard bytes on both sides.
            const int srcOffset = rng.Int(0, 3);
            std::vector<std::uint8_t> src(static_cast<std::size_t>(width) * t.srcBytes + 8);
            if (t.floatSource)
              for (int i = 0; i < width * t.srcBytes / 4; ++i) {
                const float f = RandomFloat(rng);
                std::memcpy(&src[srcOffset + 4 * i], &f, 4);
              }
            else
              rng.Fill(src.data(), src.size());
            std::vector<std::uint8_t> a(static_cast<std::size_t>(width) * t.dstBytes + 72);
            rng.Fill(a.data(), a.size());
            // Streaming destinations: 16-byte aligned, at any place in a 64-byte line.
            const auto misalignment = reinterpret_cast<std::uintptr_t>(a.data()) & 15u;
            const int dstOffset =
                stream ? static_cast<int>((16 - misalignment) & 15u) + 16 * rng.Int(0, 3) : rng.Int(0, 3);
            std::vector<std::uint8_t> b = a;
            {
              const RoundToNearestBracket bracket;
              kernel(a.data() + dstOffset, src.data() + srcOffset, width);
              scalar(b.data() + dstOffset, src.data() + srcOffset, width);
            }
            if (stream) pixel::FinishStreamingStores();
            ASSERT_EQ(a, b) << t.name << " on " << path.label << (stream ? " streaming" : "")
                            << " width " << width;
          }
        }
      }
    }
  }
}

// ---- Worked numbers through the exports ----

// Both rounding exports on the worked values in every float position of
// 9-pixel rows (a vector group and a tail): row r, float i holds value
// (i + r) mod n. The host's rounding mode changes nothing and is restored.
TEST(FormatConversions, WorkedNumbersUnderEveryHostModeAndPath) {
  const int n = static_cast<int>(std::size(kWorked));
  const auto value = [&](int i, int r) { return kWorked[(i + r) % n]; };
  TestPlane pixels(9 * 16, n, 8, true), mask(9 * 4, n, 0, false);
  for (int r = 0; r < n; ++r) {
    for (int i = 0; i < 9 * 4; ++i) pixels.Set<float>(4 * i, r, value(i, r).value);
    for (int i = 0; i < 9; ++i) mask.Set<float>(4 * i, r, value(i, r).value);
  }
  for (const auto& path : CpuPaths()) {
    const PinnedCpuPath pinned(path);
    for (std::uint32_t host : test::kHostRoundings) {
      FpStateGuard guard;
      test::SetHostRounding(host);
      const auto before = ReadFpState();
      TestPlane bytes(9 * 4, n, 3), grey(9 * 4, n, 5, true);
      ASSERT_EQ(ConvertARGBFloatToARGB(bytes.first(), bytes.stride(), pixels.floats(), pixels.stride(), 9, n), 1);
      ASSERT_EQ(ReadFpState(), before);
      ASSERT_EQ(ConvertFloatMaskToARGB(grey.first(), grey.stride(), mask.floats(), mask.stride(), 9, n), 1);
      ASSERT_EQ(ReadFpState(), before);
      for (int r = 0; r < n; ++r) {
        for (int i = 0; i < 9 * 4; ++i)
          ASSERT_EQ(bytes.Row(r)[i], value(i, r).byte)
              << value(i, r).value << " in float " << i << ", host mode " << std::hex << host
              << " on " << path.label;
        for (int i = 0; i < 9; ++i)
          ASSERT_EQ(grey.Get<std::uint32_t>(4 * i, r), value(i, r).byte * 0x01010101u)
              << value(i, r).value << " in mask float " << i << ", host mode " << std::hex
              << host << " on " << path.label;
      }
      EXPECT_TRUE(bytes.GuardsIntact());
      EXPECT_TRUE(grey.GuardsIntact());
    }
  }
}

TEST(FormatConversions, ByteFloatByteRoundTripIsExactForEveryValueInEveryChannel) {
  for (const auto& path : CpuPaths()) {
    const PinnedCpuPath pinned(path);
    // Pixel i holds i, i + 64, i + 128 and i + 192 (mod 256): every channel
    // sees all 256 values.
    TestPlane bytes(256 * 4, 1), floats(256 * 16, 1), back(256 * 4, 1);
    for (int i = 0; i < 256; ++i)
      for (int k = 0; k < 4; ++k) bytes.Row(0)[4 * i + k] = static_cast<std::uint8_t>(i + 64 * k);
    ASSERT_EQ(ConvertARGBToARGBFloat(floats.floats(), floats.stride(), bytes.first(), bytes.stride(), 256, 1), 1);
    for (int i = 0; i < 256 * 4; ++i)
      ASSERT_EQ(floats.Get<float>(4 * i, 0), static_cast<float>(bytes.Row(0)[i])) << i;
    ASSERT_EQ(ConvertARGBFloatToARGB(back.first(), back.stride(), floats.floats(), floats.stride(), 256, 1), 1);
    EXPECT_EQ(back.RowBytes(), bytes.RowBytes()) << path.label;
  }
}

// ---- The exports on random planes, every path and shape ----

// One conversion: its element sizes, its call and its rule for one element.
struct Conversion {
  const char* name;
  int srcBytes, dstBytes;
  bool floatSource;
  bool streams;  // has streaming kernels for large destinations
  std::function<std::uint8_t(TestPlane& dst, const TestPlane& src, int width, int height)> call;
  std::function<void(std::uint8_t* dst, const std::uint8_t* src)> expect;
};

// ConvertChannelToFloatMask reads this table and channel.
HostTable g_maskTable(3);
int g_maskChannel = 0;

float LoadFloat(const std::uint8_t* p) {
  float f;
  std::memcpy(&f, p, 4);
  return f;
}

const Conversion kConversions[] = {
    {"ConvertARGBToARGBFloat", 4, 16, false, true,
     [](TestPlane& d, const TestPlane& s, int w, int h) {
       return ConvertARGBToARGBFloat(d.floats(), d.stride(), s.first(), s.stride(), w, h);
     },
     [](std::uint8_t* d, const std::uint8_t* s) {
       for (int k = 0; k < 4; ++k) {
         const float f = s[k];
         std::memcpy(d + 4 * k, &f, 4);
       }
     }},
    {"ConvertARGBFloatToARGB", 16, 4, true, true,
     [](TestPlane& d, const TestPlane& s, int w, int h) {
       return ConvertARGBFloatToARGB(d.first(), d.stride(), s.floats(), s.stride(), w, h);
     },
     [](std::uint8_t* d, const std::uint8_t* s) {
       for (int k = 0; k < 4; ++k) d[k] = ExpectByte(LoadFloat(s + 4 * k));
     }},
    {"ConvertFloatMaskToARGB", 4, 4, true, true,
     [](TestPlane& d, const TestPlane& s, int w, int h) {
       return ConvertFloatMaskToARGB(d.first(), d.stride(), s.floats(), s.stride(), w, h);
     },
     [](std::uint8_t* d, const std::uint8_t* s) { std::memset(d, ExpectByte(LoadFloat(s)), 4); }},
    {"ConvertChannelToFloatMask", 4, 4, false, false,
     [](TestPlane& d, const TestPlane& s, int w, int h) {
       return ConvertChannelToFloatMask(d.floats(), d.stride(), s.first(), s.stride(),
                                        g_maskChannel, w, h, reinterpret_cast<const float*>(g_maskTable.data()));
     },
     [](std::uint8_t* d, const std::uint8_t* s) {
       std::memcpy(d, g_maskTable.data() + 4 * s[g_maskChannel], 4);  // bits as they are
     }},
};

// Runs `c` on `src` into `dst` and checks the rows `checked` selects and the guards.
void ExpectConversion(const Conversion& c, TestPlane& dst, const TestPlane& src, int width,
                      int height, const std::string& where, bool (*checked)(int y, int height)) {
  std::vector<std::uint8_t> want = dst.RowBytes();
  for (int y = 0; y < height; ++y)
    if (checked(y, height))
      for (int x = 0; x < width; ++x)
        c.expect(&want[static_cast<std::size_t>(y) * dst.rowBytes() + x * c.dstBytes],
                 src.Row(y) + x * c.srcBytes);
  ASSERT_EQ(c.call(dst, src, width, height), 1);
  const std::vector<std::uint8_t> got = dst.RowBytes();
  for (int y = 0; y < height; ++y) {
    if (!checked(y, height)) continue;
    const std::size_t row = static_cast<std::size_t>(y) * dst.rowBytes();
    for (int i = 0; i < width * c.dstBytes; ++i)
      ASSERT_EQ(got[row + i], want[row + i]) << c.name << " byte " << i << " of row " << y << where;
  }
  ASSERT_TRUE(dst.GuardsIntact()) << c.name;
}

bool EveryRow(int, int) { return true; }
// Every 37th row and the last.
bool SampledRows(int y, int height) { return y % 37 == 0 || y == height - 1; }

struct Shape {
  int width, height, dstPad, srcPad;
  bool dstUp, srcUp;
};
const Shape kShapes[] = {{1, 1, 0, 0, false, false}, {3, 4, 5, 0, true, false},
                         {4, 2, 0, 7, false, true},  {9, 3, 4, 4, true, true},
                         {17, 2, 0, 0, false, false}, {35, 3, 13, 1, false, true},
                         {130, 2, 2, 3, true, false}};

TEST(FormatConversions, RandomPlanesFollowTheRulesOnEveryPathAndShape) {
  Rng rng(22);
  for (const auto& path : CpuPaths()) {
    const PinnedCpuPath pinned(path);
    for (const Shape& s : kShapes) {
      for (const Conversion& c : kConversions) {
        FpStateGuard guard;
        test::SetHostRounding(test::kHostRoundings[rng.Int(0, 3)]);
        g_maskTable.FillRandom(rng);  // arbitrary bits, NaN payloads included
        g_maskChannel = rng.Int(0, 3);
        TestPlane src(s.width * c.srcBytes, s.height, s.srcPad, s.srcUp);
        TestPlane dst(s.width * c.dstBytes, s.height, s.dstPad, s.dstUp);
        c.floatSource ? FillFloats(src, rng) : src.FillRandom(rng);
        dst.FillRandom(rng);
        ExpectConversion(c, dst, src, s.width, s.height, std::string(" on ") + path.label, EveryRow);
      }
    }
  }
}

// Destinations of 8 MiB and more with 16-byte aligned rows take the
// streaming kernels; their results must be the same bits.
TEST(FormatConversions, LargeAlignedDestinationsConvertLikeSmallOnes) {
  Rng rng(25);
  for (const Conversion& c : kConversions) {
    if (!c.streams) continue;
    const int width = 2048, height = 1025;
    TestPlane src(width * c.srcBytes, height, 4, true);
    TestPlane dst(width * c.dstBytes, height, 16, false);
    c.floatSource ? FillFloats(src, rng) : src.FillRandom(rng);
    for (const auto& path : CpuPaths()) {
      const PinnedCpuPath pinned(path);
      dst.Fill(0);
      ExpectConversion(c, dst, src, width, height, std::string(" on ") + path.label, SampledRows);
    }
  }
}

TEST(ConvertChannelToFloatMask, OutOfRangeChannelsUseTheirLowTwoBits) {
  Rng rng(23);
  HostTable table;
  for (int i = 0; i < 256; ++i) {
    const float v = static_cast<float>(i) / 255.0f;
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    table.SetEntry(i, bits);
  }
  // A one-row plane ending at the fence: a read past the last pixel faults.
  TestPlane src(6 * 4, 1);
  src.FillRandom(rng);
  for (int channel : {4, 5, 7, 11, -1, -4, INT_MIN, INT_MAX}) {
    TestPlane want(6 * 4, 1), got(6 * 4, 1);
    ConvertChannelToFloatMask(want.floats(), want.stride(), src.first(), src.stride(),
                              channel & 3, 6, 1, reinterpret_cast<const float*>(table.data()));
    ASSERT_EQ(ConvertChannelToFloatMask(got.floats(), got.stride(), src.first(), src.stride(),
                                        channel, 6, 1, reinterpret_cast<const float*>(table.data())),
              1);
    EXPECT_EQ(got.RowBytes(), want.RowBytes()) << channel;
  }
}

TEST(FormatConversions, EmptyRegionsTouchNothingAndKeepTheRoundingMode) {
  HostTable table;
  for (auto [width, height] : {std::pair{4, 0}, {4, -3}, {0, 2}, {-4, 2}, {INT_MIN, 2}}) {
    FpStateGuard guard;
    test::SetHostRounding(kFpRoundUp);
    TestPlane dst(4 * 16, 2), src(4 * 16, 2);
    Rng rng(24);
    dst.FillRandom(rng);
    src.FillRandom(rng);
    const auto before = dst.Snapshot();
    const auto fp = ReadFpState();
    test::StderrCapture capture;
    EXPECT_EQ(ConvertARGBToARGBFloat(dst.floats(), dst.stride(), src.first(), src.stride(), width, height), 1);
    EXPECT_EQ(ConvertARGBFloatToARGB(dst.first(), dst.stride(), src.floats(), src.stride(), width, height), 1);
    EXPECT_EQ(ConvertChannelToFloatMask(dst.floats(), dst.stride(), src.first(), src.stride(), 1, width, height, reinterpret_cast<const float*>(table.data())), 1);
    EXPECT_EQ(ConvertFloatMaskToARGB(dst.first(), dst.stride(), src.floats(), src.stride(), width, height), 1);
    EXPECT_EQ(capture.Take(), "");
    EXPECT_EQ(dst.Snapshot(), before) << width << "x" << height;
    EXPECT_EQ(ReadFpState(), fp);
  }
}

TEST(FormatConversions, RestoreEachUnitsRoundingWhenHostUnitsDiffer) {
  for (const auto& path : CpuPaths()) {
    const PinnedCpuPath pinned(path);
    FpStateGuard guard;
    test::SetHostRounding(kFpRoundTowardZero);
    WriteMxcsr((ReadMxcsr() & ~0x6000u) | 0x2000u);  // SSE rounds down, x87 toward zero
    const auto before = ReadFpState();
    TestPlane src(5 * 16, 1), dst(5 * 4, 1);
    for (int i = 0; i < 20; ++i) src.Set<float>(4 * i, 0, 2.5f + static_cast<float>(i));
    ConvertARGBFloatToARGB(dst.first(), dst.stride(), src.floats(), src.stride(), 5, 1);
    EXPECT_EQ(ReadFpState(), before) << path.label;
    for (int i = 0; i < 20; ++i) EXPECT_EQ(dst.Row(0)[i], ExpectByte(2.5f + static_cast<float>(i)));
    ConvertFloatMaskToARGB(dst.first(), dst.stride(), src.floats(), src.stride(), 5, 1);
    EXPECT_EQ(ReadFpState(), before) << path.label;
    EXPECT_EQ(dst.Get<std::uint32_t>(0, 0), 0x02020202u);
  }
}

}  // namespace
}  // namespace morvex
