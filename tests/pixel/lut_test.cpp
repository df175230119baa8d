#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <vector>

#include "morvex/native.h"
#include "pixel/host_table.h"
#include "pixel/lut.h"
#include "support/cpu_paths.h"
#include "support/stderr_capture.h"
#include "support/test_plane.h"

namespace morvex {
namespace {

using test::CpuPath;
using test::CpuPaths;
using test::CpuPathsOf;
using test::HostTable;
using test::PinnedCpuPath;
using test::Rng;
using test::TestPlane;

using Pixel = std::uint8_t[4];

// The rules written out on bytes, independently of the library's code.
void ExpectLut(std::uint8_t* px, const std::uint8_t* t, bool clampToAlpha) {
  std::uint8_t out[4];
  for (int k = 0; k < 4; ++k) out[k] = t[4 * px[k] + k];
  if (clampToAlpha)
    for (int k = 0; k < 3; ++k) out[k] = std::min(out[k], out[3]);
  std::memcpy(px, out, 4);
}
void ExpectChannelMap(std::uint8_t* dst, const std::uint8_t* src, int channel,
                      const std::uint8_t* t) {
  std::memcpy(dst, t + 4 * src[channel], 4);
}
void ExpectMerge(std::uint8_t* px, int count, const std::uint8_t* t) {
  int sum = 0;
  for (int k = 0; k < count && k < 4; ++k) sum += px[k];
  std::memcpy(px, t + 4 * std::min(sum, 255), 4);
}

// ---- Every kernel table entry against its scalar entry ----

// Widths covering every tail of the vector steps, the alignment heads and
// the 256-pixel chunks of the alpha clamp.
std::vector<int> KernelWidths() {
  std::vector<int> widths;
  for (int w = 0; w <= 67; ++w) widths.push_back(w);
  for (int w : {255, 256, 257, 511, 513}) widths.push_back(w);
  return widths;
}

struct LutOperation {
  const char* name;
  const KernelTable<pixel::LutKernels>& table;
  std::vector<std::uint32_t> args;  // channels or merge masks
};

// Each entry runs on a random row at any byte offset (so every alignment
// head), in place and into a separate row, with guard bytes around; the
// scalar entry runs on a copy, and everything must match.
TEST(LutKernels, EveryEntryMatchesTheScalarRowAtEveryWidth) {
  std::vector<std::uint32_t> masks;
  for (int count = 0; count <= 4; ++count) masks.push_back(pixel::MergeMask(count));
  const LutOperation operations[] = {{"Lut", pixel::kLutKernelTable, {0}},
                                     {"LutWithAlphaClamp", pixel::kLutWithAlphaClampKernelTable, {0}},
                                     {"ChannelMap", pixel::kChannelMapKernelTable, {0, 1, 2, 3}},
                                     {"ChannelMergeLut", pixel::kChannelMergeKernelTable, masks}};
  Rng rng(11);
  for (int round = 0; round < 4; ++round) {
    HostTable table(round);  // the table starts 0..3 bytes off alignment
    table.FillRandom(rng);
    for (const LutOperation& op : operations) {
      const pixel::LutRowFn scalar = op.table.At(InstructionSet::kScalar)->row;
      for (const CpuPath& path : CpuPathsOf(op.table)) {
        const pixel::LutKernels& kernels = *op.table.At(path.level);
        pixel::LutTables tables;
        pixel::PrepareLutTables(table.data(), kernels.reads, tables);
        for (const std::uint32_t arg : op.args) {
          for (const int width : KernelWidths()) {
            for (const bool inPlace : {true, false}) {
              const std::size_t bytes = static_cast<std::size_t>(width) * 4;
              const int offset = rng.Int(0, 67);
              std::vector<std::uint8_t> src(bytes + 136), a(bytes + 136);
              rng.Fill(src.data(), src.size());
              rng.Fill(a.data(), a.size());
              if (inPlace) a = src;
              std::vector<std::uint8_t> b = a;
              const std::uint8_t* from = inPlace ? a.data() + offset : src.data() + offset;
              kernels.row(a.data() + offset, from, width, arg, tables);
              scalar(b.data() + offset, inPlace ? b.data() + offset : from, width, arg, tables);
              ASSERT_EQ(a, b) << op.name << " on " << path.label << " arg " << arg << " width "
                              << width << (inPlace ? " in place" : "");
            }
          }
        }
      }
    }
  }
}

TEST(LutKernels, PerPixelDefinitionsFollowTheByteRules) {
  Rng rng(12);
  HostTable table;
  for (int i = 0; i < 2000; ++i) {
    table.FillRandom(rng);
    const std::uint32_t p = rng.U32();
    Pixel bytes;
    std::memcpy(bytes, &p, 4);
    for (bool clamp : {false, true}) {
      Pixel want;
      std::memcpy(want, bytes, 4);
      ExpectLut(want, table.data(), clamp);
      const std::uint32_t got = clamp ? pixel::LutWithAlphaClampPixel(p, table.data())
                                      : pixel::LutPixel(p, table.data());
      ASSERT_EQ(std::memcmp(&got, want, 4), 0) << clamp;
    }
    const int count = rng.Int(0, 4);
    Pixel want;
    std::memcpy(want, bytes, 4);
    ExpectMerge(want, count, table.data());
    const std::uint32_t got = pixel::ChannelMergePixel(p, pixel::MergeMask(count), table.data());
    ASSERT_EQ(std::memcmp(&got, want, 4), 0) << count;
  }
}

// ---- The exports on random images, every path and plane shape ----

struct Shape {
  int width, height, padding;
  bool bottomUp;
};
const Shape kShapes[] = {{1, 1, 0, false},  {7, 3, 0, false},  {8, 2, 5, true},
                         {13, 4, 3, false}, {33, 5, 0, true},  {67, 2, 17, false},
                         {300, 2, 1, true}, {4, 6, 12, false}};

struct InPlaceCase {
  const char* name;
  // Calls the export; `arg` is the channel or channel count.
  std::function<std::uint8_t(TestPlane&, const std::uint8_t*, int arg, int width, int height)> call;
  std::function<void(std::uint8_t* px, const std::uint8_t* table, int arg)> expect;
  std::vector<int> args;
};

const InPlaceCase kInPlaceCases[] = {
    {"Lut",
     [](TestPlane& p, const std::uint8_t* t, int, int w, int h) {
       return Lut(p.first(), p.stride(), w, h, t);
     },
     [](std::uint8_t* px, const std::uint8_t* t, int) { ExpectLut(px, t, false); },
     {0}},
    {"LutWithAlphaClamp",
     [](TestPlane& p, const std::uint8_t* t, int, int w, int h) {
       return LutWithAlphaClamp(p.first(), p.stride(), w, h, t);
     },
     [](std::uint8_t* px, const std::uint8_t* t, int) { ExpectLut(px, t, true); },
     {0}},
    {"ChannelMap",
     [](TestPlane& p, const std::uint8_t* t, int c, int w, int h) {
       return ChannelMap(p.first(), p.stride(), c, w, h, t);
     },
     [](std::uint8_t* px, const std::uint8_t* t, int c) { ExpectChannelMap(px, px, c, t); },
     {0, 1, 2, 3}},
    {"ChannelMergeLut",
     [](TestPlane& p, const std::uint8_t* t, int n, int w, int h) {
       return ChannelMergeLut(p.first(), p.stride(), n, w, h, t);
     },
     [](std::uint8_t* px, const std::uint8_t* t, int n) { ExpectMerge(px, n, t); },
     {-7, 0, 1, 2, 3, 4, 5, 1000}},
};

TEST(LutExports, InPlaceExportsFollowTheirRuleOnEveryPathAndShape) {
  Rng rng(13);
  for (const auto& path : CpuPaths()) {
    const PinnedCpuPath pinned(path);
    for (const InPlaceCase& c : kInPlaceCases) {
      for (int arg : c.args) {
        for (const Shape& s : kShapes) {
          HostTable table(rng.Int(0, 3));
          table.FillRandom(rng);
          TestPlane image(s.width * 4, s.height, s.padding, s.bottomUp);
          image.FillRandom(rng);
          std::vector<std::uint8_t> want = image.RowBytes();
          for (std::size_t i = 0; i < want.size(); i += 4) c.expect(&want[i], table.data(), arg);
          ASSERT_EQ(c.call(image, table.data(), arg, s.width, s.height), 1);
          ASSERT_EQ(image.RowBytes(), want)
              << c.name << " arg " << arg << " width " << s.width << " on " << path.label;
          ASSERT_TRUE(image.GuardsIntact()) << c.name;
        }
      }
    }
  }
}

TEST(LutExports, ChannelMapExWritesDstAndLeavesSrcOnEveryPath) {
  Rng rng(14);
  for (const auto& path : CpuPaths()) {
    const PinnedCpuPath pinned(path);
    for (int channel = 0; channel < 4; ++channel) {
      for (const Shape& s : kShapes) {
        HostTable table(rng.Int(0, 3));
        table.FillRandom(rng);
        TestPlane src(s.width * 4, s.height, s.padding, !s.bottomUp);
        TestPlane dst(s.width * 4 + 8, s.height, s.padding + 3, s.bottomUp);
        src.FillRandom(rng);
        dst.FillRandom(rng);
        const auto srcBefore = src.Snapshot();
        std::vector<std::uint8_t> want = dst.RowBytes();
        for (int y = 0; y < s.height; ++y)
          for (int x = 0; x < s.width; ++x)
            ExpectChannelMap(&want[static_cast<std::size_t>(y) * dst.rowBytes() + 4 * x],
                             src.Row(y) + 4 * x, channel, table.data());
        ASSERT_EQ(ChannelMapEx(dst.first(), dst.stride(), src.first(), src.stride(), channel,
                               s.width, s.height, table.data()),
                  1);
        ASSERT_EQ(dst.RowBytes(), want) << "channel " << channel << " on " << path.label;
        ASSERT_EQ(src.Snapshot(), srcBefore);
        ASSERT_TRUE(dst.GuardsIntact());
      }
    }
  }
}

TEST(LutExports, ChannelMapExInPlaceEqualsChannelMap) {
  Rng rng(15);
  HostTable table;
  table.FillRandom(rng);
  for (const auto& path : CpuPaths()) {
    const PinnedCpuPath pinned(path);
    TestPlane a(37 * 4, 3, 2, true), b(37 * 4, 3, 2, true);
    a.FillRandom(rng);
    const auto rows = a.RowBytes();
    for (int y = 0; y < 3; ++y) std::memcpy(b.Row(y), a.Row(y), 37 * 4);
    ASSERT_EQ(ChannelMapEx(a.first(), a.stride(), a.first(), a.stride(), 2, 37, 3, table.data()), 1);
    ASSERT_EQ(ChannelMap(b.first(), b.stride(), 2, 37, 3, table.data()), 1);
    EXPECT_EQ(a.RowBytes(), b.RowBytes()) << path.label;
    EXPECT_NE(a.RowBytes(), rows);
  }
}

// A destination that overlaps its source a few pixels along the row gets,
// on every path, what the pixel-by-pixel rule gives: later pixels read
// values written by earlier ones.
TEST(LutExports, ChannelMapExOnPartlyOverlappingRowsFollowsThePixelOrder) {
  Rng rng(16);
  HostTable table;
  table.FillRandom(rng);
  for (const int shift : {-17, -5, -1, 1, 3, 16, 40}) {
    const int width = 61;
    std::vector<std::uint8_t> start(4 * (width + 2 * 40));
    rng.Fill(start.data(), start.size());
    const int channel = rng.Int(0, 3);
    std::vector<std::uint8_t> want = start;
    std::uint8_t* src = want.data() + 4 * 40;
    for (int x = 0; x < width; ++x)
      ExpectChannelMap(src + 4 * (x + shift), src + 4 * x, channel, table.data());
    for (const auto& path : CpuPaths()) {
      const PinnedCpuPath pinned(path);
      std::vector<std::uint8_t> got = start;
      std::uint8_t* s = got.data() + 4 * 40;
      ASSERT_EQ(ChannelMapEx(s + 4 * shift, 0, s, 0, channel, width, 1, table.data()), 1);
      EXPECT_EQ(got, want) << path.label << " shift " << shift;
    }
  }
}

// ---- Worked cases ----

TEST(LutExports, IdentityTables) {
  HostTable identity;
  for (int i = 0; i < 256; ++i) identity.SetEntry(i, static_cast<std::uint32_t>(i) * 0x01010101u);
  Rng rng(16);
  for (const auto& path : CpuPaths()) {
    const PinnedCpuPath pinned(path);
    TestPlane image(21 * 4, 3, 4);
    image.FillRandom(rng);
    const auto before = image.RowBytes();
    // Lut keeps every pixel; LutWithAlphaClamp only lowers colours above alpha.
    ASSERT_EQ(Lut(image.first(), image.stride(), 21, 3, identity.data()), 1);
    EXPECT_EQ(image.RowBytes(), before) << path.label;
    ASSERT_EQ(LutWithAlphaClamp(image.first(), image.stride(), 21, 3, identity.data()), 1);
    const auto after = image.RowBytes();
    for (std::size_t i = 0; i < before.size(); ++i) {
      const std::uint8_t alpha = before[i | 3];
      EXPECT_EQ(after[i], (i & 3) == 3 ? alpha : std::min(before[i], alpha)) << i;
    }
  }
}

TEST(LutExports, AlphaMappedToZeroClearsEveryPixel) {
  Rng rng(17);
  HostTable table;
  table.FillRandom(rng);
  for (int i = 0; i < 256; ++i) table.data()[4 * i + 3] = 0;
  for (const auto& path : CpuPaths()) {
    const PinnedCpuPath pinned(path);
    TestPlane image(19 * 4, 2);
    image.FillRandom(rng);
    ASSERT_EQ(LutWithAlphaClamp(image.first(), image.stride(), 19, 2, table.data()), 1);
    EXPECT_EQ(image.RowBytes(), std::vector<std::uint8_t>(19 * 4 * 2, 0)) << path.label;
  }
}

TEST(ChannelMergeLut, SumsTheFirstChannelsSaturatingAt255) {
  struct Case {
    std::uint32_t pixel;  // 0xAARRGGBB
    int channelCount;
    int entry;
  };
  const Case cases[] = {
      {0xFF3264C8, 3, 255},  // 200 + 100 + 50 = 350, clamped
      {0xFF3264C8, 2, 255},  // 300
      {0xFF3264C8, 1, 200},      {0xFF3264C8, 0, 0},       {0xFF3264C8, -1, 0},
      {0xFF3264C8, INT_MIN, 0},  {0x281E140A, 4, 100},     {0x281E140A, 3, 60},
      {0x281E140A, 5, 100},      {0x281E140A, INT_MAX, 100}, {0x00000000, 4, 0},
      {0xFFFFFFFF, 4, 255},      {0x55000000, 4, 0x55},    {0x00550000, 2, 0},
  };
  HostTable table;
  for (int i = 0; i < 256; ++i) table.SetEntry(i, 0x01000000u * (255 - i) + 0x10000u * i + 7);
  for (const auto& path : CpuPaths()) {
    const PinnedCpuPath pinned(path);
    for (const Case& c : cases) {
      // Eleven pixels: a vector step and a tail on every path.
      TestPlane image(11 * 4, 2, 3, true);
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 11; ++x) image.Set<std::uint32_t>(4 * x, y, c.pixel);
      ASSERT_EQ(ChannelMergeLut(image.first(), image.stride(), c.channelCount, 11, 2,
                                table.data()),
                1);
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 11; ++x)
          ASSERT_EQ(image.Get<std::uint32_t>(4 * x, y), 0x01000000u * (255 - c.entry) +
                                                            0x10000u * c.entry + 7)
              << std::hex << c.pixel << std::dec << " count " << c.channelCount << " on "
              << path.label;
    }
  }
}

// ---- Refusals and empty regions ----

TEST(ChannelMap, RefusesChannelsAboveThreeFirstWithOneMessage) {
  HostTable table;
  for (int channel : {4, 5, 255, 256, INT_MAX, -1, -4, INT_MIN}) {
    for (int height : {3, 0, -2}) {
      for (bool ex : {false, true}) {
        Rng rng(18);
        TestPlane dst(5 * 4, 3), src(5 * 4, 3);
        dst.FillRandom(rng);
        src.FillRandom(rng);
        const auto dstBefore = dst.Snapshot(), srcBefore = src.Snapshot();
        test::StderrCapture capture;
        const std::uint8_t result =
            ex ? ChannelMapEx(dst.first(), dst.stride(), src.first(), src.stride(), channel, 5,
                              height, table.data())
               : ChannelMap(dst.first(), dst.stride(), channel, 5, height, table.data());
        EXPECT_EQ(capture.Take(), "ChannelMap: invalid channel value\n")
            << channel << " " << height << " " << ex;
        EXPECT_EQ(result, 0);
        EXPECT_EQ(dst.Snapshot(), dstBefore);
        EXPECT_EQ(src.Snapshot(), srcBefore);
      }
    }
  }
  // Nothing else is looked at before the channel: not even the pointers.
  test::StderrCapture capture;
  EXPECT_EQ(ChannelMap(nullptr, 0, 7, 100, 100, nullptr), 0);
  EXPECT_EQ(ChannelMapEx(nullptr, 0, nullptr, 0, -1, 100, 100, nullptr), 0);
  EXPECT_EQ(capture.Take(),
            "ChannelMap: invalid channel value\nChannelMap: invalid channel value\n");
}

TEST(LutExports, EmptyRegionsTouchNothingAndSucceedSilently) {
  HostTable table;
  Rng rng(19);
  table.FillRandom(rng);
  for (auto [width, height] : {std::pair{5, 0}, {5, -1}, {0, 3}, {-5, 3}, {INT_MIN, 3}}) {
    TestPlane image(5 * 4, 3), other(5 * 4, 3);
    image.FillRandom(rng);
    other.FillRandom(rng);
    const auto before = image.Snapshot(), otherBefore = other.Snapshot();
    test::StderrCapture capture;
    std::uint8_t* p = image.first();
    const int s = image.stride();
    EXPECT_EQ(Lut(p, s, width, height, table.data()), 1);
    EXPECT_EQ(LutWithAlphaClamp(p, s, width, height, table.data()), 1);
    EXPECT_EQ(ChannelMap(p, s, 3, width, height, table.data()), 1);
    EXPECT_EQ(ChannelMapEx(other.first(), other.stride(), p, s, 0, width, height, table.data()), 1);
    EXPECT_EQ(ChannelMergeLut(p, s, 4, width, height, table.data()), 1);
    EXPECT_EQ(capture.Take(), "");
    EXPECT_EQ(image.Snapshot(), before) << width << "x" << height;
    EXPECT_EQ(other.Snapshot(), otherBefore);
  }
}

}  // namespace
}  // namespace morvex
