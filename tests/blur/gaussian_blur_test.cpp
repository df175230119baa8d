#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cmath>
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

constexpr const char* kSizeMessage = "GaussianBlur: we need a bigger temporary buffer\n";
constexpr const char* kFormatMessage = "GaussianBlur: unimplemented or unknown format\n";

void FillImage(TestPlane& plane, int format, int width, int height, Rng& rng) {
  plane.FillRandom(rng);
  if (format != 16) return;
  const int style = rng.Int(0, 3);
  for (int r = 0; r < height; ++r) {
    for (int i = 0; i < width * 4; ++i) {
      float v;
      switch (style) {
        case 0:
          v = static_cast<float>(rng.Real(0, 255));
          break;
        case 1:
          v = static_cast<float>(rng.Real(-300, 3000));
          break;
        case 2:
          v = rng.Int(0, 3) == 0 ? 255.0f : static_cast<float>(rng.Real(0, 2e-5));
          break;
        default:
          v = static_cast<float>(rng.Int(0, 255));
          break;
      }
      plane.Set<float>(i * 4, r, v);
    }
  }
}

struct Call {
  int format, width, height;
  ref::Sigmas sigmas;
};

// Runs GaussianBlur on `plane` and checks image, intermediate, guards and the
// floating-point state against the reference of `path`.
void CheckAgainstReference(TestPlane& plane, const Call& c, const test::CpuPath& path, int misalign,
                           std::uint32_t hostMode) {
  const test::FpStateGuard guard;
  test::SetHostRounding(hostMode);
  const std::size_t tempBytes = static_cast<std::size_t>(c.width) * c.height * 16;
  Temp temp(tempBytes, misalign);
  const SigmaArray rows(c.sigmas.rows), columns(c.sigmas.columns);
  const ref::Result expected = ref::Image(plane, c.format, c.width, c.height, c.sigmas,
                                          VectorPath(path) ? ref::Path::kVector : ref::Path::kScalar);
  const auto before = test::ReadFpState();
  std::uint8_t result;
  {
    const test::PinnedCpuPath pin(path);
    result = GaussianBlur(plane.first(), plane.stride(), c.format, c.width, c.height, temp.data(),
                          static_cast<std::int32_t>(tempBytes), c.sigmas.horizontal,
                          c.sigmas.vertical, c.sigmas.rows.empty() ? nullptr : rows.get(),
                          c.sigmas.columns.empty() ? nullptr : columns.get());
  }
  ExpectCallMatches(result, before, plane, temp, expected);
}

TEST(GaussianBlur, MatchesTheDefinitionOfEachPathOnRandomRegions) {
  for (const test::CpuPath& path : test::CpuPaths()) {
    Rng rng(1000);
    for (int i = 0; i < 160; ++i) {
      Call c;
      c.format = rng.Bool() ? 4 : 16;
      c.width = i % 8 == 0 ? rng.Int(30, 70) : rng.Int(1, 23);
      c.height = i % 8 == 1 ? rng.Int(30, 70) : rng.Int(1, 23);
      c.sigmas.horizontal = RandomSigma(rng);
      c.sigmas.vertical = RandomSigma(rng);
      if (rng.Int(0, 3) == 0) c.sigmas.rows = RandomSigmas(rng, c.height);
      if (rng.Int(0, 3) == 0) c.sigmas.columns = RandomSigmas(rng, c.width);
      const auto shape = test::RandomShape(rng);
      TestPlane plane(c.width * c.format + rng.Int(0, 1) * 3, c.height, shape.padding,
                      shape.bottomUp);
      FillImage(plane, c.format, c.width, c.height, rng);
      SCOPED_TRACE(::testing::Message() << path.label << " call " << i << " format " << c.format
                                        << " " << c.width << "x" << c.height);
      CheckAgainstReference(plane, c, path, rng.Int(0, 3), kHostRoundings[rng.Int(0, 3)]);
      if (HasFailure()) return;
    }
  }
}

TEST(GaussianBlur, WorkedExampleOfANinePixelRow) {
  for (const test::CpuPath& path : test::CpuPaths()) {
    SCOPED_TRACE(path.label);
    TestPlane plane(9 * 4, 1);
    plane.Fill(0);
    for (int ch = 0; ch < 4; ++ch) plane.Row(0)[4 * 4 + ch] = 255;
    Temp temp(9 * 16, 0);
    const test::PinnedCpuPath pin(path);
    ASSERT_EQ(GaussianBlur(plane.first(), plane.stride(), 4, 9, 1, temp.data(), 9 * 16, 1.0, 1.0,
                           nullptr, nullptr),
              1);
    const int expected[9] = {1, 5, 18, 52, 102, 52, 18, 5, 2};
    for (int c = 0; c < 9; ++c)
      for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(plane.Row(0)[c * 4 + ch], expected[c]) << c;
    const std::vector<float> t = temp.Floats();
    for (int ch = 0; ch < 4; ++ch) EXPECT_NEAR(t[4 * 4 + ch], 102.388, 0.0005);
  }
}

TEST(GaussianBlur, UniformRegionsKeepTheirValuesOnTheScalarPath) {
  const test::PinnedCpuPath pin(kScalarPath);
  for (double sigma : {0.5, 1.0, 2.4, 7.0, 30.0, 54.0}) {
    for (int value : {0, 1, 77, 254, 255}) {
      TestPlane plane(13 * 4, 11, 4);
      plane.Fill(static_cast<std::uint8_t>(value));
      const auto before = plane.RowBytes();
      Temp temp(13 * 11 * 16, 0);
      ASSERT_EQ(GaussianBlur(plane.first(), plane.stride(), 4, 13, 11, temp.data(), 13 * 11 * 16,
                             sigma, sigma, nullptr, nullptr),
                1);
      EXPECT_EQ(plane.RowBytes(), before) << sigma << " " << value;
    }
  }
}

TEST(GaussianBlur, AOnePixelWideRowPassesTheHorizontalPassUnchangedOnTheScalarPath) {
  const test::PinnedCpuPath pin(kScalarPath);
  Rng rng(5);
  TestPlane plane(4, 40);
  plane.FillRandom(rng);
  const auto input = plane.RowBytes();
  Temp temp(40 * 16, 0);
  ASSERT_EQ(GaussianBlur(plane.first(), plane.stride(), 4, 1, 40, temp.data(), 40 * 16, 9.0, 3.0,
                         nullptr, nullptr),
            1);
  const std::vector<float> t = temp.Floats();
  for (std::size_t i = 0; i < input.size(); ++i) EXPECT_EQ(t[i], static_cast<float>(input[i])) << i;
}

TEST(GaussianBlur, ScalarPathRoundsExactHalvesToEven) {
  // A 1x4 column whose third result is exactly 188.5 on the scalar path.
  const int column[4] = {205, 223, 154, 165};
  {
    const ref::PathSetting setting(ref::Path::kScalar);
    std::vector<float> v(4);
    for (int r = 0; r < 4; ++r) {
      std::vector<float> one{static_cast<float>(column[r])};
      ref::Run(one, true, ref::For(24.0), true, true);
      v[r] = one[0];
    }
    ref::Run(v, true, ref::For(2.0), true, false);
    ASSERT_EQ(v[2], 188.5f);
  }
  const test::PinnedCpuPath pin(kScalarPath);
  for (std::uint32_t host : kHostRoundings) {
    const test::FpStateGuard guard;
    test::SetHostRounding(host);
    TestPlane plane(4, 4);
    for (int r = 0; r < 4; ++r) std::memset(plane.Row(r), column[r], 4);
    Temp temp(4 * 16, 0);
    ASSERT_EQ(GaussianBlur(plane.first(), plane.stride(), 4, 1, 4, temp.data(), 64, 24.0, 2.0,
                           nullptr, nullptr),
              1);
    for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(plane.Row(2)[ch], 188) << host;
  }
}

TEST(GaussianBlur, RefusesWithItsMessageAndTouchesNothing) {
  // A null message marks a call that is accepted and has nothing to do.
  struct Case {
    int format, width, height;
    std::int64_t tempBytes;
    const char* message;
  };
  const Case cases[] = {
      {4, 7, 5, 7 * 5 * 16 - 1, kSizeMessage},
      {16, 7, 5, 0, kSizeMessage},
      {1, 7, 5, 7 * 5 * 16 - 1, kSizeMessage},  // size before format
      {1, 7, 5, 7 * 5 * 16, kFormatMessage},
      {8, 7, 5, 7 * 5 * 16, kFormatMessage},
      {32, 7, 5, 7 * 5 * 16, kFormatMessage},
      {0, 0, 0, 0, kFormatMessage},
      {-4, 7, 5, 1 << 20, kFormatMessage},
      // The product 65536 * 16 * 65536 wraps to 0 in 32 bits.
      {4, 65536, 65536, 16, kSizeMessage},
      {4, 1 << 30, 4, 0x7FFFFFFF, kSizeMessage},
      {4, 2, 3, -1, kSizeMessage},
      {4, 0, 3, -1, kSizeMessage},
      {4, -2, -3, 95, kSizeMessage},  // the product of two negative sizes is positive
      {4, -2, -3, 96, nullptr},
  };
  for (const test::CpuPath& path : test::CpuPaths()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << path.label << " format " << c.format << " " << c.width
                                        << "x" << c.height << " temp " << c.tempBytes);
      Rng rng(9);
      TestPlane plane(7 * 16, 5, 3);
      plane.FillRandom(rng);
      Temp temp(7 * 5 * 16, 1);
      const auto planeBefore = plane.Snapshot();
      const auto tempBefore = temp.Snapshot();
      const test::FpStateGuard guard;
      test::SetHostRounding(kFpRoundUp);
      const std::uint32_t mxcsrBefore = ReadMxcsr();
      const auto fpBefore = test::ReadFpState();
      test::StderrCapture capture;
      std::uint8_t result;
      {
        const test::PinnedCpuPath pin(path);
        result =
            GaussianBlur(plane.first(), plane.stride(), c.format, c.width, c.height, temp.data(),
                         static_cast<std::int32_t>(c.tempBytes), 2.0, 3.0, nullptr, nullptr);
      }
      EXPECT_EQ(result, c.message != nullptr ? 0 : 1);
      EXPECT_EQ(capture.Take(), c.message != nullptr ? c.message : "");
      EXPECT_EQ(test::ReadFpState(), fpBefore);
      EXPECT_EQ(ReadMxcsr(), mxcsrBefore);
      EXPECT_EQ(plane.Snapshot(), planeBefore);
      EXPECT_EQ(temp.Snapshot(), tempBefore);
    }
  }
}

TEST(GaussianBlur, EmptyRegionsSucceedWithoutTouchingAnything) {
  struct Case {
    int width, height;
  };
  for (const test::CpuPath& path : test::CpuPaths()) {
    for (const Case c : {Case{0, 4}, Case{-3, 4}, Case{5, 0}, Case{5, -2}, Case{0, 0}}) {
      for (int format : {4, 16}) {
        Rng rng(10);
        TestPlane plane(5 * 16, 4);
        plane.FillRandom(rng);
        Temp temp(5 * 4 * 16, 0);
        const auto planeBefore = plane.Snapshot();
        const auto tempBefore = temp.Snapshot();
        test::StderrCapture capture;
        const test::PinnedCpuPath pin(path);
        EXPECT_EQ(GaussianBlur(plane.first(), plane.stride(), format, c.width, c.height,
                               temp.data(), 5 * 4 * 16, 1.0, 1.0, nullptr, nullptr),
                  1);
        EXPECT_EQ(capture.Take(), "");
        EXPECT_EQ(plane.Snapshot(), planeBefore);
        EXPECT_EQ(temp.Snapshot(), tempBefore);
      }
    }
  }
}

// Blurs a copy of `source` and returns the resulting rows.
std::vector<std::uint8_t> Blurred(const TestPlane& source, int format, int width, int height,
                                  double sh, double sv, const std::vector<double>& rowSigmas,
                                  const std::vector<double>& columnSigmas) {
  TestPlane plane(source.rowBytes(), source.rows());
  for (int r = 0; r < height; ++r) std::memcpy(plane.Row(r), source.Row(r), source.rowBytes());
  Temp temp(static_cast<std::size_t>(width) * height * 16, 0);
  const SigmaArray rows(rowSigmas), columns(columnSigmas);
  EXPECT_EQ(GaussianBlur(plane.first(), plane.stride(), format, width, height, temp.data(),
                         width * height * 16, sh, sv, rowSigmas.empty() ? nullptr : rows.get(),
                         columnSigmas.empty() ? nullptr : columns.get()),
            1);
  return plane.RowBytes();
}

TEST(GaussianBlur, SigmasAreClampedAndArraysReplaceTheSingleSigma) {
  for (const test::CpuPath& path : test::CpuPaths()) {
    SCOPED_TRACE(path.label);
    const test::PinnedCpuPath pin(path);
    Rng rng(11);
    const int w = 19, h = 14;
    TestPlane src(w * 4, h);
    src.FillRandom(rng);
    const auto small = Blurred(src, 4, w, h, 0.5, 0.5, {}, {});
    const auto large = Blurred(src, 4, w, h, 54, 54, {}, {});
    EXPECT_NE(small, large);
    EXPECT_EQ(Blurred(src, 4, w, h, 0.0, -3.0, {}, {}), small);
    EXPECT_EQ(Blurred(src, 4, w, h, 80.0, 1e300, {}, {}), large);
    // Arrays of clamped values, with single sigmas that must have no effect.
    EXPECT_EQ(
        Blurred(src, 4, w, h, 9.0, 9.0, std::vector<double>(h, -1.0), std::vector<double>(w, 0.25)),
        small);
    EXPECT_EQ(
        Blurred(src, 4, w, h, 2.0, 2.0, std::vector<double>(h, 60.0), std::vector<double>(w, 54.0)),
        large);
  }
}

TEST(GaussianBlur, FloatResultsAreNotClamped) {
  for (const test::CpuPath& path : test::CpuPaths()) {
    const test::PinnedCpuPath pin(path);
    TestPlane plane(6 * 16, 3);
    for (int r = 0; r < 3; ++r)
      for (int i = 0; i < 24; ++i) plane.Set<float>(i * 4, r, 1000.0f);
    Temp temp(6 * 3 * 16, 0);
    ASSERT_EQ(GaussianBlur(plane.first(), plane.stride(), 16, 6, 3, temp.data(), 6 * 3 * 16, 2.0,
                           2.0, nullptr, nullptr),
              1);
    for (int r = 0; r < 3; ++r)
      for (int i = 0; i < 24; ++i) EXPECT_NEAR(plane.Get<float>(i * 4, r), 1000.0f, 0.01f);
  }
}

TEST(GaussianBlur, ANotANumberSigmaGivesZeroBytesAndNotANumberFloats) {
  const double nan = std::nan("");
  for (const test::CpuPath& path : test::CpuPaths()) {
    for (int format : {4, 16}) {
      SCOPED_TRACE(::testing::Message() << path.label << " format " << format);
      const test::PinnedCpuPath pin(path);
      Rng rng(14);
      TestPlane plane(7 * format, 5);
      FillImage(plane, format, 7, 5, rng);
      Temp temp(7 * 5 * 16, 0);
      ASSERT_EQ(GaussianBlur(plane.first(), plane.stride(), format, 7, 5, temp.data(), 7 * 5 * 16,
                             nan, 2.0, nullptr, nullptr),
                1);
      for (int r = 0; r < 5; ++r) {
        for (int i = 0; i < 28; ++i) {
          if (format == 4)
            EXPECT_EQ(plane.Row(r)[i], 0);
          else
            EXPECT_TRUE(std::isnan(plane.Get<float>(i * 4, r)));
        }
      }
    }
  }
}

TEST(GaussianBlur, VectorPathRestoresTheWholeMxcsr) {
  if (!(ProbedCpuFeatureFlags() & kCpuSse2)) GTEST_SKIP();
  for (std::uint32_t flagsBefore : {0x00u, 0x3Fu}) {
    const test::FpStateGuard guard;
    const std::uint32_t before = (ReadMxcsr() & ~0x3Fu) | flagsBefore;
    WriteMxcsr(before);
    Rng rng(12);
    TestPlane plane(9 * 4, 9);
    plane.FillRandom(rng);
    Temp temp(9 * 9 * 16, 0);
    ASSERT_EQ(GaussianBlur(plane.first(), plane.stride(), 4, 9, 9, temp.data(), 9 * 9 * 16, 3.0,
                           3.0, nullptr, nullptr),
              1);
    EXPECT_EQ(ReadMxcsr(), before);
  }
}

TEST(GaussianBlur, TallRegionsComplete) {
  const int w = 2, h = 200000;
  for (const test::CpuPath& path : test::CpuPaths()) {
    SCOPED_TRACE(path.label);
    Rng rng(13);
    TestPlane plane(w * 4, h);
    plane.FillRandom(rng);
    CheckAgainstReference(plane, Call{4, w, h, {3.0, 20.0, {}, {}}}, path, 0, kFpRoundNearest);
  }
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(_WIN32)  // fork and setrlimit are POSIX
// A region whose column scratch the heap cannot provide is refused cleanly.
TEST(GaussianBlur, RefusesWhenTheColumnScratchCannotBeAllocated) {
  const int w = 16, h = 1 << 18;  // scratch of 64 MiB
  std::vector<float> temp(static_cast<std::size_t>(w) * h * 4);
  std::vector<std::uint8_t> image(static_cast<std::size_t>(w) * 4 * h, 7);
  std::fflush(stderr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Leave room for little more than what is mapped already.
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
      std::fclose(f);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (32u << 20);
    const rlimit rl{limit, limit};
    if (setrlimit(RLIMIT_AS, &rl) != 0) _exit(10);
    const std::uint32_t mxcsr = ReadMxcsr();
    const std::uint8_t result = GaussianBlur(image.data(), w * 4, 4, w, h, temp.data(), w * h * 16,
                                             2.0, 2.0, nullptr, nullptr);
    if (result != 0) _exit(11);
    if (ReadMxcsr() != mxcsr) _exit(12);
    for (std::uint8_t b : image)
      if (b != 7) _exit(13);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

}  // namespace
}  // namespace morvex::blur
