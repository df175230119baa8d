// Blend, MaskedBlend and MaskedFade.
#include "blend/blend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "blend/blend_test_util.h"
#include "morvex/native.h"

namespace morvex::test {
namespace {

Px BlendOne(Px dst, Px src, double dstWeight) {
  TestPlane d = OnePixel(dst), s = OnePixel(src);
  EXPECT_EQ(Blend(d.first(), d.stride(), s.first(), s.stride(), 1, 1, dstWeight), 1);
  return PixelAt(d, 0, 0);
}

TEST(Blend, WeightsAreTruncatedOnce) {
  struct Case {
    double dstWeight;
    std::int32_t ws, wd;
  };
  for (const Case& c : {Case{0.3, 2867, 1228}, Case{0.1, 3686, 409}, Case{0.5, 2048, 2048},
                        Case{1.5, -2048, 6144}, Case{0.0, 4096, 0}, Case{1.0, 0, 4096}}) {
    const blend::BlendWeights w = blend::BlendWeightsFor(c.dstWeight);
    EXPECT_EQ(w.source, c.ws) << c.dstWeight;
    EXPECT_EQ(w.destination, c.wd) << c.dstWeight;
  }
}

TEST(Blend, WorkedNumbersOnEveryPath) {
  struct Case {
    Px dst, src;
    double dstWeight;
    Px expected;
  };
  const Case cases[] = {
      // Halves go up; the weights 0.3 sum to 4095 yet keep 255 and 100.
      {{1, 1, 1, 255}, {0, 0, 0, 9}, 0.5, {1, 1, 1, 255}},
      {{255, 100, 7, 255}, {255, 100, 7, 0}, 0.3, {255, 100, 7, 255}},
      // Negative source weight: both clamps.
      {{200, 0, 100, 255}, {0, 200, 200, 255}, 1.5, {255, 0, 50, 255}},
      // 1.0 keeps colours but lowers those above alpha; 0.0 copies, clamped.
      {{90, 10, 250, 80}, {1, 2, 3, 4}, 1.0, {80, 10, 80, 80}},
      {{90, 10, 250, 80}, {100, 2, 79, 200}, 0.0, {80, 2, 79, 80}},
  };
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (const Case& c : cases)
      EXPECT_EQ(BlendOne(c.dst, c.src, c.dstWeight), c.expected) << path.label << " " << c.dstWeight;
  }
}

// Far outside 0..1 the weights overflow the sums; the result stays
// deterministic on every path and within 0..alpha, and alpha is untouched.
TEST(Blend, HugeAndNonFiniteWeightsStayClampedAndAgree) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double weights[] = {7.99,    8.0, 8.01, -7.0,  -7.01, 2000.0,
                            -2100.0, 1e6, -1e9, 1e300, nan,   inf};
  for (double w : weights) {
    std::vector<std::uint8_t> alphas;
    ExpectPathsAgree(7, "Blend " + std::to_string(w), [&](Rng& rng) {
      TestPlane dst = RandomImage(rng, 37, 3, false), src = RandomImage(rng, 37, 3, false);
      const auto before = dst.RowBytes();
      Blend(dst.first(), dst.stride(), src.first(), src.stride(), 37, 3, w);
      const auto after = dst.RowBytes();
      for (std::size_t i = 0; i < after.size(); i += 4) {
        EXPECT_EQ(after[i + 3], before[i + 3]);
        for (int c = 0; c < 3; ++c) EXPECT_LE(after[i + c], after[i + 3]);
      }
      return Checked(dst);
    });
  }
}

enum class Masked { kBlend, kBlendTable, kFade };

// A table whose columns differ: blue inverted, green never mixing, red
// selecting by entry number; column 3 would mix fully but is never read.
const std::uint8_t* TestTable() {
  static std::uint8_t lut[1024];
  for (int i = 0; i < 256; ++i) {
    lut[4 * i + 0] = static_cast<std::uint8_t>(255 - i);
    lut[4 * i + 1] = 0;
    lut[4 * i + 2] = i == 7 ? 255 : 128;
    lut[4 * i + 3] = 255;
  }
  return lut;
}

Px MaskedOne(Masked op, Px dst, Px mask, Px src) {
  TestPlane d = OnePixel(dst), m = OnePixel(mask), s = OnePixel(src);
  const std::uint8_t result =
      op == Masked::kFade
          ? MaskedFade(d.first(), d.stride(), m.first(), m.stride(), s.first(), s.stride(), 1, 1)
          : MaskedBlend(d.first(), d.stride(), m.first(), m.stride(), s.first(), s.stride(), 1, 1,
                        op == Masked::kBlendTable ? TestTable() : nullptr);
  EXPECT_EQ(result, 1);
  return PixelAt(d, 0, 0);
}

TEST(MaskedBlendAndFade, WorkedPixels) {
  struct Case {
    Masked op;
    Px dst, mask, src, expected;
  };
  const Case cases[] = {
      // 255 takes the source (clamped to dst alpha), 0 keeps dst (clamped), 128 mixes.
      {Masked::kBlend, {10, 20, 30, 90}, {255, 255, 255, 0}, {200, 50, 60, 255}, {90, 50, 60, 90}},
      {Masked::kBlend, {100, 20, 130, 120}, {0, 0, 0, 255}, {1, 2, 3, 4}, {100, 20, 120, 120}},
      {Masked::kBlend,
       {100, 100, 100, 255},
       {128, 0, 255, 77},
       {200, 200, 200, 0},
       {150, 100, 200, 255}},
      // Each channel remaps its own mask byte through its own column.
      {Masked::kBlendTable,
       {100, 100, 100, 255},
       {0, 255, 7, 255},
       {200, 200, 200, 200},
       {200, 100, 200, 255}},
      {Masked::kBlendTable,
       {100, 100, 100, 255},
       {255, 9, 8, 0},
       {200, 200, 200, 200},
       {100, 100, 150, 255}},
      {Masked::kBlendTable,
       {100, 250, 100, 90},
       {255, 9, 8, 0},
       {200, 200, 200, 200},
       {90, 90, 90, 90}},
      // Fade: alpha mixes first and bounds the colours.
      {Masked::kFade,
       {10, 20, 30, 100},
       {255, 255, 255, 0},
       {250, 50, 60, 255},
       {100, 50, 60, 100}},
      {Masked::kFade, {10, 20, 30, 100}, {0, 128, 255, 255}, {250, 50, 60, 0}, {0, 0, 0, 0}},
      // newA = (200 * 128 + 100 * 127) / 255 = 150; colours mixed then clamped.
      {Masked::kFade,
       {100, 0, 255, 100},
       {128, 128, 0, 128},
       {200, 255, 0, 200},
       {150, 128, 150, 150}},
  };
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (const Case& c : cases)
      EXPECT_EQ(MaskedOne(c.op, c.dst, c.mask, c.src), c.expected)
          << path.label << " op " << int(c.op);
  }
}

TEST(BlendFamily, EmptyRegionsWriteNothing) {
  struct Size {
    int width, height;
  };
  for (const Size s : {Size{5, 0}, Size{5, -3}, Size{0, 4}, Size{-7, 4}}) {
    Rng rng(11);
    TestPlane dst = RandomImage(rng, 5, 4, false), other = RandomImage(rng, 5, 4, false);
    const auto before = dst.Snapshot();
    EXPECT_EQ(
        Blend(dst.first(), dst.stride(), other.first(), other.stride(), s.width, s.height, 0.25),
        1);
    EXPECT_EQ(MaskedBlend(dst.first(), dst.stride(), other.first(), other.stride(), other.first(),
                          other.stride(), s.width, s.height, other.first()),
              1);
    EXPECT_EQ(MaskedFade(dst.first(), dst.stride(), other.first(), other.stride(), other.first(),
                         other.stride(), s.width, s.height),
              1);
    EXPECT_EQ(dst.Snapshot(), before);
  }
}

// Every width 0..67 (every tail length of every kernel), padded and
// bottom-up planes chosen independently, premultiplied or not, in place or not.
TEST(BlendFamily, VectorKernelsMatchScalarAtEveryWidth) {
  for (int width = 0; width <= 67; ++width) {
    for (int variant = 0; variant < 4; ++variant) {
      const bool inPlace = variant == 3, premultiplied = variant % 2 == 0;
      const std::uint64_t seed = 1000 + width * 8 + variant;
      const std::string label =
          "width " + std::to_string(width) + " variant " + std::to_string(variant);
      auto planes = [&](Rng& rng, auto&& call) {
        const int height = rng.Int(1, 3);
        TestPlane dst = RandomImage(rng, width, height, premultiplied, RandomShape(rng));
        TestPlane mask = RandomImage(rng, width, height, false, RandomShape(rng));
        TestPlane src = RandomImage(rng, width, height, premultiplied, RandomShape(rng));
        const std::uint8_t* s = inPlace ? dst.first() : src.first();
        const std::int32_t ss = inPlace ? dst.stride() : src.stride();
        call(dst, mask, s, ss, height);
        EXPECT_TRUE(mask.GuardsIntact());
        return Checked(dst);
      };
      ExpectPathsAgree(seed, "Blend " + label, [&](Rng& rng) {
        const double w = rng.Real(-1.5, 2.5);
        return planes(rng, [&](TestPlane& dst, TestPlane&, const std::uint8_t* s, std::int32_t ss,
                               int h) { Blend(dst.first(), dst.stride(), s, ss, width, h, w); });
      });
      ExpectPathsAgree(seed, "MaskedBlend " + label, [&](Rng& rng) {
        return planes(rng, [&](TestPlane& dst, TestPlane& mask, const std::uint8_t* s,
                               std::int32_t ss, int h) {
          MaskedBlend(dst.first(), dst.stride(), mask.first(), mask.stride(), s, ss, width, h,
                      nullptr);
        });
      });
      ExpectPathsAgree(seed, "MaskedBlend table " + label, [&](Rng& rng) {
        TestPlane lut(1024, 1);  // fenced: a read past entry 255 faults
        lut.FillRandom(rng);
        return planes(rng, [&](TestPlane& dst, TestPlane& mask, const std::uint8_t* s,
                               std::int32_t ss, int h) {
          MaskedBlend(dst.first(), dst.stride(), mask.first(), mask.stride(), s, ss, width, h,
                      lut.first());
        });
      });
      ExpectPathsAgree(seed, "MaskedFade " + label, [&](Rng& rng) {
        return planes(rng, [&](TestPlane& dst, TestPlane& mask, const std::uint8_t* s,
                               std::int32_t ss, int h) {
          MaskedFade(dst.first(), dst.stride(), mask.first(), mask.stride(), s, ss, width, h);
        });
      });
    }
  }
}

// Every (source, destination, weight) byte triple, on every path: each
// 256x256 round puts every (source, destination) pair on each colour channel,
// blue with weight 3k, green 3k + 1 and red 3k + 2, so 86 rounds reach all
// 256 weights. Mask alpha 0 keeps the destination alpha 255: no clamp.
TEST(BlendFamily, MaskedMixIsExactForEveryByteTriple) {
  for (const CpuPath& path : CpuPathsOf(blend::kBlendKernelTable)) {
    PinnedCpuPath pin(path);
    TestPlane dst(256 * 4, 256), mask(256 * 4, 256), src(256 * 4, 256);
    for (int k = 0; 3 * k < 256; ++k) {
      const int wb = 3 * k, wg = std::min(3 * k + 1, 255), wr = std::min(3 * k + 2, 255);
      for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
          SetPixel(dst, x, y, {std::uint8_t(x), std::uint8_t(y), std::uint8_t(x ^ y), 255});
          SetPixel(src, x, y, {std::uint8_t(y), std::uint8_t(x), std::uint8_t(255 - y), 0});
          SetPixel(mask, x, y, {std::uint8_t(wb), std::uint8_t(wg), std::uint8_t(wr), 0});
        }
      MaskedFade(dst.first(), dst.stride(), mask.first(), mask.stride(), src.first(), src.stride(),
                 256, 256);
      for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
          const auto mix = [](int s, int d, int w) { return (s * w + d * (255 - w)) / 255; };
          const Px got = PixelAt(dst, x, y);
          const Px want{std::uint8_t(mix(y, x, wb)), std::uint8_t(mix(x, y, wg)),
                        std::uint8_t(mix(255 - y, x ^ y, wr)), 255};
          if (got != want) {
            ADD_FAILURE() << path.label << " k " << k << " at " << x << "," << y << ": " << got
                          << " want " << want;
            return;
          }
        }
    }
  }
}

}  // namespace
}  // namespace morvex::test
