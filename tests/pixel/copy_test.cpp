#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "morvex/native.h"
#include "pixel/copy.h"
#include "pixel/oracle_pixel.h"
#include "support/cpu_paths.h"
#include "support/test_plane.h"

namespace morvex {
namespace {

using test::Rng;
using test::TestPlane;

// Expected result of a row copy: each destination row takes `count` source
// bytes; everything else stays as it was.
std::vector<std::uint8_t> ExpectedCopy(const TestPlane& dst, const TestPlane& src, int count,
                                       int height) {
  std::vector<std::uint8_t> rows = dst.RowBytes();
  for (int y = 0; y < height; ++y)
    for (int i = 0; i < count; ++i)
      rows[static_cast<std::size_t>(y) * dst.rowBytes() + i] = src.Row(y)[i];
  return rows;
}

TEST(BitmapCopy, CopiesExactlyElementBytesTimesWidthPerRow) {
  struct Case {
    int elementBytes, width, height, dstPad, srcPad;
    bool dstUp, srcUp;
  };
  const Case cases[] = {
      {4, 3, 5, 0, 0, false, false}, {4, 3, 5, 7, 3, true, false}, {1, 17, 3, 1, 0, false, true},
      {16, 2, 4, 5, 9, true, true},  {3, 5, 1, 0, 2, false, false}, {5, 3, 2, 0, 0, true, true},
  };
  Rng rng(1);
  for (const Case& c : cases) {
    const int count = c.elementBytes * c.width;
    const int rowBytes = count + 4;  // room beyond the copied bytes that must stay
    TestPlane dst(rowBytes, c.height, c.dstPad, c.dstUp);
    TestPlane src(rowBytes, c.height, c.srcPad, c.srcUp);
    dst.FillRandom(rng);
    src.FillRandom(rng);
    const auto expected = ExpectedCopy(dst, src, count, c.height);
    EXPECT_EQ(BitmapCopy(dst.first(), dst.stride(), src.first(), src.stride(), c.elementBytes,
                         c.width, c.height),
              1);
    EXPECT_EQ(dst.RowBytes(), expected);
    EXPECT_TRUE(dst.GuardsIntact());
    EXPECT_TRUE(src.GuardsIntact());
  }
}

TEST(BitmapCopy, NothingToDoTouchesNothing) {
  struct Case {
    int elementBytes, width, height;
  };
  for (const Case c : {Case{4, 3, 0}, Case{4, 3, -2}, Case{4, 0, 3}, Case{4, -3, 3},
                       Case{-4, 3, 3}, Case{0, 9, 3}, Case{-65536, 65536, 2}}) {
    TestPlane dst(12, 3), src(12, 3);
    Rng rng(2);
    dst.FillRandom(rng);
    src.FillRandom(rng);
    const auto before = dst.Snapshot();
    EXPECT_EQ(BitmapCopy(dst.first(), dst.stride(), src.first(), src.stride(), c.elementBytes,
                         c.width, c.height),
              1);
    EXPECT_EQ(dst.Snapshot(), before);
  }
}

TEST(BitmapCopy, ElementBytesAndWidthAreInterchangeable) {
  Rng rng(3);
  TestPlane src(24, 3, 4);
  src.FillRandom(rng);
  TestPlane a(24, 3), b(24, 3);
  a.Fill(0);
  b.Fill(0);
  BitmapCopy(a.first(), a.stride(), src.first(), src.stride(), 4, 6, 3);
  BitmapCopy(b.first(), b.stride(), src.first(), src.stride(), 6, 4, 3);
  EXPECT_EQ(a.RowBytes(), b.RowBytes());
  EXPECT_EQ(a.RowBytes(), src.RowBytes());
}

TEST(ChannelCopy, RoutesOneChannelAndLeavesTheOthers) {
  struct Case {
    int dstOffset, dstStep, srcOffset, srcStep;
    bool dstUp, srcUp;
  };
  // alpha -> blue of another image, red -> mask, mask -> green, alpha -> alpha.
  const Case cases[] = {{0, 4, 3, 4, false, false}, {0, 1, 2, 4, true, false},
                        {1, 4, 0, 1, false, true},  {3, 4, 3, 4, true, true}};
  Rng rng(4);
  const int width = 13, height = 5;
  for (const Case& c : cases) {
    TestPlane dst(width * c.dstStep, height, 3, c.dstUp);
    TestPlane src(width * c.srcStep, height, 6, c.srcUp);
    dst.FillRandom(rng);
    src.FillRandom(rng);
    auto expected = dst.RowBytes();
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        expected[static_cast<std::size_t>(y) * dst.rowBytes() + c.dstOffset + x * c.dstStep] =
            src.Row(y)[c.srcOffset + x * c.srcStep];
    EXPECT_EQ(ChannelCopy(dst.first() + c.dstOffset, dst.stride(), c.dstStep, width, height,
                          src.first() + c.srcOffset, src.stride(), c.srcStep),
              1);
    EXPECT_EQ(dst.RowBytes(), expected);
    EXPECT_TRUE(dst.GuardsIntact());
  }
}

TEST(ChannelCopy, OverlapLaterInTheRowSeesBytesAlreadyWritten) {
  std::uint8_t row[8] = {7, 1, 2, 3, 4, 5, 6, 9};
  ChannelCopy(row + 1, 8, 1, 6, 1, row, 8, 1);
  const std::uint8_t expected[8] = {7, 7, 7, 7, 7, 7, 7, 9};
  EXPECT_EQ(std::vector<std::uint8_t>(row, row + 8), std::vector<std::uint8_t>(expected, expected + 8));
}

TEST(ChannelCopy, EmptyRegionsTouchNothing) {
  for (auto [width, height] : {std::pair{4, 0}, {4, -1}, {0, 4}, {-3, 4}}) {
    TestPlane dst(16, 4), src(16, 4);
    Rng rng(5);
    dst.FillRandom(rng);
    src.FillRandom(rng);
    const auto before = dst.Snapshot();
    EXPECT_EQ(ChannelCopy(dst.first(), dst.stride(), 4, width, height, src.first(), src.stride(), 4), 1);
    EXPECT_EQ(dst.Snapshot(), before);
  }
}

// The step pairs with their own kernels (and two without), at every width up
// to 150 on every path whose kernel table entry is its own: channels that end exactly at a fence (the last
// element is the buffer's last byte, so any read or write past it faults),
// and rows that overlap inside one buffer, which must keep the byte-by-byte
// result. Compared with the reference, guards and in-between bytes included.
TEST(ChannelCopy, FixedStepRowsMatchTheByteLoop) {
  struct Steps {
    int dst, src;
  };
  const Steps steps[] = {{1, 4}, {4, 1}, {4, 4}, {1, 1}, {2, 4}};
  Rng rng(6);
  for (const test::CpuPath& path : test::CpuPathsOf(pixel::kChannelCopyKernelTable)) {
    const test::PinnedCpuPath pin(path);
    for (const Steps st : steps) {
      for (int width = 1; width <= 150; ++width) {
        // Apart: the channel is the last byte of each element in both planes.
        const int dstBytes = width * st.dst, srcBytes = width * st.src;
        test::TestPlane dst(dstBytes, 2), src(srcBytes, 2, 0, true), want(dstBytes, 2);
        dst.FillRandom(rng);
        src.FillRandom(rng);
        for (int y = 0; y < 2; ++y) std::memcpy(want.Row(y), dst.Row(y), static_cast<std::size_t>(dstBytes));
        const int dOff = st.dst - 1, sOff = st.src - 1;
        ChannelCopy(dst.first() + dOff, dst.stride(), st.dst, width, 2, src.first() + sOff, src.stride(), st.src);
        oracle::ChannelCopy(want.first() + dOff, want.stride(), st.dst, width, 2, src.first() + sOff, src.stride(), st.src);
        ASSERT_EQ(dst.Snapshot(), want.Snapshot()) << path.label << " steps " << st.dst << "<-" << st.src << " width " << width;

        // Overlapping: both rows in one buffer, the destination up to 9 bytes
        // before or after the source.
        const int shift = rng.Int(-9, 9);
        const int span = std::max(dstBytes, srcBytes), base = 9;
        test::TestPlane a(2 * span + 2 * base, 1), b(2 * span + 2 * base, 1);
        a.FillRandom(rng);
        std::memcpy(b.first(), a.first(), static_cast<std::size_t>(a.rowBytes()));
        ChannelCopy(a.first() + base + shift, span, st.dst, width, 2, a.first() + base, span, st.src);
        oracle::ChannelCopy(b.first() + base + shift, span, st.dst, width, 2, b.first() + base, span, st.src);
        ASSERT_EQ(a.Snapshot(), b.Snapshot()) << path.label << " steps " << st.dst << "<-" << st.src
                                              << " width " << width << " shift " << shift;
      }
    }
  }
}

}  // namespace
}  // namespace morvex
