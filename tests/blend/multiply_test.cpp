// Multiply, MultiplyChannel and MaskMultiply.
#include "blend/multiply.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "blend/blend_test_util.h"
#include "morvex/native.h"
#include "support/stderr_capture.h"

namespace morvex::test {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(Multiply, ScalesEveryByteWithBias127) {
  struct Case {
    double factor;
    Px in, out;
  };
  const Case cases[] = {
      {0.5, {255, 200, 128, 1}, {127, 100, 64, 0}},
      {1.0, {255, 200, 128, 1}, {255, 200, 128, 1}},
      {0.3, {255, 0, 1, 2}, {77, 0, 0, 1}},
      {0.0, {255, 200, 128, 1}, {0, 0, 0, 0}},
  };
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (const Case& c : cases) {
      TestPlane d = OnePixel(c.in);
      EXPECT_EQ(Multiply(d.first(), d.stride(), 1, 1, c.factor), 1);
      EXPECT_EQ(PixelAt(d, 0, 0), c.out) << path.label << " " << c.factor;
    }
  }
}

// Every byte for factors across the defined range (k = -1..256, checked
// against the formula) and beyond it (saturated), on every path.
TEST(Multiply, EveryByteForFactorsInAndOutOfRange) {
  const double factors[] = {-0.0039, 0.0, 1 / 256.0, 0.3,   0.7, 255 / 256.0, 1.0, 1.0019,
                            1.002,   1.5, -0.5,      300.0, 1e9, -1e9,        kNaN};
  for (double factor : factors) {
    const std::int64_t k = blend::MultiplyFactorFixed(factor);
    ExpectPathsAgree(3, "factor " + std::to_string(factor), [&](Rng&) {
      TestPlane plane(64 * 4, 1);
      for (int i = 0; i < 256; ++i) plane.Row(0)[i] = static_cast<std::uint8_t>(i);
      Multiply(plane.first(), plane.stride(), 64, 1, factor);
      for (int b = 0; b < 256; ++b) {
        std::int64_t want = (b * k + 127) / 256;
        want = want < 0 ? 0 : want > 255 ? 255 : want;
        EXPECT_EQ(plane.Row(0)[b], want) << "factor " << factor << " byte " << b;
      }
      return Checked(plane);
    });
  }
}

Px MultiplyChannelOne(Px dst, int dstChannel, Px mask, int maskChannel, double scale,
                      double offset) {
  TestPlane d = OnePixel(dst), m = OnePixel(mask);
  EXPECT_EQ(MultiplyChannel(d.first(), d.stride(), dstChannel, m.first(), m.stride(), maskChannel,
                            1, 1, scale, offset),
            1);
  return PixelAt(d, 0, 0);
}

TEST(MultiplyChannel, ShortcutAndGeneralFormula) {
  struct Case {
    std::uint8_t d, m;
    double scale, offset;
    std::uint8_t expected;
  };
  const Case cases[] = {
      {200, 128, 1.0, 0.0, 100},    {200, 128, 0.5, 0.0, 50},     {200, 128, 2.0, 0.0, 201},
      {200, 255, 2.0, 0.0, 255},    {100, 0, 1.0, 64.0, 25},      {100, 255, 1.0, 64.0, 125},
      {100, 0, 1.0, -64.0, 0},      {7, 164, 0.99995, 0.0, 5},  // inside the band: exact x1
      {7, 164, 0.9999, 0.0, 5},     {7, 164, 0.99989, 0.0, 4},  // the bound is the shortcut's
      {7, 164, kNaN, 0.0, 5},       {7, 164, 1.0, kNaN, 5},       {7, 164, 0.9999, 0.0001, 5},
      {7, 164, 0.9999, -0.0001, 5}, {7, 164, 0.9999, 0.00011, 4},
  };
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (const Case& c : cases) {
      for (int channel : {0, 3}) {
        Px dst{1, 2, 3, 4}, mask{9, 9, 9, 9};
        (&dst.b)[channel] = c.d;
        (&mask.b)[3 - channel] = c.m;
        Px want = dst;
        (&want.b)[channel] = c.expected;
        EXPECT_EQ(MultiplyChannelOne(dst, channel, mask, 3 - channel, c.scale, c.offset), want)
            << path.label << " d " << int(c.d) << " m " << int(c.m) << " scale " << c.scale;
      }
    }
  }
}

TEST(MaskMultiply, PerChannelAndSingleChannelForms) {
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    TestPlane d = OnePixel({200, 200, 200, 255}), m = OnePixel({255, 0, 128, 255});
    EXPECT_EQ(MaskMultiply(d.first(), d.stride(), m.first(), m.stride(), 1, 1, -1, 1.0, 0.0), 1);
    EXPECT_EQ(PixelAt(d, 0, 0), Px({200, 0, 100, 255})) << path.label;
    TestPlane d2 = OnePixel({200, 100, 50, 255});
    EXPECT_EQ(MaskMultiply(d2.first(), d2.stride(), m.first(), m.stride(), 1, 1, 2, 0.5, 0.0), 1);
    EXPECT_EQ(PixelAt(d2, 0, 0), Px({50, 25, 13, 64})) << path.label;
  }
}

// With mask = dst every byte is read before its pixel is written: the
// single mask byte is the one from before the call.
TEST(MaskMultiply, MaskMayBeTheDestination) {
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    TestPlane p = OnePixel({128, 200, 255, 64});
    EXPECT_EQ(MaskMultiply(p.first(), p.stride(), p.first(), p.stride(), 1, 1, 0, 1.0, 0.0), 1);
    EXPECT_EQ(PixelAt(p, 0, 0), Px({64, 100, 128, 32})) << path.label;
    TestPlane q = OnePixel({200, 128, 7, 9});
    EXPECT_EQ(MultiplyChannel(q.first(), q.stride(), 0, q.first(), q.stride(), 1, 1, 1, 1.0, 0.0),
              1);
    EXPECT_EQ(PixelAt(q, 0, 0), Px({100, 128, 7, 9})) << path.label;
  }
}

TEST(MaskedMultiplies, ChannelRefusalsComeBeforeTheSizeTest) {
  struct Case {
    bool maskMultiply;
    std::int64_t dstChannel, maskChannel;
  };
  const Case cases[] = {{false, 4, 0},  {false, -1, 0},           {false, 0, 4},
                        {false, 2, -1}, {false, 0x80000000LL, 1}, {true, 0, 4},
                        {true, 0, 5},   {true, 0, 0x7FFFFFFF}};
  for (const Case& c : cases) {
    for (int height : {2, 0, -1}) {
      Rng rng(8);
      TestPlane dst = RandomImage(rng, 5, 2, false), mask = RandomImage(rng, 5, 2, false);
      const auto before = dst.Snapshot();
      StderrCapture capture;
      const std::uint8_t result =
          c.maskMultiply
              ? MaskMultiply(dst.first(), dst.stride(), mask.first(), mask.stride(), 5, height,
                             static_cast<std::int32_t>(c.maskChannel), 0.5, 3.0)
              : MultiplyChannel(dst.first(), dst.stride(), static_cast<std::uint32_t>(c.dstChannel),
                                mask.first(), mask.stride(),
                                static_cast<std::uint32_t>(c.maskChannel), 5, height, 0.5, 3.0);
      EXPECT_EQ(result, 0) << c.dstChannel << " " << c.maskChannel;
      EXPECT_EQ(capture.Take(), "");
      EXPECT_EQ(dst.Snapshot(), before);
    }
  }
}

TEST(MultiplyFamily, EmptyRegionsWriteNothing) {
  for (auto [width, height] : {std::pair{4, 0}, {4, -2}, {0, 3}, {-5, 3}}) {
    Rng rng(9);
    TestPlane dst = RandomImage(rng, 4, 3, false), mask = RandomImage(rng, 4, 3, false);
    const auto before = dst.Snapshot();
    EXPECT_EQ(Multiply(dst.first(), dst.stride(), width, height, 0.5), 1);
    EXPECT_EQ(Multiply(dst.first(), dst.stride(), width, height, 7.5), 1);
    EXPECT_EQ(MultiplyChannel(dst.first(), dst.stride(), 1, mask.first(), mask.stride(), 2, width,
                              height, 2.0, 1.0),
              1);
    EXPECT_EQ(MaskMultiply(dst.first(), dst.stride(), mask.first(), mask.stride(), width, height,
                           -1, 1.0, 0.0),
              1);
    EXPECT_EQ(MaskMultiply(dst.first(), dst.stride(), mask.first(), mask.stride(), width, height, 3,
                           0.1, 9.0),
              1);
    EXPECT_EQ(dst.Snapshot(), before);
  }
}

// Every (d, m) pair under many remappings: the defined range against the
// formula in 64 bits, and every path against the scalar one (wrapping sums
// for parameters far out of range included).
TEST(MaskedMultiplies, EveryBytePairUnderManyRemappings) {
  struct Params {
    double scale, offset;
  };
  const Params params[] = {{1.0, 0.0},    {0.5, 0.0},     {2.0, 0.0},   {1.0, 64.0},
                           {1.0, -64.0},  {31.9, 0.0},    {-31.9, 0.0}, {0.37, 100.3},
                           {3.3, -200.7}, {0.001, 0.002}, {-1.0, 255},  {1e5, 0.0},
                           {1e12, 1.0},   {2.0, -1e12},   {kNaN, 1.0},  {0.0, 8000.0}};
  for (const Params& p : params) {
    const blend::MaskRemap remap = blend::MaskRemapFor(p.scale, p.offset);
    for (int form : {-1, 2}) {
      ExpectPathsAgree(
          4, "scale " + std::to_string(p.scale) + " offset " + std::to_string(p.offset), [&](Rng&) {
            TestPlane dst(256 * 4, 256), mask(256 * 4, 256);
            for (int y = 0; y < 256; ++y)
              for (int x = 0; x < 256; ++x) {
                SetPixel(
                    dst, x, y,
                    {std::uint8_t(x), std::uint8_t(y), std::uint8_t(x), std::uint8_t(255 - x)});
                SetPixel(mask, x, y,
                         {std::uint8_t(y), std::uint8_t(x), std::uint8_t(y), std::uint8_t(y)});
              }
            MaskMultiply(dst.first(), dst.stride(), mask.first(), mask.stride(), 256, 256, form,
                         p.scale, p.offset);
            int checked = 0;
            for (int d = 0; d < 256 && remap.general; ++d)
              for (int m = 0; m < 256; ++m) {
                const std::int64_t v =
                    d * (static_cast<std::int64_t>(m) * remap.ks + remap.ko) + 130560;
                if (v < INT32_MIN || v > INT32_MAX) continue;
                std::int64_t want = v / 261120;
                want = want < 0 ? 0 : want > 255 ? 255 : want;
                // blue: d = x, m = y (both forms use mask byte 2 = y)
                if (PixelAt(dst, d, m).b != want) {
                  ADD_FAILURE() << "d " << d << " m " << m << " got " << int(PixelAt(dst, d, m).b)
                                << " want " << want;
                  return Checked(dst);
                }
                ++checked;
              }
            if (remap.general && p.scale < 100 && p.offset < 1e4 && p.offset > -1e4) {
              EXPECT_EQ(checked, 65536);
            }
            return Checked(dst);
          });
    }
  }
}

TEST(MaskedMultiplies, VectorKernelsMatchScalarAtEveryWidth) {
  const double scales[] = {1.0, 0.99995, 0.7, 1.8, -0.5};
  const double offsets[] = {0.0, 0.00005, 12.5, -40.0, 300.0};
  for (int width = 0; width <= 67; ++width) {
    for (int variant = 0; variant < 6; ++variant) {
      const bool maskIsDst = variant >= 4;
      const std::string label =
          "width " + std::to_string(width) + " variant " + std::to_string(variant);
      ExpectPathsAgree(width * 13 + variant, label, [&](Rng& rng) {
        const int height = rng.Int(1, 3);
        const double scale = scales[rng.Int(0, 4)], offset = offsets[rng.Int(0, 4)];
        TestPlane dst = RandomImage(rng, width, height, rng.Bool(), RandomShape(rng));
        TestPlane other = RandomImage(rng, width, height, false, RandomShape(rng));
        const std::uint8_t* mask = maskIsDst ? dst.first() : other.first();
        const std::int32_t maskStride = maskIsDst ? dst.stride() : other.stride();
        switch (variant % 4) {
          case 0:
            EXPECT_EQ(MaskMultiply(dst.first(), dst.stride(), mask, maskStride, width, height,
                                   -rng.Int(1, 1000), scale, offset),
                      1);
            break;
          case 1:
            EXPECT_EQ(MaskMultiply(dst.first(), dst.stride(), mask, maskStride, width, height,
                                   rng.Int(0, 3), scale, offset),
                      1);
            break;
          case 2:
            EXPECT_EQ(MultiplyChannel(dst.first(), dst.stride(), rng.Int(0, 3), mask, maskStride,
                                      rng.Int(0, 3), width, height, scale, offset),
                      1);
            break;
          default:
            EXPECT_EQ(Multiply(dst.first(), dst.stride(), width, height, rng.Real(-0.1, 1.1)), 1);
        }
        EXPECT_TRUE(other.GuardsIntact());
        return Checked(dst);
      });
    }
  }
}

}  // namespace
}  // namespace morvex::test
