#include "tone/hsl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "frame/cpu_features.h"
#include "frame/fpu.h"
#include "morvex/native.h"
#include "support/fp_state.h"
#include "support/test_plane.h"
#include "tone/tone_support.h"

namespace morvex {
namespace {

using test::Argb;
using test::CpuPaths;
using test::FpStateGuard;
using test::PinnedCpuPath;
using test::Rng;
using test::TestPlane;

constexpr tone::HslAdjustment kIdentity{1, 1, 1, 0, 0, 0};

std::uint8_t Call(TestPlane& plane, int width, int height, const tone::HslAdjustment& a) {
  return HslScaleOffset(plane.first(), plane.stride(), width, height, a.hueScale, a.saturationScale,
                        a.lightnessScale, a.hueOffset, a.saturationOffset, a.lightnessOffset);
}

// The one-pixel definition in round-to-nearest, for comparing kernels and paths.
std::uint32_t Reference(std::uint32_t pixel, const tone::HslAdjustment& adj) {
  FpStateGuard guard;
  test::SetHostRounding(kFpRoundNearest);
  return tone::HslScaleOffsetPixel(pixel, adj);
}

std::vector<std::uint32_t> RowPixels(const TestPlane& plane, int width, int y) {
  std::vector<std::uint32_t> out;
  for (int x = 0; x < width; ++x) out.push_back(plane.Get<std::uint32_t>(4 * x, y));
  return out;
}

struct Example {
  const char* what;
  std::uint32_t in;
  tone::HslAdjustment adj;
  std::uint32_t out;
};

// Scales 1 and the given offsets.
constexpr tone::HslAdjustment Shift(double h, double s, double l) { return {1, 1, 1, h, s, l}; }

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// clang-format off
const Example kExamples[] = {
    {"red + 1/3 is green", Argb(255, 255, 0, 0), Shift(0.3333333333333333, 0, 0), Argb(255, 0, 255, 0)},
    {"red + 1/6 is yellow", Argb(255, 255, 0, 0), Shift(1.0 / 6.0, 0, 0), Argb(255, 255, 255, 0)},
    {"half turn", Argb(255, 0x33, 0x66, 0x99), Shift(0.5, 0, 0), Argb(255, 0x99, 0x66, 0x33)},
    {"no saturation, 127.5 to even", Argb(255, 255, 0, 0), {1, 0, 1, 0, 0, 0}, Argb(255, 128, 128, 128)},
    {"no saturation, 126.5 to even", Argb(255, 253, 0, 0), {1, 0, 1, 0, 0, 0}, Argb(255, 126, 126, 126)},
    {"gray tinted red", Argb(255, 128, 128, 128), Shift(0, 0.5, 0), Argb(255, 192, 64, 64)},
    {"white 306 keeps low byte", Argb(255, 255, 255, 255), Shift(0, 0, 0.2), Argb(255, 50, 50, 50)},
    {"colour not clamped to alpha", Argb(128, 128, 0, 0), Shift(0, 0, 0.3), Argb(128, 255, 26, 26)},
    {"hue 2.5 wraps once to black", Argb(255, 255, 0, 0), Shift(2.5, 0, 0), Argb(255, 0, 0, 0)},
    // Lightness exactly 0.5 takes q = (l + s) - s * l; (s + 1) * l would give red 113.
    {"lightness 0.5, second formula", Argb(255, 255, 0, 0), {1, 0, 1, 0, -0.10980392156862757, 0},
     Argb(255, 114, 142, 142)},
    // Beyond the int32 range the conversion's indefinite value stores 0.
    {"huge lightness stores 0", Argb(77, 255, 255, 255), {1, 1, 1e10, 0, 0, 0}, Argb(77, 0, 0, 0)},
    {"NaN lightness stores 0", Argb(255, 10, 200, 30), Shift(0, 0, kNaN), Argb(255, 0, 0, 0)},
};
// clang-format on

TEST(HslScaleOffset, WorkedExamplesOnEveryPathAndHostRoundingMode) {
  for (const std::uint32_t hostMode :
       {kFpRoundNearest, kFpRoundTowardZero, kFpRoundDown, kFpRoundUp}) {
    for (const auto& path : CpuPaths()) {
      PinnedCpuPath pin(path);
      for (const Example& e : kExamples) {
        FpStateGuard guard;
        test::SetHostRounding(hostMode);
        const test::FpState before = test::ReadFpState();
        // 11 copies: whole vector groups and a tail on every kernel.
        TestPlane plane(11 * 4, 1);
        for (int x = 0; x < 11; ++x) plane.Set<std::uint32_t>(4 * x, 0, e.in);
        EXPECT_EQ(Call(plane, 11, 1, e.adj), 1);
        EXPECT_EQ(test::ReadFpState(), before) << e.what;
        EXPECT_EQ(RowPixels(plane, 11, 0), std::vector<std::uint32_t>(11, e.out))
            << e.what << " on " << path.label << ", host rounding 0x" << std::hex << hostMode;
      }
    }
  }
}

TEST(HslScaleOffset, IdentityGivesEveryPixelBackOnEveryPath) {
  std::vector<std::uint32_t> pixels;
  for (std::uint32_t r = 0; r < 256; r += 5)
    for (std::uint32_t g = 0; g < 256; g += 3)
      for (std::uint32_t b = 0; b < 256; b += 7)
        pixels.push_back(Argb((r * 7 + g * 3 + b) & 0xFF, r, g, b));
  for (std::uint32_t a = 0; a < 256; ++a)
    for (std::uint32_t v : {0u, 1u, 127u, 128u, 254u, 255u}) {
      pixels.push_back(Argb(a, v, v, v));
      pixels.push_back(Argb(a, v, 255 - v, a));
    }
  const int width = 1021;
  const int height = static_cast<int>((pixels.size() + width - 1) / width);
  pixels.resize(static_cast<std::size_t>(width) * height, Argb(1, 2, 3, 4));
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    TestPlane plane(width * 4, height, 12, true);
    for (int i = 0; i < width * height; ++i)
      plane.Set<std::uint32_t>(i % width * 4, i / width, pixels[i]);
    ASSERT_EQ(Call(plane, width, height, kIdentity), 1);
    int changed = 0;
    for (int i = 0; i < width * height; ++i)
      if (plane.Get<std::uint32_t>(i % width * 4, i / width) != pixels[static_cast<std::size_t>(i)])
        ++changed;
    EXPECT_EQ(changed, 0) << path.label;
    EXPECT_TRUE(plane.GuardsIntact());
  }
}

TEST(HslScaleOffset, GraysRaiseNoDivisionOrInvalidFlagOnAnyPath) {
  // Grays (black and white included) take no division in the one-pixel form;
  // the vector lanes must not divide by their zero spread either, or a host
  // that unmasked those exceptions would trap.
  std::vector<std::uint32_t> pixels;
  for (std::uint32_t v : {0u, 255u, 1u, 128u, 254u}) pixels.push_back(Argb(v, v, v, v));
  pixels.push_back(Argb(255, 200, 10, 10));
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (const tone::HslAdjustment& adj :
         {kIdentity, tone::HslAdjustment{1, 2, 0.5, 0.25, 0.1, 0.2}}) {
      FpStateGuard guard;
      TestPlane plane(static_cast<int>(pixels.size()) * 4, 3);
      for (int y = 0; y < 3; ++y)
        for (std::size_t x = 0; x < pixels.size(); ++x)
          plane.Set<std::uint32_t>(static_cast<int>(x) * 4, y,
                                   pixels[(x + static_cast<std::size_t>(y)) % pixels.size()]);
      FPU_Reset();
      ASSERT_EQ(Call(plane, static_cast<int>(pixels.size()), 3, adj), 1);
      EXPECT_EQ(FPU_Status() & (kFpInvalid | kFpZeroDivide), 0u) << path.label;
    }
  }
}

TEST(HslScaleOffset, HueWrapsOnceAndBoundariesTakeTheNextSegment) {
  struct Case {
    double h, want;
  };
  // p = 0, q = 1: rising 0..1/6, q up to 1/2, falling to 2/3, then p.
  const Case cases[] = {
      {0.0, 0.0},
      {0.125, 0.75},
      {1.0 / 6.0, 1.0},
      {0.25, 1.0},
      {0.5, 0.9999999999999998},
      {0.6666666666666666, 0.0},
      {0.75, 0.0},
      {1.0, 0.0},
      {-0.25, 0.0},
      {-0.875, 0.75},
      {1.25, 1.0},
      {2.5, 0.0},
      {-1.5, -3.0},
  };
  for (const Case& c : cases) EXPECT_EQ(tone::HueToChannel(0.0, 1.0, c.h), c.want) << c.h;
}

// Scales and offsets that reach every branch, the wrap of ToByte, the
// integer-indefinite conversion and NaN propagation.
double PickParameter(Rng& rng, bool scale) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  const double specials[] = {0.0,
                             -0.0,
                             1.0,
                             -1.0,
                             0.5,
                             2.0,
                             1e10,
                             -1e10,
                             1e300,
                             -1e300,
                             inf,
                             -inf,
                             std::numeric_limits<double>::quiet_NaN(),
                             1e-300,
                             0.3333333333333333,
                             2.5,
                             -2.5,
                             8.4e6,
                             -8.4e6};
  switch (rng.Int(0, 3)) {
    case 0:
      return specials[rng.Int(0, static_cast<int>(std::size(specials)) - 1)];
    case 1:
      return rng.Real(-3.0, 3.0);
    default:
      return scale ? rng.Real(0.0, 2.0) : rng.Real(-0.6, 0.6);
  }
}

tone::HslAdjustment RandomAdjustment(Rng& rng) {
  return {PickParameter(rng, true),  PickParameter(rng, true),  PickParameter(rng, true),
          PickParameter(rng, false), PickParameter(rng, false), PickParameter(rng, false)};
}

// Random pixels with grays and single-channel maxima mixed in, so every
// sector and the achromatic branch are common.
std::uint32_t RandomPixel(Rng& rng) {
  const std::uint32_t p = rng.U32();
  switch (rng.Int(0, 4)) {
    case 0: {
      const std::uint32_t v = p & 0xFF;
      return (p & 0xFF000000u) | v * 0x010101u;
    }
    case 1:
      return p | 0x00FF0000u;
    case 2:
      return (p & 0xFF00FFFFu) | ((p & 0xFF) << 16);  // red equals blue
    default:
      return p;
  }
}

// Every entry of the kernel table against the one-pixel definition: every
// width up to 67 (each tail length) and some up to 200 (the kernels' chunks
// of four vectors, then single vectors, then the tail), rows starting at
// random offsets, random parameters with every special value.
TEST(HslScaleOffset, EveryKernelMatchesTheScalarDefinitionAtEveryHeadAndTail) {
  Rng rng(31);
  for (const auto& [path, kernels] : test::TableEntries(tone::kHslKernelTable)) {
    for (int round = 0; round < 8; ++round) {
      for (int width = 1; width <= 200; width += width < 67 ? 1 : 7) {
        const int offset = rng.Int(0, 15);
        const tone::HslAdjustment adj = round == 0 ? kIdentity : RandomAdjustment(rng);
        TestPlane plane((offset + width) * 4, 1);
        std::vector<std::uint32_t> expected;
        for (int x = 0; x < offset + width; ++x) {
          const std::uint32_t p = RandomPixel(rng);
          plane.Set<std::uint32_t>(4 * x, 0, p);
          expected.push_back(x < offset ? p : Reference(p, adj));
        }
        {
          FpStateGuard guard;
          test::SetHostRounding(kFpRoundNearest);
          kernels->scaleOffset(plane.first() + 4 * offset, width, adj);
        }
        ASSERT_EQ(RowPixels(plane, offset + width, 0), expected)
            << path.label << " offset " << offset << " width " << width;
        ASSERT_TRUE(plane.GuardsIntact());
      }
    }
  }
}

TEST(HslScaleOffset, DenseColoursUnderExtremeParametersMatchOnEveryPath) {
  // Every colour of a coarse grid under each random parameter set, so each
  // sector meets each special value; the kernels' lanes must give the bits of
  // the one-pixel definition.
  std::vector<std::uint32_t> colours;
  for (std::uint32_t r = 0; r < 256; r += 17)
    for (std::uint32_t g = 0; g < 256; g += 51)
      for (std::uint32_t b = 0; b < 256; b += 15)
        colours.push_back(Argb((r + g * 2 + b * 3) & 0xFF, r, g, b));
  const int width = static_cast<int>(colours.size());
  Rng rng(32);
  for (int round = 0; round < 40; ++round) {
    const tone::HslAdjustment adj = RandomAdjustment(rng);
    std::vector<std::uint32_t> expected;
    for (std::uint32_t c : colours) expected.push_back(Reference(c, adj));
    for (const auto& path : CpuPaths()) {
      PinnedCpuPath pin(path);
      TestPlane plane(width * 4, 1);
      for (int x = 0; x < width; ++x)
        plane.Set<std::uint32_t>(4 * x, 0, colours[static_cast<std::size_t>(x)]);
      ASSERT_EQ(Call(plane, width, 1, adj), 1);
      EXPECT_EQ(RowPixels(plane, width, 0), expected)
          << path.label << " scales " << adj.hueScale << " " << adj.saturationScale << " "
          << adj.lightnessScale << " offsets " << adj.hueOffset << " " << adj.saturationOffset
          << " " << adj.lightnessOffset;
    }
  }
}

TEST(HslScaleOffset, PaddedAndBottomUpRegionsOnEveryPath) {
  Rng rng(33);
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (int round = 0; round < 30; ++round) {
      const int width = rng.Int(1, 29), height = rng.Int(1, 4), extra = rng.Int(0, 2);
      const auto shape = test::RandomShape(rng);
      const tone::HslAdjustment adj = RandomAdjustment(rng);
      TestPlane plane((width + extra) * 4, height, shape.padding, shape.bottomUp);
      std::vector<std::uint32_t> expected;
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width + extra; ++x) {
          const std::uint32_t p = RandomPixel(rng);
          plane.Set<std::uint32_t>(4 * x, y, p);
          expected.push_back(x < width ? Reference(p, adj) : p);
        }
      ASSERT_EQ(Call(plane, width, height, adj), 1);
      std::vector<std::uint32_t> got;
      for (int y = 0; y < height; ++y) {
        const auto row = RowPixels(plane, width + extra, y);
        got.insert(got.end(), row.begin(), row.end());
      }
      EXPECT_EQ(got, expected) << path.label;
      EXPECT_TRUE(plane.GuardsIntact());
    }
  }
}

TEST(HslScaleOffset, EmptyRegionsTouchNothingAndRestoreRounding) {
  struct Case {
    int width, height;
  };
  for (const Case c :
       {Case{5, 0}, Case{5, -3}, Case{0, 4}, Case{-5, 4}, Case{INT32_MIN, INT32_MAX}}) {
    FpStateGuard guard;
    test::SetHostRounding(kFpRoundTowardZero);
    const test::FpState before = test::ReadFpState();
    TestPlane plane(20, 4);
    Rng rng(34);
    plane.FillRandom(rng);
    const auto snapshot = plane.Snapshot();
    EXPECT_EQ(Call(plane, c.width, c.height, {1, 0, 2, 0.5, 0.5, 0.5}), 1);
    EXPECT_EQ(plane.Snapshot(), snapshot);
    EXPECT_EQ(test::ReadFpState(), before);
  }
}

}  // namespace
}  // namespace morvex

namespace morvex {
namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The kernels test h < FirstReaching(6, 1) for 6h < 1 and
// h < FirstReaching(3, 2) for 3h < 2: each limit must be the first double
// whose product reaches the bound, its lower neighbour's product not.
TEST(HslScaleOffset, SegmentLimitsSplitTheProductsExactly) {
  const RoundToNearestBracket bracket;
  struct Limit {
    double factor, bound;
  };
  for (const Limit l : {Limit{6.0, 1.0}, Limit{3.0, 2.0}, Limit{2.0, 1.0}}) {
    volatile double factor = l.factor;  // multiplied at run time
    const double limit = tone::FirstReaching(l.factor, l.bound);
    EXPECT_GE(factor * limit, l.bound) << l.factor;
    EXPECT_LT(factor * std::nextafter(limit, 0.0), l.bound) << l.factor;
  }
  EXPECT_EQ(tone::FirstReaching(2.0, 1.0), 0.5);
}

// The kernels reach the hue's quotients through I::DivideD (a reciprocal and
// a fused correction step on AVX-512); that is exact only if it is for every
// input it can meet. The forward conversion depends on the three colour
// bytes alone, so all 2^24 colours settle it, on every path. The kernels
// also keep the alpha byte, which is right because ToByte(a * k) gives every
// byte a back.
TEST(HslScaleOffset, ForwardConversionOfEveryKernelIsExactForEveryColour) {
  const RoundToNearestBracket bracket;
  for (std::uint32_t a = 0; a < 256; ++a)
    ASSERT_EQ(tone::ToByte(static_cast<double>(a) * tone::kByteToUnit), a);
  constexpr std::uint32_t kChunk = 4096;
  std::vector<std::uint8_t> pixels(4 * kChunk);
  std::vector<double> hue(kChunk), saturation(kChunk), lightness(kChunk);
  for (const auto& [path, kernels] : test::TableEntries(tone::kHslKernelTable)) {
    if (path.level == InstructionSet::kScalar) continue;
    for (std::uint32_t base = 0; base < (1u << 24); base += kChunk) {
      for (std::uint32_t i = 0; i < kChunk; ++i) {
        const std::uint32_t pixel = (base + i) | (i << 24);
        std::memcpy(&pixels[4 * i], &pixel, 4);
      }
      kernels->forward(pixels.data(), kChunk, hue.data(), saturation.data(), lightness.data());
      for (std::uint32_t i = 0; i < kChunk; ++i) {
        const tone::HslColor want = tone::RgbToHsl(base + i);
        if (!SameBits(hue[i], want.hue) || !SameBits(saturation[i], want.saturation) ||
            !SameBits(lightness[i], want.lightness))
          FAIL() << path.label << std::hex << " colour 0x" << base + i << std::dec << ": hue "
                 << hue[i] << " vs " << want.hue << ", saturation " << saturation[i] << " vs "
                 << want.saturation;
      }
    }
  }
}

}  // namespace
}  // namespace morvex
