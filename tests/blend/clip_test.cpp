// ClipRestore and FocusPrep on float ARGB images.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "blend/blend_test_util.h"
#include "morvex/native.h"
#include "support/fp_state.h"

namespace morvex::test {
namespace {

const float kNaNf = std::numeric_limits<float>::quiet_NaN();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

using ClipFn = std::uint8_t (*)(float*, std::int32_t, std::int32_t, std::int32_t, double, double);
constexpr ClipFn kClipExports[] = {&ClipRestore, &FocusPrep};

struct FPx {
  float v[4];
};

bool SameBits(const FPx& a, const FPx& b) { return std::memcmp(a.v, b.v, sizeof a.v) == 0; }

FPx ClipOne(ClipFn fn, FPx p, double clipLevel, double restoreMin) {
  TestPlane plane(16, 1);
  std::memcpy(plane.first(), p.v, 16);
  EXPECT_EQ(
      fn(reinterpret_cast<float*>(plane.first()), plane.stride(), 1, 1, clipLevel, restoreMin), 1);
  FPx out;
  std::memcpy(out.v, plane.first(), 16);
  return out;
}

TEST(ClipRestore, ReplacesColoursAboveTheClipLevel) {
  struct Case {
    double clipLevel, restoreMin;
    FPx in, out;
  };
  const Case cases[] = {
      {0.9, 0.5, {{240, 100, 230, 200}}, {{200, 100, 200, 200}}},
      {0.9, 0.5, {{250, 250, 250, 100}}, {{127.5f, 127.5f, 127.5f, 100}}},
      {0.9, 0.5, {{229.5f, 229.6f, 0, 100}}, {{229.5f, 127.5f, 0, 100}}},
      {1.0, 0.9, {{255, 254, 0, 3}}, {{255, 254, 0, 3}}},
      {0.5, 0.0, {{200, 300, 127.5f, 1}}, {{1, 1, 127.5f, 1}}},
      // A NaN colour stays; a NaN alpha is the replacement as it is.
      {0.5, 0.5, {{kNaNf, 200, 0, kNaNf}}, {{kNaNf, kNaNf, 0, kNaNf}}},
      // A negative alpha is raised to F; F above A sets colours above alpha.
      {0.1, 0.0, {{kInf, 30, 20, -4}}, {{0, 0, 20, -4}}},
      // NaN levels: no colour is above a NaN T; a NaN F never wins.
      {kNaN, 0.5, {{kInf, 300, 1, 5}}, {{kInf, 300, 1, 5}}},
      {0.5, kNaN, {{kInf, 300, 1, 5}}, {{5, 5, 1, 5}}},
  };
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (ClipFn fn : kClipExports)
      for (const Case& c : cases) {
        const FPx got = ClipOne(fn, c.in, c.clipLevel, c.restoreMin);
        EXPECT_TRUE(SameBits(got, c.out))
            << path.label << " clip " << c.clipLevel << ": got " << got.v[0] << " " << got.v[1]
            << " " << got.v[2] << " " << got.v[3];
      }
  }
}

// The clip level is rounded to single in the host's rounding mode, and that
// mode is left as it was.
TEST(ClipRestore, LevelsRoundInTheHostRoundingMode) {
  const double exact = 0.99 * 255.0;
  const float down = std::nextafter(static_cast<float>(exact), 0.0f) < exact
                         ? std::nextafter(static_cast<float>(exact), 0.0f)
                         : static_cast<float>(exact);
  const float low =
      static_cast<double>(static_cast<float>(exact)) <= exact ? static_cast<float>(exact) : down;
  const float high = std::nextafter(low, 300.0f);
  ASSERT_LT(low, exact);
  ASSERT_GT(high, exact);
  struct Case {
    std::uint32_t rounding;
    bool replaced;  // a colour equal to `high` is above T only when T rounds down
  };
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (const Case c :
         {Case{kFpRoundDown, true}, Case{kFpRoundTowardZero, true}, Case{kFpRoundUp, false}}) {
      FpStateGuard guard;
      SetHostRounding(c.rounding);
      const FpState before = ReadFpState();
      const FPx got = ClipOne(&ClipRestore, {{high, low, 0, 7}}, 0.99, 0.0);
      EXPECT_EQ(ReadFpState(), before);
      EXPECT_EQ(got.v[0], c.replaced ? 7.0f : high) << path.label << " rounding " << c.rounding;
      EXPECT_EQ(got.v[1], low);
    }
  }
}

// A host that flushes denormal operands still gets a denormal alpha copied as
// the replacement, bit for bit, on every path (widths cover vector groups and
// the scalar tail).
TEST(ClipRestore, DenormalAlphaIsCopiedUnderFlushModes) {
  const float denormal = std::numeric_limits<float>::denorm_min() * 3;
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (std::uint32_t flush : {kFpFlushBoth, kFpFlushOperands, kFpFlushResults}) {
      FpStateGuard guard;
      ControlFloatingPoint(flush, kFpDenormalField);
      for (int width : {1, 2, 3, 5, 8, 9}) {
        TestPlane plane(width * 16, 1);
        for (int x = 0; x < width; ++x) {
          const FPx p{{200, 1, 250, denormal}};
          std::memcpy(plane.first() + 16 * x, p.v, 16);
        }
        EXPECT_EQ(ClipRestore(plane.floats(), plane.stride(), width, 1, 0.5, -0.0), 1);
        for (int x = 0; x < width; ++x) {
          FPx got;
          std::memcpy(got.v, plane.first() + 16 * x, 16);
          EXPECT_TRUE(SameBits(got, FPx{{denormal, 1, denormal, denormal}}))
              << path.label << " flush " << flush << " width " << width << " pixel " << x;
        }
      }
    }
  }
}

TEST(ClipRestore, EmptyRegionsWriteNothing) {
  for (auto [width, height] : {std::pair{3, 0}, {3, -1}, {0, 2}, {-4, 2}}) {
    Rng rng(3);
    TestPlane plane(3 * 16, 2);
    plane.FillRandom(rng);
    const auto before = plane.Snapshot();
    for (ClipFn fn : kClipExports)
      EXPECT_EQ(
          fn(reinterpret_cast<float*>(plane.first()), plane.stride(), width, height, 0.0, 1.0), 1);
    EXPECT_EQ(plane.Snapshot(), before);
  }
}

// Values drawn around the levels, with NaNs, infinities and signed zeros, at
// every width; both exports must give the same bits as the scalar path.
TEST(ClipRestore, VectorKernelsMatchScalarAtEveryWidth) {
  for (int width = 0; width <= 67; ++width) {
    for (int e = 0; e < 2; ++e) {
      ExpectPathsAgree(width * 2 + e, "width " + std::to_string(width), [&](Rng& rng) {
        const int height = rng.Int(1, 3);
        const double clipLevel = rng.Bool() ? 0.5 : rng.Real(-0.1, 1.1);
        const double restoreMin = rng.Int(0, 7) == 0 ? kNaN : rng.Real(-0.1, 1.0);
        const float t = static_cast<float>(clipLevel * 255.0),
                    f = static_cast<float>(restoreMin * 255.0);
        const float palette[] = {t,
                                 std::nextafter(t, 0.0f),
                                 std::nextafter(t, 300.0f),
                                 f,
                                 kNaNf,
                                 -kNaNf,
                                 kInf,
                                 -kInf,
                                 0.0f,
                                 -0.0f,
                                 -3.0f};
        const auto shape = RandomShape(rng);
        TestPlane plane(width * 16, height, shape.padding, shape.bottomUp);
        for (int y = 0; y < height; ++y)
          for (int i = 0; i < width * 4; ++i) {
            const float v =
                rng.Bool() ? palette[rng.Int(0, 10)] : static_cast<float>(rng.Real(-10, 300));
            std::memcpy(plane.Row(y) + 4 * i, &v, 4);
          }
        EXPECT_EQ(kClipExports[e](reinterpret_cast<float*>(plane.first()), plane.stride(), width,
                                  height, clipLevel, restoreMin),
                  1);
        return Checked(plane);
      });
    }
  }
}

}  // namespace
}  // namespace morvex::test
