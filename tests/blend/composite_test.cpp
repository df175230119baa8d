// Composite and its six modes.
#include "blend/composite.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "blend/blend_test_util.h"
#include "morvex/native.h"
#include "support/stderr_capture.h"

namespace morvex::test {
namespace {

constexpr int kModes[] = {1, 3, 4, 5, 6, 7};

Px CompositeOne(Px dst, Px src, int mode, double opacity) {
  TestPlane d = OnePixel(dst), s = OnePixel(src);
  EXPECT_EQ(Composite(d.first(), d.stride(), s.first(), s.stride(), 1, 1, mode, opacity), 1);
  return PixelAt(d, 0, 0);
}

TEST(Composite, SixModesOnOnePixelAtFullAndHalfOpacity) {
  const Px src{100, 150, 200, 200}, dst{50, 100, 200, 220};
  struct Case {
    int mode;
    Px full, half;
  };
  const Case cases[] = {
      {1, {111, 172, 243, 247}, {80, 136, 221, 233}},
      {3, {150, 250, 255, 247}, {100, 175, 227, 233}},
      {4, {19, 58, 156, 172}, {34, 78, 177, 195}},
      {5, {39, 117, 232, 247}, {44, 108, 216, 233}},
      {6, {131, 192, 244, 247}, {90, 146, 222, 233}},
      {7, {75, 125, 200, 210}, {62, 112, 200, 214}},
  };
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (const Case& c : cases) {
      EXPECT_EQ(CompositeOne(dst, src, c.mode, 1.0), c.full) << path.label << " mode " << c.mode;
      EXPECT_EQ(CompositeOne(dst, src, c.mode, 0.5), c.half) << path.label << " mode " << c.mode;
    }
  }
}

TEST(Composite, ModeDetails) {
  struct Case {
    int mode;
    Px dst, src, expected;
  };
  const Case cases[] = {
      {1, {9, 8, 7, 200}, {0, 0, 0, 0}, {9, 8, 7, 200}},
      {1, {9, 8, 7, 200}, {255, 255, 255, 255}, {255, 255, 255, 255}},
      {1, {200, 100, 50, 255}, {64, 64, 64, 128}, {164, 114, 89, 255}},
      {3, {200, 0, 0, 200}, {200, 0, 0, 200}, {255, 0, 0, 243}},  // colour above alpha
      {7, {2, 2, 2, 2}, {1, 2, 3, 4}, {1, 2, 2, 3}},
      // Overlay branches on D (128 takes the second); quotients truncate first.
      {5, {128, 127, 0, 0}, {0, 255, 0, 0}, {1, 254, 0, 0}},
      {6, {128, 0, 255, 0}, {128, 0, 0, 0}, {192, 0, 255, 0}},
      {4, {255, 128, 3, 255}, {255, 128, 200, 128}, {255, 64, 2, 128}},
  };
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (const Case& c : cases)
      EXPECT_EQ(CompositeOne(c.dst, c.src, c.mode, 1.0), c.expected)
          << path.label << " mode " << c.mode;
  }
}

// A source colour above its alpha can push the normal mode past 255: it
// saturates before the opacity mix, alike on every path.
TEST(Composite, NormalModeSaturatesNonPremultipliedSource) {
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    EXPECT_EQ(CompositeOne({200, 255, 0, 255}, {255, 255, 0, 0}, 1, 1.0), Px({255, 255, 0, 255}))
        << path.label;
    EXPECT_EQ(CompositeOne({200, 255, 0, 255}, {255, 255, 0, 0}, 1, 0.5), Px({227, 255, 0, 255}))
        << path.label;
  }
}

TEST(Composite, OpacityByte) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double opacity;
    int o;
  };
  for (const Case& c : {Case{0.5, 128}, Case{0.25, 64}, Case{0.999, 255}, Case{0.002, 1},
                        Case{0.001, 0}, Case{1.0, 255}, Case{3.0, 255}, Case{-0.5, 0},
                        Case{-0.0019, 0}, Case{0.0, 0}, Case{1e7, 255}, Case{1e10, 255},
                        Case{inf, 255}, Case{-1e10, 0}, Case{-inf, 0}, Case{nan, 0}})
    EXPECT_EQ(blend::OpacityByte(c.opacity), c.o) << c.opacity;
}

TEST(Composite, ZeroOpacityChangesNothingInAnyMode) {
  for (int mode : kModes) {
    ExpectPathsAgree(mode, "mode " + std::to_string(mode), [&](Rng& rng) {
      TestPlane dst = RandomImage(rng, 21, 3, false), src = RandomImage(rng, 21, 3, false);
      const auto before = dst.Snapshot();
      EXPECT_EQ(Composite(dst.first(), dst.stride(), src.first(), src.stride(), 21, 3, mode, 0.0),
                1);
      EXPECT_EQ(dst.Snapshot(), before) << mode;
      return Checked(dst);
    });
  }
}

TEST(Composite, UnlistedModesAreRefusedSilentlyBeforeAnythingElse) {
  for (int mode : {2, 0, 8, -1, 9, INT_MIN, INT_MAX}) {
    for (int height : {3, 0, -1}) {
      Rng rng(5);
      TestPlane dst = RandomImage(rng, 6, 3, false), src = RandomImage(rng, 6, 3, false);
      const auto before = dst.Snapshot();
      StderrCapture capture;
      EXPECT_EQ(
          Composite(dst.first(), dst.stride(), src.first(), src.stride(), 6, height, mode, 0.5), 0);
      EXPECT_EQ(capture.Take(), "");
      EXPECT_EQ(dst.Snapshot(), before) << mode;
    }
  }
}

TEST(Composite, EmptyRegionsWriteNothing) {
  for (auto [width, height] : {std::pair{4, 0}, {4, -2}, {0, 3}, {-5, 3}}) {
    Rng rng(6);
    TestPlane dst = RandomImage(rng, 4, 3, false), src = RandomImage(rng, 4, 3, false);
    const auto before = dst.Snapshot();
    EXPECT_EQ(
        Composite(dst.first(), dst.stride(), src.first(), src.stride(), width, height, 1, 1.0), 1);
    EXPECT_EQ(dst.Snapshot(), before);
  }
}

// Every (S, D) pair in every channel position, with varied alphas: the
// vector routines against the scalar ones at opacities that take both loops.
TEST(Composite, EveryBytePairMatchesScalarInEveryMode) {
  for (int mode : kModes) {
    for (double opacity : {1.0, 0.5, 0.1, 0.998}) {
      ExpectPathsAgree(
          mode * 16 + static_cast<int>(opacity * 10),
          "mode " + std::to_string(mode) + " opacity " + std::to_string(opacity), [&](Rng& rng) {
            TestPlane dst(256 * 4, 256), src(256 * 4, 256);
            for (int y = 0; y < 256; ++y)
              for (int x = 0; x < 256; ++x) {
                SetPixel(dst, x, y,
                         {std::uint8_t(y), std::uint8_t(x), std::uint8_t(y), rng.Byte()});
                SetPixel(src, x, y,
                         {std::uint8_t(x), std::uint8_t(y), rng.Byte(), std::uint8_t(x)});
              }
            Composite(dst.first(), dst.stride(), src.first(), src.stride(), 256, 256, mode,
                      opacity);
            return Checked(dst);
          });
    }
  }
}

TEST(Composite, VectorRoutinesMatchScalarAtEveryWidth) {
  for (int width = 0; width <= 67; ++width) {
    for (int mode : kModes) {
      for (int variant = 0; variant < 3; ++variant) {
        const bool inPlace = variant == 2, premultiplied = variant != 1;
        ExpectPathsAgree(
            width * 97 + mode * 5 + variant,
            "width " + std::to_string(width) + " mode " + std::to_string(mode), [&](Rng& rng) {
              const int height = rng.Int(1, 3);
              const double opacity = rng.Bool() ? 1.0 : rng.Real(-0.1, 1.1);
              TestPlane dst = RandomImage(rng, width, height, premultiplied, RandomShape(rng));
              TestPlane src = RandomImage(rng, width, height, premultiplied, RandomShape(rng));
              const std::uint8_t* s = inPlace ? dst.first() : src.first();
              const std::int32_t ss = inPlace ? dst.stride() : src.stride();
              EXPECT_EQ(Composite(dst.first(), dst.stride(), s, ss, width, height, mode, opacity),
                        1);
              return Checked(dst);
            });
      }
    }
  }
}

}  // namespace
}  // namespace morvex::test
