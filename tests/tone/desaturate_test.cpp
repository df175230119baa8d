#include "tone/desaturate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "morvex/native.h"
#include "support/test_plane.h"
#include "tone/luminance.h"
#include "tone/tone_support.h"

namespace morvex {
namespace {

using test::Argb;
using test::CpuPaths;
using test::ExpectedLuma;
using test::PinnedCpuPath;
using test::Rng;
using test::TestPlane;

std::uint32_t Desaturated(std::uint32_t pixel, bool alsoAlpha) {
  const std::uint32_t y = ExpectedLuma((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
  return (alsoAlpha ? y << 24 : pixel & 0xFF000000u) | y * 0x010101u;
}

// A one-row plane holding `pixels`.
TestPlane RowOf(const std::vector<std::uint32_t>& pixels) {
  TestPlane plane(static_cast<std::int32_t>(pixels.size() * 4), 1);
  for (std::size_t x = 0; x < pixels.size(); ++x)
    plane.Set<std::uint32_t>(static_cast<std::int32_t>(x * 4), 0, pixels[x]);
  return plane;
}

std::vector<std::uint32_t> PixelsOf(const TestPlane& plane, int width, int y) {
  std::vector<std::uint32_t> out(static_cast<std::size_t>(width));
  for (int x = 0; x < width; ++x)
    out[static_cast<std::size_t>(x)] = plane.Get<std::uint32_t>(x * 4, y);
  return out;
}

TEST(Luminance, WorkedValues) {
  struct Case {
    Byte b, g, r;
    std::int32_t y;
  };
  const Case cases[] = {
      {255, 255, 255, 255}, {0, 0, 0, 0}, {0, 0, 255, 76}, {0, 255, 0, 150}, {255, 0, 0, 29},
      {0, 1, 0, 1},         {0, 0, 1, 0}, {1, 0, 0, 0},    {10, 20, 30, 22}, {128, 128, 128, 128}};
  for (const Case& c : cases) {
    const Byte pixel[4] = {c.b, c.g, c.r, 77};
    EXPECT_EQ(tone::Luminance(pixel), c.y) << int(c.b) << "," << int(c.g) << "," << int(c.r);
    // The same pixel through the export, in every position of a row that
    // covers whole vector groups and a tail.
    for (const auto& path : CpuPaths()) {
      PinnedCpuPath pin(path);
      TestPlane plane = RowOf(std::vector<std::uint32_t>(13, Argb(77, c.r, c.g, c.b)));
      ASSERT_EQ(Desaturate(plane.first(), plane.stride(), 13, 1, 0), 1);
      const std::uint32_t y = static_cast<std::uint32_t>(c.y);
      EXPECT_EQ(PixelsOf(plane, 13, 0), std::vector<std::uint32_t>(13, Argb(77, y, y, y)))
          << path.label;
    }
  }
}

TEST(Luminance, DenseGridMatchesTheIntegerFormulaOnEveryPath) {
  // Every gray level, and a grid of colours with the extremes.
  std::vector<std::uint32_t> pixels;
  for (std::uint32_t v = 0; v < 256; ++v) pixels.push_back(Argb(255 - v, v, v, v));
  std::vector<std::uint32_t> levels;
  for (std::uint32_t v = 0; v < 256; v += 3) levels.push_back(v);
  levels.push_back(254);
  for (std::uint32_t r : levels)
    for (std::uint32_t g : levels)
      for (std::uint32_t b : levels) pixels.push_back(Argb(r ^ g ^ b, r, g, b));
  const int width = 509;  // odd, so rows end in a tail
  const int height = static_cast<int>((pixels.size() + width - 1) / width);
  pixels.resize(static_cast<std::size_t>(width) * height, Argb(1, 2, 3, 4));

  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    TestPlane plane(width * 4, height, 8, true);
    for (int i = 0; i < width * height; ++i)
      plane.Set<std::uint32_t>(i % width * 4, i / width, pixels[i]);
    ASSERT_EQ(Desaturate(plane.first(), plane.stride(), width, height, 1), 1);
    int mismatches = 0;
    for (int i = 0; i < width * height; ++i) {
      const std::uint32_t in = pixels[static_cast<std::size_t>(i)];
      const std::uint32_t out = plane.Get<std::uint32_t>(i % width * 4, i / width);
      const std::uint32_t largest = std::max({(in >> 16) & 0xFF, (in >> 8) & 0xFF, in & 0xFF});
      if (out != Desaturated(in, true) || (out & 0xFF) > largest) ++mismatches;
      if (i < 256) {
        EXPECT_EQ(out & 0xFF, in & 0xFF) << "gray " << i << " on " << path.label;
      }
    }
    EXPECT_EQ(mismatches, 0) << path.label;
    EXPECT_TRUE(plane.GuardsIntact());
  }
}

TEST(Desaturate, OnlyTheLowByteOfAlsoAlphaCounts) {
  struct Case {
    std::uint32_t flag;
    bool writesAlpha;
  };
  const Case cases[] = {{0, false},   {1, true},           {256, false},      {0x101, true},
                        {0x80, true}, {0xFFFFFF00, false}, {0xFFFFFFFF, true}};
  for (const Case& c : cases) {
    for (const auto& path : CpuPaths()) {
      PinnedCpuPath pin(path);
      // Opaque pure red and a translucent pixel, alternating over 11 pixels.
      std::vector<std::uint32_t> in;
      for (int x = 0; x < 11; ++x)
        in.push_back(x % 2 ? Argb(200, 30, 20, 10) : Argb(255, 255, 0, 0));
      TestPlane plane = RowOf(in);
      ASSERT_EQ(Desaturate(plane.first(), plane.stride(), 11, 1, c.flag), 1);
      const auto out = PixelsOf(plane, 11, 0);
      for (int x = 0; x < 11; ++x) {
        const std::uint32_t want =
            x % 2 ? (c.writesAlpha ? Argb(22, 22, 22, 22) : Argb(200, 22, 22, 22))
                  : (c.writesAlpha ? Argb(76, 76, 76, 76) : Argb(255, 76, 76, 76));
        EXPECT_EQ(out[static_cast<std::size_t>(x)], want)
            << "flag 0x" << std::hex << c.flag << " pixel " << std::dec << x << " on "
            << path.label;
      }
    }
  }
}

// Every entry of the kernel table against the one-pixel definition: every
// width up to 67 (each tail length) at every start offset modulo 64 bytes
// (each head length), where rows end against the fence.
TEST(Desaturate, EveryKernelMatchesTheScalarDefinitionAtEveryHeadAndTail) {
  Rng rng(11);
  for (const auto& [path, kernels] : test::TableEntries(tone::kDesaturateKernelTable)) {
    for (int offset = 0; offset < 16; ++offset) {
      for (int width = 1; width <= 67; ++width) {
        const bool alsoAlpha = rng.Bool();
        TestPlane plane((offset + width) * 4, 1);
        plane.FillRandom(rng);
        std::vector<Byte> expected = plane.RowBytes();
        for (int x = 0; x < width; ++x)
          tone::DesaturatePixel(expected.data() + 4 * (offset + x), alsoAlpha);
        kernels->row(plane.first() + 4 * offset, width, alsoAlpha);
        ASSERT_EQ(plane.RowBytes(), expected)
            << path.label << " offset " << offset << " width " << width;
        ASSERT_TRUE(plane.GuardsIntact());
      }
    }
  }
}

TEST(Desaturate, PaddedAndBottomUpRegionsOnEveryPath) {
  Rng rng(12);
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (int round = 0; round < 40; ++round) {
      const int width = rng.Int(1, 37), height = rng.Int(1, 5), extra = rng.Int(0, 3);
      const auto shape = test::RandomShape(rng);
      const bool alsoAlpha = rng.Bool();
      TestPlane plane((width + extra) * 4, height, shape.padding, shape.bottomUp);
      plane.FillRandom(rng);
      std::vector<std::uint32_t> expected;
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width + extra; ++x) {
          const std::uint32_t p = plane.Get<std::uint32_t>(x * 4, y);
          expected.push_back(x < width ? Desaturated(p, alsoAlpha) : p);
        }
      ASSERT_EQ(Desaturate(plane.first(), plane.stride(), width, height, alsoAlpha ? 1u : 0u), 1);
      std::vector<std::uint32_t> got;
      for (int y = 0; y < height; ++y) {
        const auto row = PixelsOf(plane, width + extra, y);
        got.insert(got.end(), row.begin(), row.end());
      }
      EXPECT_EQ(got, expected) << path.label << " " << width << "x" << height;
      EXPECT_TRUE(plane.GuardsIntact());
    }
  }
}

TEST(Desaturate, EmptyRegionsTouchNothing) {
  struct Case {
    int width, height;
  };
  for (const Case c :
       {Case{5, 0}, Case{5, -3}, Case{0, 4}, Case{-5, 4}, Case{INT32_MIN, INT32_MAX}}) {
    TestPlane plane(20, 4);
    Rng rng(13);
    plane.FillRandom(rng);
    const auto before = plane.Snapshot();
    EXPECT_EQ(Desaturate(plane.first(), plane.stride(), c.width, c.height, 1), 1);
    EXPECT_EQ(plane.Snapshot(), before) << c.width << "x" << c.height;
  }
}

}  // namespace
}  // namespace morvex
