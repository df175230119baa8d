#include "tone/histogram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "morvex/native.h"
#include "support/test_plane.h"
#include "tone/tone_support.h"

namespace morvex {
namespace {

using test::CpuPaths;
using test::ExpectedLuma;
using test::PinnedCpuPath;
using test::Rng;
using test::TestPlane;

constexpr int kArrayBytes = 256 * 4;

// Caller memory for the four counter arrays, at byte offsets inside one
// guarded buffer: offsets need not be aligned, and arrays may overlap.
class CounterMemory {
 public:
  explicit CounterMemory(const int (&offsets)[4])
      : bytes_(kGuard * 2 + 4 * kArrayBytes + 8, kFill) {
    for (int a = 0; a < 4; ++a) offsets_[a] = kGuard + offsets[a];
  }
  // Contiguous, misaligned by `misalign` bytes.
  static CounterMemory Separate(int misalign) {
    const int offsets[4] = {misalign, misalign + kArrayBytes, misalign + 2 * kArrayBytes,
                            misalign + 3 * kArrayBytes};
    return CounterMemory(offsets);
  }

  std::int32_t* Array(int a) {
    return reinterpret_cast<std::int32_t*>(bytes_.data() + offsets_[a]);
  }
  std::int32_t At(int a, int v) const {
    std::int32_t n;
    std::memcpy(&n, bytes_.data() + offsets_[a] + 4 * v, 4);
    return n;
  }
  void Add(int a, int v) {
    std::uint8_t* p = bytes_.data() + offsets_[a] + 4 * v;
    std::uint32_t n;
    std::memcpy(&n, p, 4);
    ++n;
    std::memcpy(p, &n, 4);
  }
  void Clear(int a) { std::memset(bytes_.data() + offsets_[a], 0, kArrayBytes); }
  void FillGarbage(Rng& rng) { rng.Fill(bytes_.data() + kGuard, bytes_.size() - 2 * kGuard); }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  bool GuardsIntact() const {
    for (int i = 0; i < kGuard; ++i)
      if (bytes_[static_cast<std::size_t>(i)] != kFill || bytes_[bytes_.size() - 1 - i] != kFill)
        return false;
    return true;
  }

  std::int32_t Call(const TestPlane& image, int width, int height) {
    return Histogram(image.first(), image.stride(), width, height, Array(0), Array(1), Array(2),
                     Array(3));
  }

 private:
  static constexpr int kGuard = 32;
  static constexpr std::uint8_t kFill = 0x5A;
  std::vector<std::uint8_t> bytes_;
  int offsets_[4];
};

// The literal sequence: clear the four arrays, add one per pixel and array,
// then the largest counter. Works on a copy of the caller memory, so arrays
// that share bytes behave as they do for the export.
std::int32_t ReferenceHistogram(const TestPlane& image, int width, int height, CounterMemory& mem) {
  for (int a = 0; a < 4; ++a) mem.Clear(a);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint32_t p = image.Get<std::uint32_t>(4 * x, y);
      const std::uint32_t b = p & 0xFF, g = (p >> 8) & 0xFF, r = (p >> 16) & 0xFF;
      mem.Add(0, static_cast<int>(r));
      mem.Add(1, static_cast<int>(g));
      mem.Add(2, static_cast<int>(b));
      mem.Add(3, static_cast<int>(ExpectedLuma(r, g, b)));
    }
  std::int32_t peak = 0;
  for (int a = 0; a < 4; ++a)
    for (int v = 0; v < 256; ++v) peak = std::max(peak, mem.At(a, v));
  return peak;
}

TEST(Histogram, EmptyRegionsStillClearEveryArray) {
  struct Case {
    int width, height;
  };
  Rng rng(21);
  for (const Case c :
       {Case{3, 0}, Case{3, -4}, Case{0, 3}, Case{-2, 3}, Case{INT32_MIN, INT32_MAX}}) {
    TestPlane image(12, 3);
    image.FillRandom(rng);
    CounterMemory mem = CounterMemory::Separate(1);
    mem.FillGarbage(rng);
    EXPECT_EQ(mem.Call(image, c.width, c.height), 0);
    for (int a = 0; a < 4; ++a)
      for (int v = 0; v < 256; ++v) ASSERT_EQ(mem.At(a, v), 0) << a << "[" << v << "]";
    EXPECT_TRUE(mem.GuardsIntact());
  }
}

TEST(Histogram, SinglePixelCountsColourAndLuminanceButNotAlpha) {
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    TestPlane image(4, 1);
    image.Set<std::uint32_t>(0, 0, 0x051E140Au);  // alpha 5, red 30, green 20, blue 10
    CounterMemory mem = CounterMemory::Separate(0);
    EXPECT_EQ(mem.Call(image, 1, 1), 1) << path.label;
    const int hit[4] = {30, 20, 10, 22};
    for (int a = 0; a < 4; ++a)
      for (int v = 0; v < 256; ++v)
        EXPECT_EQ(mem.At(a, v), v == hit[a] ? 1 : 0) << a << "[" << v << "]";
  }
}

TEST(Histogram, OneColourRegionReturnsItsArea) {
  struct Case {
    int width, height;
    std::uint32_t pixel;
    int misalign;
  };
  const Case cases[] = {{1, 1, 0xFFFFFFFF, 0},
                        {7, 3, 0x00000000, 1},
                        {64, 64, 0x80FF0000, 2},
                        {1001, 3, 0x12345678, 3},
                        {3, 517, 0xFF808080, 0}};
  for (const Case& c : cases) {
    for (const auto& path : CpuPaths()) {
      PinnedCpuPath pin(path);
      TestPlane image(c.width * 4, c.height, 4, true);
      for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) image.Set<std::uint32_t>(4 * x, y, c.pixel);
      CounterMemory mem = CounterMemory::Separate(c.misalign);
      const std::int32_t area = c.width * c.height;
      EXPECT_EQ(mem.Call(image, c.width, c.height), area) << path.label;
      const std::uint32_t r = (c.pixel >> 16) & 0xFF, g = (c.pixel >> 8) & 0xFF, b = c.pixel & 0xFF;
      const std::uint32_t hit[4] = {r, g, b, ExpectedLuma(r, g, b)};
      for (int a = 0; a < 4; ++a)
        for (int v = 0; v < 256; ++v)
          ASSERT_EQ(mem.At(a, v), v == static_cast<int>(hit[a]) ? area : 0) << path.label;
    }
  }
}

TEST(Histogram, RandomRegionsOnEveryPathMatchTheReference) {
  Rng rng(22);
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (int round = 0; round < 60; ++round) {
      const int width = rng.Int(0, 67), height = rng.Int(1, 4);
      const auto shape = test::RandomShape(rng);
      TestPlane image(width * 4, height, shape.padding, shape.bottomUp);
      image.FillRandom(rng);
      // Few distinct values now and then, so equal neighbours are common.
      if (rng.Bool())
        for (int y = 0; y < height; ++y)
          for (int x = 0; x < width * 4; ++x) image.Row(y)[x] &= 0x03;
      CounterMemory mem = CounterMemory::Separate(rng.Int(0, 3));
      mem.FillGarbage(rng);
      CounterMemory want = mem;
      const std::int32_t expected = ReferenceHistogram(image, width, height, want);
      const auto before = image.Snapshot();
      EXPECT_EQ(mem.Call(image, width, height), expected) << path.label;
      EXPECT_EQ(mem.bytes(), want.bytes()) << path.label << " " << width << "x" << height;
      EXPECT_EQ(image.Snapshot(), before);
    }
  }
}

TEST(Histogram, ArraysSharingMemoryHoldTheSumOfTheirCounts) {
  // Offsets of red, green, blue and luma inside one buffer.
  struct Case {
    int offsets[4];
  };
  const Case cases[] = {{{0, 0, 0, 0}},           // all four the same array
                        {{0, 0, 1024, 2048}},     // red and green shared
                        {{0, 4, 8, 12}},          // each shifted by one counter
                        {{3, 515, 1027, 1539}}};  // half overlaps, misaligned
  Rng rng(23);
  for (const Case& c : cases) {
    for (const auto& path : CpuPaths()) {
      PinnedCpuPath pin(path);
      const int width = 23, height = 3;
      TestPlane image(width * 4, height);
      image.FillRandom(rng);
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 4; ++x) image.Row(y)[x] &= 0x07;
      CounterMemory mem(c.offsets);
      mem.FillGarbage(rng);
      CounterMemory want = mem;
      const std::int32_t expected = ReferenceHistogram(image, width, height, want);
      EXPECT_EQ(mem.Call(image, width, height), expected) << path.label;
      EXPECT_EQ(mem.bytes(), want.bytes()) << path.label;
    }
  }
}

// The four counts of each pixel of a row, added to `totals` (red, green,
// blue, luma; 256 each).
void AddExpected(const Byte* row, int width, std::vector<std::uint32_t>& totals) {
  for (int x = 0; x < width; ++x, row += 4) {
    const std::uint32_t b = row[0], g = row[1], r = row[2];
    ++totals[r];
    ++totals[256 + g];
    ++totals[512 + b];
    ++totals[768 + ExpectedLuma(r, g, b)];
  }
}

std::vector<std::uint32_t> Totals(tone::HistogramCounters& c) {
  tone::FlushHistogramCopies(c);
  std::vector<std::uint32_t> totals;
  for (const auto& array : c.totals) totals.insert(totals.end(), std::begin(array), std::end(array));
  return totals;
}

TEST(Histogram, EveryKernelCountsAsTheScalarDefinitionAtEveryHeadAndTail) {
  Rng rng(24);
  auto got = std::make_unique<tone::HistogramCounters>();
  for (const auto& [path, kernels] : test::TableEntries(tone::kHistogramKernelTable)) {
    for (int offset = 0; offset < 16; offset += 3) {
      for (int width = 1; width <= 67; ++width) {
        TestPlane row((offset + width) * 4, 1);
        row.FillRandom(rng);
        const Byte* first = row.first() + 4 * offset;
        std::vector<std::uint32_t> want(4 * 256, 0);
        AddExpected(first, width, want);
        AddExpected(first, width, want);
        std::memset(got.get(), 0, sizeof *got);
        kernels->row(first, width, *got);
        kernels->row(first, width, *got);  // counts accumulate
        ASSERT_EQ(Totals(*got), want) << path.label << " offset " << offset << " width " << width;
      }
    }
  }
}

// The 16-bit copies are added into the totals before they can overflow, in
// the middle of a row as well: rows of up to 150000 pixels, mostly one
// colour, so one counter of each array passes 65535 within the row.
TEST(Histogram, EveryKernelFlushesItsCopiesWithinLongRows) {
  Rng rng(25);
  auto got = std::make_unique<tone::HistogramCounters>();
  for (const auto& [path, kernels] : test::TableEntries(tone::kHistogramKernelTable)) {
    for (const int width : {65535, 65536 + 7, 150001}) {
      TestPlane row(width * 4, 1);
      for (int x = 0; x < width; ++x)
        row.Set<std::uint32_t>(4 * x, 0, rng.Int(0, 99) == 0 ? rng.U32() : 0x80402010u);
      std::vector<std::uint32_t> want(4 * 256, 0);
      AddExpected(row.first(), width, want);
      AddExpected(row.first(), width, want);
      std::memset(got.get(), 0, sizeof *got);
      kernels->row(row.first(), width, *got);
      kernels->row(row.first(), width, *got);
      ASSERT_EQ(Totals(*got), want) << path.label << " width " << width;
    }
  }
}

}  // namespace
}  // namespace morvex
