#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "mask/noise.h"
#include "mask_test_util.h"
#include "morvex/native.h"
#include "support/fp_state.h"

namespace morvex {
namespace {

using test::CpuPaths;
using test::FloatAt;
using test::PinnedCpuPath;
using test::Rng;
using test::TestPlane;

// The generator's successive level indices from a seed, written out
// independently of the library.
std::vector<int> LevelIndices(std::uint32_t seed, int count) {
  std::vector<int> out;
  std::uint64_t state = seed;
  for (int i = 0; i < count; ++i) {
    state = (state * 214013 + 2531011) % 4294967296ull;
    out.push_back(static_cast<int>((state >> 16) & 0x7FFF) % 1024);
  }
  return out;
}

TEST(GenerateNoiseMask, WorkedValuesOnEveryPath) {
  struct Case {
    std::uint32_t seed;
    std::vector<float> first;
  };
  const Case cases[] = {{1, {41, 35, 190, 900, 737}}, {0, {38}}};
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (const Case& c : cases) {
      // Wide enough for the vector kernels to produce the first elements.
      TestPlane plane(4 * 19, 1);
      ASSERT_EQ(GenerateNoiseMask(reinterpret_cast<float*>(plane.first()), plane.stride(), 19, 1,
                                  0.0f, 1023.0f, c.seed),
                1);
      for (std::size_t x = 0; x < c.first.size(); ++x)
        EXPECT_EQ(FloatAt(plane, static_cast<int>(x), 0), c.first[x]) << path.label << " x=" << x;
    }
  }
}

TEST(GenerateNoiseMask, ElementsFollowTheGeneratorAcrossRowsOnEveryPath) {
  // Odd widths, padding and bottom-up rows: element (x, y) is output y*w+x+1.
  struct Case {
    int width, height, padding;
    bool bottomUp;
    std::uint32_t seed;
  };
  const Case cases[] = {{1, 5, 0, false, 7},    {3, 2, 4, true, 0xFFFFFFFFu}, {8, 3, 0, false, 12345},
                        {13, 4, 12, true, 99},  {33, 3, 3, false, 0x80000000u}, {67, 2, 0, true, 5}};
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (const Case& c : cases) {
      TestPlane plane(4 * c.width, c.height, c.padding, c.bottomUp);
      ASSERT_EQ(GenerateNoiseMask(reinterpret_cast<float*>(plane.first()), plane.stride(), c.width,
                                  c.height, 0.0f, 1023.0f, c.seed),
                1);
      const std::vector<int> expected = LevelIndices(c.seed, c.width * c.height);
      for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
          ASSERT_EQ(FloatAt(plane, x, y), static_cast<float>(expected[y * c.width + x]))
              << path.label << " width " << c.width << " at " << x << "," << y;
      EXPECT_TRUE(plane.GuardsIntact()) << path.label;
    }
  }
}

TEST(GenerateNoiseMask, ShapeOfTheMaskDoesNotChangeTheSequence) {
  TestPlane wide(4 * 6, 1), tall(4 * 3, 2, 8, true);
  GenerateNoiseMask(reinterpret_cast<float*>(wide.first()), wide.stride(), 6, 1, -2.5f, 7.0f, 42);
  GenerateNoiseMask(reinterpret_cast<float*>(tall.first()), tall.stride(), 3, 2, -2.5f, 7.0f, 42);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(FloatAt(wide, i, 0), FloatAt(tall, i % 3, i / 3));
}

TEST(GenerateNoiseMask, RangesGiveTheirLevels) {
  struct Case {
    float low, high;
  };
  const Case cases[] = {{3.25f, 3.25f}, {1023.0f, 0.0f}, {-1.0f, 1.0f}, {0.0f, 1e30f}};
  for (const Case& c : cases) {
    TestPlane plane(4 * 40, 3, 4);
    GenerateNoiseMask(reinterpret_cast<float*>(plane.first()), plane.stride(), 40, 3, c.low, c.high,
                      9);
    const std::vector<int> index = LevelIndices(9, 120);
    for (int i = 0; i < 120; ++i) {
      // low + (i / 1023) * (high - low): quotient as single, sum in double.
      const double q = static_cast<float>(index[i] / 1023.0);
      const auto expected = static_cast<float>(c.low + q * static_cast<float>(c.high - static_cast<double>(c.low)));
      ASSERT_EQ(FloatAt(plane, i % 40, i / 40), expected) << c.low << ".." << c.high;
    }
  }
}

TEST(GenerateNoiseMask, EmptyRegionsTouchNothing) {
  for (auto [width, height] : {std::pair{5, 0}, {5, -3}, {0, 4}, {-7, 4}}) {
    TestPlane plane(20, 4, 3);
    Rng rng(3);
    plane.FillRandom(rng);
    const auto before = plane.Snapshot();
    EXPECT_EQ(GenerateNoiseMask(reinterpret_cast<float*>(plane.first()), plane.stride(), width,
                                height, 0.0f, 1.0f, 1),
              1);
    EXPECT_EQ(plane.Snapshot(), before);
  }
}

TEST(FillRamp, EndpointsAndEvenSpacing) {
  std::vector<float> out(1024);
  mask::FillRamp(out.data(), 1024, 0.0f, 1023.0f);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(out[i], static_cast<float>(i)) << i;
  mask::FillRamp(out.data(), 1024, -8.0f, 24.0f);
  EXPECT_EQ(out[0], -8.0f);
  EXPECT_EQ(out[1023], 24.0f);
  for (int i = 1; i < 1024; ++i) ASSERT_LT(out[i - 1], out[i]);
}

TEST(FillRamp, FollowsTheHostRoundingMode) {
  // Sums of the ramp round in the caller's mode: toward zero never exceeds
  // to-nearest, and some entries differ.
  test::FpStateGuard guard;
  std::vector<float> nearest(1024), towardZero(1024);
  mask::FillRamp(nearest.data(), 1024, 0.1f, 0.7f);
  test::SetHostRounding(kFpRoundTowardZero);
  mask::FillRamp(towardZero.data(), 1024, 0.1f, 0.7f);
  test::SetHostRounding(kFpRoundNearest);
  int differing = 0;
  for (int i = 0; i < 1024; ++i) {
    ASSERT_LE(towardZero[i], nearest[i]);
    differing += towardZero[i] != nearest[i];
  }
  EXPECT_GT(differing, 0);
}

// Every vector kernel writes exactly the scalar values and hands on the
// same state, at every width that reaches each tail length, on rows at
// every offset.
TEST(NoiseKernels, MatchTheScalarRowAtEveryWidth) {
  Rng rng(11);
  alignas(64) float levels[mask::kNoiseLevelCount];
  for (float& v : levels) v = static_cast<float>(rng.Real(-100, 100));
  for (int width = 0; width <= 67; ++width) {
    for (int offset : {0, 1, 4, 20}) {
      const std::uint32_t seed = rng.U32();
      alignas(64) Byte expected[4 * 68 + 32], got[4 * 68 + 32];
      std::memset(expected, 0xEE, sizeof expected);
      const std::uint32_t expectedState =
          mask::kNoiseKernelsScalar.row(expected + offset, width, levels, seed);
      for (const auto& path : test::CpuPathsOf(mask::kNoiseKernelTable)) {
        std::memset(got, 0xEE, sizeof got);
        EXPECT_EQ(mask::kNoiseKernelTable.At(path.level)->row(got + offset, width, levels, seed),
                  expectedState)
            << path.label << " width " << width;
        EXPECT_EQ(std::memcmp(got, expected, sizeof got), 0)
            << path.label << " width " << width << " offset " << offset;
      }
    }
  }
}

}  // namespace
}  // namespace morvex
