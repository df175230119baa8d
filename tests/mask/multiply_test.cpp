#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "mask/multiply.h"
#include "mask_test_util.h"
#include "morvex/native.h"
#include "support/fp_state.h"

namespace morvex {
namespace {

using test::CpuPaths;
using test::FloatAt;
using test::PinnedCpuPath;
using test::Rng;
using test::SetFloat;
using test::TestPlane;

uint8_t Multiply(TestPlane& dst, const TestPlane& src, int width, int height) {
  return MultiplyMasks(reinterpret_cast<float*>(dst.first()), dst.stride(),
                       reinterpret_cast<const float*>(src.first()), src.stride(), width, height);
}

TEST(MultiplyMasks, ProductsOnEveryPathAndShape) {
  struct Case {
    int width, height, dstPad, srcPad;
    bool dstUp, srcUp;
  };
  const Case cases[] = {{1, 3, 0, 0, false, false}, {7, 4, 8, 0, true, false},
                        {16, 2, 0, 4, false, true}, {37, 5, 12, 20, true, true},
                        {67, 1, 0, 0, false, false}};
  Rng rng(21);
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (const Case& c : cases) {
      // Rows one element wider than the region: the extra element must stay.
      TestPlane dst(4 * (c.width + 1), c.height, c.dstPad, c.dstUp);
      TestPlane src(4 * c.width, c.height, c.srcPad, c.srcUp);
      test::FillFloats(dst, rng, -1e3, 1e3);
      test::FillFloats(src, rng, -2, 2);
      std::vector<float> expected;
      for (int y = 0; y < c.height; ++y)
        for (int x = 0; x <= c.width; ++x)
          expected.push_back(x < c.width ? FloatAt(src, x, y) * FloatAt(dst, x, y) : FloatAt(dst, x, y));
      ASSERT_EQ(Multiply(dst, src, c.width, c.height), 1);
      for (int y = 0; y < c.height; ++y)
        for (int x = 0; x <= c.width; ++x)
          ASSERT_EQ(test::FloatBits(FloatAt(dst, x, y)),
                    test::FloatBits(expected[y * (c.width + 1) + x]))
              << path.label << " " << c.width << "x" << c.height << " at " << x << "," << y;
      EXPECT_TRUE(dst.GuardsIntact());
    }
  }
}

TEST(MultiplyMasks, SpecialFactors) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<float> values = {0.5f, -3.0f, 1e-40f, 7e37f, -0.0f, inf, 255.0f, 1.0f / 3};
  const int n = static_cast<int>(values.size());
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    struct Case {
      float factor;
      bool keeps;  // leaves every element as it was
    };
    for (const Case c : {Case{1.0f, true}, Case{0.0f, false}}) {
      TestPlane dst(4 * n, 2), src(4 * n, 2);
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < n; ++x) {
          SetFloat(dst, x, y, values[x]);
          SetFloat(src, x, y, c.factor);
        }
      Multiply(dst, src, n, 2);
      for (int x = 0; x < n; ++x) {
        const float got = FloatAt(dst, x, 1);
        if (c.keeps) {
          EXPECT_EQ(test::FloatBits(got), test::FloatBits(values[x])) << path.label;
        } else if (std::isfinite(values[x])) {
          EXPECT_EQ(got, 0.0f) << path.label;
        } else {
          EXPECT_TRUE(std::isnan(got)) << path.label;  // 0 * inf
        }
      }
    }
  }
}

TEST(MultiplyMasks, SamePlaneSquaresEveryElement) {
  Rng rng(22);
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    TestPlane plane(4 * 29, 3, 4, true);
    test::FillFloats(plane, rng, -50, 50);
    std::vector<float> squares;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 29; ++x) squares.push_back(FloatAt(plane, x, y) * FloatAt(plane, x, y));
    ASSERT_EQ(Multiply(plane, plane, 29, 3), 1);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 29; ++x) ASSERT_EQ(FloatAt(plane, x, y), squares[y * 29 + x]) << path.label;
  }
}

// A factor plane that starts a few elements before its destination in the
// same memory sees products written earlier in the row, in row order, on
// every path.
TEST(MultiplyMasks, OverlappingPlanesKeepTheSequentialOrder) {
  const int width = 40;
  for (int shiftBytes : {1, 4, 12, 32, 60, 64, 100, -4, -8}) {
    std::vector<std::vector<Byte>> results;
    for (const auto& path : CpuPaths()) {
      PinnedCpuPath pin(path);
      std::vector<Byte> memory(4 * width + 256);
      Rng fill(static_cast<std::uint64_t>(shiftBytes + 1000));
      for (int i = 0; i + 4 <= static_cast<int>(memory.size()); i += 4) {
        const float v = static_cast<float>(fill.Real(0.5, 1.5));
        std::memcpy(&memory[i], &v, 4);
      }
      Byte* dst = memory.data() + 128;
      MultiplyMasks(reinterpret_cast<float*>(dst), 0,
                    reinterpret_cast<const float*>(dst - shiftBytes), 0, width, 1);
      results.push_back(memory);
    }
    // The scalar path is the sequential definition.
    for (std::size_t i = 0; i + 1 < results.size(); ++i)
      EXPECT_EQ(results[i], results.back()) << "shift " << shiftBytes << " path " << i;
  }
}

TEST(MultiplyMasks, ProductsRoundInTheHostMode) {
  test::FpStateGuard guard;
  Rng rng(26);
  for (const std::uint32_t mode : test::kHostRoundings) {
    if (mode == kFpRoundNearest) continue;
    for (const auto& path : CpuPaths()) {
      PinnedCpuPath pin(path);
      TestPlane dst(4 * 37, 2), src(4 * 37, 2);
      test::FillFloats(dst, rng, -10, 10);
      test::FillFloats(src, rng, -10, 10);
      std::vector<float> nearest, expected;
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 37; ++x) nearest.push_back(FloatAt(src, x, y) * FloatAt(dst, x, y));
      test::SetHostRounding(mode);
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 37; ++x) expected.push_back(FloatAt(src, x, y) * FloatAt(dst, x, y));
      Multiply(dst, src, 37, 2);
      test::SetHostRounding(kFpRoundNearest);
      int differing = 0;
      for (int i = 0; i < 74; ++i) {
        ASSERT_EQ(FloatAt(dst, i % 37, i / 37), expected[i]) << path.label << " mode " << mode;
        differing += expected[i] != nearest[i];
      }
      EXPECT_GT(differing, 0);  // the mode mattered for these products
    }
  }
}

TEST(MultiplyMasks, EmptyRegionsTouchNothing) {
  for (auto [width, height] : {std::pair{5, 0}, {5, -1}, {0, 3}, {-2, 3}}) {
    TestPlane dst(20, 3), src(20, 3);
    Rng rng(24);
    dst.FillRandom(rng);
    src.FillRandom(rng);
    const auto before = dst.Snapshot();
    EXPECT_EQ(Multiply(dst, src, width, height), 1);
    EXPECT_EQ(dst.Snapshot(), before);
  }
}

TEST(MultiplyMaskKernels, MatchTheScalarRowAtEveryWidth) {
  Rng rng(25);
  const float kTwo = 2.0f;
  for (int width = 0; width <= 67; ++width) {
    for (int offset : {0, 1, 4, 24}) {
      std::vector<Byte> src(4 * width + 3), dst(4 * width + 64);
      rng.Fill(src.data(), src.size());  // any bit patterns, NaNs and denormals included
      rng.Fill(dst.data(), dst.size());
      // Which NaN a product of two NaNs keeps depends on the operand order the
      // compiler picks for the scalar product, so no NaN meets another.
      for (int x = 0; x < width; ++x) {
        float s, d;
        std::memcpy(&s, &src[2 + 4 * x], 4);
        std::memcpy(&d, &dst[offset + 4 * x], 4);
        if (std::isnan(s) && std::isnan(d)) std::memcpy(&src[2 + 4 * x], &kTwo, 4);
      }
      std::vector<Byte> expected = dst;
      mask::kMultiplyMaskKernelsScalar.row(expected.data() + offset, src.data() + 2, width);
      for (const auto& path : test::CpuPathsOf(mask::kMultiplyMaskKernelTable)) {
        std::vector<Byte> got = dst;
        mask::kMultiplyMaskKernelTable.At(path.level)
            ->row(got.data() + offset, src.data() + 2, width);
        // Bit for bit, NaN payloads included.
        EXPECT_EQ(got, expected) << path.label << " width " << width << " offset " << offset;
      }
    }
  }
}

}  // namespace
}  // namespace morvex
