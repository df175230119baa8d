#include <gtest/gtest.h>

#include <cstring>

#include "blur_test_util.h"
#include "morvex/native.h"
#include "reference.h"
#include "support/stderr_capture.h"
#include "support/test_plane.h"

namespace morvex::blur {
namespace {

using test::Rng;
using test::TestPlane;
using namespace test_util;

constexpr const char* kSizeMessage = "GaussianBlurMask: we need a bigger temporary buffer\n";
constexpr const char* kFormatMessage = "GaussianBlurMask: unimplemented or unknown format\n";

struct MaskCall {
  int channel, format, width, height;
  ref::Sigmas sigmas;
  double scale = 1, offset = 0;
};

void CheckMask(TestPlane& plane, const MaskCall& c, const test::CpuPath& path, int misalign,
               std::uint32_t hostMode) {
  const test::FpStateGuard guard;
  test::SetHostRounding(hostMode);
  const std::size_t tempBytes = static_cast<std::size_t>(c.width) * c.height * 4;
  Temp temp(tempBytes, misalign);
  const SigmaArray rows(c.sigmas.rows), columns(c.sigmas.columns);
  const ref::Result expected =
      ref::Mask(plane, c.channel, c.format, c.width, c.height, c.sigmas, c.scale, c.offset);
  const auto before = test::ReadFpState();
  std::uint8_t result;
  {
    const test::PinnedCpuPath pin(path);
    result = GaussianBlurMask(plane.first() + c.channel, plane.stride(), c.format, c.width,
                              c.height, temp.data(), static_cast<std::int32_t>(tempBytes),
                              c.sigmas.horizontal, c.sigmas.vertical, c.scale, c.offset,
                              c.sigmas.rows.empty() ? nullptr : rows.get(),
                              c.sigmas.columns.empty() ? nullptr : columns.get());
  }
  ExpectCallMatches(result, before, plane, temp, expected);
}

TEST(GaussianBlurMask, MatchesTheDefinitionOnEveryPathOnRandomRegions) {
  for (const test::CpuPath& path : test::CpuPaths()) {
    Rng rng(2000);
    for (int i = 0; i < 200; ++i) {
      MaskCall c;
      c.format = rng.Bool() ? 1 : 4;
      c.channel = c.format == 4 ? rng.Int(0, 3) : 0;
      c.width = i % 8 == 0 ? rng.Int(30, 90) : rng.Int(1, 37);
      c.height = i % 8 == 1 ? rng.Int(30, 70) : rng.Int(1, 23);
      c.sigmas.horizontal = RandomSigma(rng);
      c.sigmas.vertical = RandomSigma(rng);
      if (rng.Int(0, 3) == 0) c.sigmas.rows = RandomSigmas(rng, c.height);
      if (rng.Int(0, 3) == 0) c.sigmas.columns = RandomSigmas(rng, c.width);
      switch (rng.Int(0, 4)) {
        case 0:
          break;
        case 1:
          c.scale = -1, c.offset = 255;
          break;
        case 2:
          c.scale = 0, c.offset = rng.Int(-10, 270) + 0.5;
          break;
        default:
          c.scale = rng.Real(-4, 4), c.offset = rng.Real(-300, 300);
          break;
      }
      const auto shape = test::RandomShape(rng);
      TestPlane plane(c.width * c.format + rng.Int(0, 2), c.height, shape.padding, shape.bottomUp);
      plane.FillRandom(rng);
      if (rng.Int(0, 2) == 0) {  // sparse masks reach the flush and long tails
        for (int r = 0; r < c.height; ++r)
          for (int x = 0; x < c.width; ++x)
            if (rng.Int(0, 9) != 0) plane.Row(r)[c.channel + x * c.format] = 0;
      }
      SCOPED_TRACE(::testing::Message() << path.label << " call " << i << " format " << c.format
                                        << " " << c.width << "x" << c.height);
      CheckMask(plane, c, path, rng.Int(0, 3), kHostRoundings[rng.Int(0, 3)]);
      if (HasFailure()) return;
    }
  }
}

TEST(GaussianBlurMask, WorkedExamplesOfANineElementRow) {
  struct Case {
    double sigma;
    int expected[9];
  };
  const Case cases[] = {{1.0, {1, 5, 18, 52, 102, 52, 18, 5, 2}},
                        {2.0, {8, 16, 28, 43, 53, 45, 32, 22, 19}}};
  for (const test::CpuPath& path : test::CpuPaths()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << path.label << " sigma " << c.sigma);
      std::uint8_t row[9] = {0, 0, 0, 0, 255, 0, 0, 0, 0};
      Temp temp(9 * 4, 0);
      const test::PinnedCpuPath pin(path);
      ASSERT_EQ(GaussianBlurMask(row, 9, 1, 9, 1, temp.data(), 36, c.sigma, c.sigma, 1.0, 0.0,
                                 nullptr, nullptr),
                1);
      for (int i = 0; i < 9; ++i) EXPECT_EQ(row[i], c.expected[i]) << i;
    }
  }
}

TEST(GaussianBlurMask, ZeroScaleWritesTheOffsetRoundedHalfToEvenAndClamped) {
  struct Case {
    double offset;
    int expected;
  };
  for (const Case c : {Case{2.5, 2}, Case{3.5, 4}, Case{300, 255}, Case{-3, 0}, Case{254.5, 254},
                       Case{-0.5, 0}, Case{1e12, 0}, Case{0.49999997, 0}}) {
    for (std::uint32_t host : kHostRoundings) {
      const test::FpStateGuard guard;
      test::SetHostRounding(host);
      Rng rng(3);
      TestPlane plane(5, 4, 2, true);
      plane.FillRandom(rng);
      Temp temp(5 * 4 * 4, 0);
      ASSERT_EQ(GaussianBlurMask(plane.first(), plane.stride(), 1, 5, 4, temp.data(), 80, 3.0, 3.0,
                                 0.0, c.offset, nullptr, nullptr),
                1);
      EXPECT_EQ(plane.RowBytes(), std::vector<std::uint8_t>(20, c.expected)) << c.offset;
    }
  }
}

TEST(GaussianBlurMask, UniformMasksKeepTheirValuesAndInvertWithNegativeScale) {
  for (double sigma : {0.5, 2.0, 2.5, 17.0, 54.0}) {
    for (int value : {0, 3, 128, 255}) {
      TestPlane plane(23, 17, 5);
      plane.Fill(static_cast<std::uint8_t>(value));
      Temp temp(23 * 17 * 4, 0);
      ASSERT_EQ(GaussianBlurMask(plane.first(), plane.stride(), 1, 23, 17, temp.data(), 23 * 17 * 4,
                                 sigma, sigma, 1.0, 0.0, nullptr, nullptr),
                1);
      EXPECT_EQ(plane.RowBytes(), std::vector<std::uint8_t>(23 * 17, value)) << sigma;
      ASSERT_EQ(GaussianBlurMask(plane.first(), plane.stride(), 1, 23, 17, temp.data(), 23 * 17 * 4,
                                 sigma, sigma, -1.0, 255.0, nullptr, nullptr),
                1);
      EXPECT_EQ(plane.RowBytes(), std::vector<std::uint8_t>(23 * 17, 255 - value)) << sigma;
    }
  }
}

TEST(GaussianBlurMask, BlursOneChannelOfAnImageAndLeavesTheOthers) {
  Rng rng(4);
  const int w = 21, h = 9;
  TestPlane plane(w * 4, h, 3);
  plane.FillRandom(rng);
  const auto before = plane.RowBytes();
  Temp temp(w * h * 4, 0);
  ASSERT_EQ(GaussianBlurMask(plane.first() + 3, plane.stride(), 4, w, h, temp.data(), w * h * 4,
                             4.0, 4.0, 1.0, 0.0, nullptr, nullptr),
            1);
  const auto after = plane.RowBytes();
  int alphaChanged = 0;
  for (std::size_t i = 0; i < after.size(); ++i) {
    if (i % 4 != 3)
      ASSERT_EQ(after[i], before[i]) << i;
    else
      alphaChanged += after[i] != before[i];
  }
  EXPECT_GT(alphaChanged, w * h / 2);
}

TEST(GaussianBlurMask, RefusesWithItsMessageAndTouchesNothing) {
  struct Case {
    int format, width, height;
    std::int64_t tempBytes;
    const char* message;
  };
  const Case cases[] = {
      {1, 7, 5, 7 * 5 * 4 - 1, kSizeMessage},
      {4, 7, 5, 0, kSizeMessage},
      {2, 7, 5, 7 * 5 * 4 - 1, kSizeMessage},
      {2, 7, 5, 7 * 5 * 4, kFormatMessage},
      {3, 7, 5, 7 * 5 * 4, kFormatMessage},
      {16, 7, 5, 7 * 5 * 4, kFormatMessage},
      {0, 0, 0, 0, kFormatMessage},
      {1, 65536, 65536, 4, kSizeMessage},
      {1, 1 << 30, 2, 0x7FFFFFFF, kSizeMessage},
  };
  for (const test::CpuPath& path : test::CpuPaths()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message()
                   << path.label << " format " << c.format << " temp " << c.tempBytes);
      Rng rng(9);
      TestPlane plane(7 * 4, 5, 3);
      plane.FillRandom(rng);
      Temp temp(7 * 5 * 4, 2);
      const auto planeBefore = plane.Snapshot();
      const auto tempBefore = temp.Snapshot();
      const test::FpStateGuard guard;
      test::SetHostRounding(kFpRoundDown);
      const std::uint32_t mxcsrBefore = ReadMxcsr();
      test::StderrCapture capture;
      std::uint8_t result;
      {
        const test::PinnedCpuPath pin(path);
        result = GaussianBlurMask(plane.first(), plane.stride(), c.format, c.width, c.height,
                                  temp.data(), static_cast<std::int32_t>(c.tempBytes), 2.0, 2.0,
                                  1.0, 0.0, nullptr, nullptr);
      }
      EXPECT_EQ(result, 0);
      EXPECT_EQ(capture.Take(), c.message);
      EXPECT_EQ(ReadMxcsr(), mxcsrBefore);
      EXPECT_EQ(plane.Snapshot(), planeBefore);
      EXPECT_EQ(temp.Snapshot(), tempBefore);
    }
  }
}

TEST(GaussianBlurMask, EmptyRegionsSucceedWithoutTouchingAnything) {
  for (auto [w, h] : {std::pair{0, 3}, {-2, 3}, {4, 0}, {4, -1}}) {
    Rng rng(5);
    TestPlane plane(16, 4);
    plane.FillRandom(rng);
    Temp temp(64, 0);
    const auto planeBefore = plane.Snapshot();
    const auto tempBefore = temp.Snapshot();
    EXPECT_EQ(GaussianBlurMask(plane.first(), plane.stride(), 4, w, h, temp.data(), 64, 1.0, 1.0,
                               1.0, 0.0, nullptr, nullptr),
              1);
    EXPECT_EQ(plane.Snapshot(), planeBefore);
    EXPECT_EQ(temp.Snapshot(), tempBefore);
  }
}

TEST(GaussianBlurMask, SigmasAreClampedAndArraysReplaceTheSingleSigma) {
  Rng rng(6);
  const int w = 29, h = 12;
  TestPlane src(w, h);
  src.FillRandom(rng);
  auto blurred = [&](double sh, double sv, const std::vector<double>& rs,
                     const std::vector<double>& cs) {
    TestPlane plane(w, h);
    for (int r = 0; r < h; ++r) std::memcpy(plane.Row(r), src.Row(r), w);
    Temp temp(w * h * 4, 0);
    const SigmaArray rows(rs), columns(cs);
    EXPECT_EQ(GaussianBlurMask(plane.first(), plane.stride(), 1, w, h, temp.data(), w * h * 4, sh,
                               sv, 1.0, 0.0, rs.empty() ? nullptr : rows.get(),
                               cs.empty() ? nullptr : columns.get()),
              1);
    return plane.RowBytes();
  };
  const auto small = blurred(0.5, 0.5, {}, {});
  const auto large = blurred(54, 54, {}, {});
  EXPECT_NE(small, large);
  EXPECT_EQ(blurred(-1.0, 0.0, {}, {}), small);
  EXPECT_EQ(blurred(54.01, 500.0, {}, {}), large);
  EXPECT_EQ(blurred(7.0, 7.0, std::vector<double>(h, 0.1), std::vector<double>(w, -9.0)), small);
  EXPECT_EQ(blurred(1.0, 1.0, std::vector<double>(h, 99.0), std::vector<double>(w, 54.0)), large);
}

TEST(GaussianBlurMask, ANotANumberSigmaGivesZero) {
  Rng rng(8);
  TestPlane plane(9, 6);
  plane.FillRandom(rng);
  Temp temp(9 * 6 * 4, 0);
  const std::vector<double> columns(9, std::nan(""));
  const SigmaArray columnSigmas(columns);
  ASSERT_EQ(GaussianBlurMask(plane.first(), plane.stride(), 1, 9, 6, temp.data(), 9 * 6 * 4, 2.0,
                             2.0, 0.0, 100.0, nullptr, columnSigmas.get()),
            1);
  EXPECT_EQ(plane.RowBytes(), std::vector<std::uint8_t>(9 * 6, 0));
}

TEST(GaussianBlurMask, TallRegionsComplete) {
  for (const test::CpuPath& path : test::CpuPaths()) {
    SCOPED_TRACE(path.label);
    Rng rng(7);
    TestPlane plane(1, 300000);
    plane.FillRandom(rng);
    MaskCall c{0, 1, 1, 300000, {2.0, 30.0, {}, {}}};
    CheckMask(plane, c, path, 1, kFpRoundTowardZero);
  }
}

}  // namespace
}  // namespace morvex::blur
