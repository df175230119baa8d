#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "mask/scale.h"
#include "mask_test_util.h"
#include "morvex/native.h"
#include "support/fp_state.h"
#include "support/oracle_harness.h"

namespace morvex {
namespace {

using mask::FloatRect;
using test::CpuPaths;
using test::FloatAt;
using test::PinnedCpuPath;
using test::Rng;
using test::SetFloat;
using test::TestPlane;

// A float-mask plane with its element size.
struct MaskPlane {
  MaskPlane(int width, int height, int padding = 0, bool bottomUp = false)
      : width(width), height(height), plane(4 * (width > 0 ? width : 0), height, padding, bottomUp) {}
  float* data() const { return reinterpret_cast<float*>(plane.first()); }
  float At(int x, int y) const { return FloatAt(plane, x, y); }
  void Set(int x, int y, float v) { SetFloat(plane, x, y, v); }
  int width, height;
  TestPlane plane;
};

uint8_t Scale(MaskPlane& dst, FloatRect dr, const MaskPlane& src, FloatRect sr, int mode = 0,
              float amount = 0.0f) {
  return ScaleMask(dst.data(), dst.plane.stride(), dst.width, dst.height, dr.x, dr.y, dr.width,
                   dr.height, src.data(), src.plane.stride(), src.width, src.height, sr.x, sr.y,
                   sr.width, sr.height, mode, amount);
}

void FillRows(MaskPlane& p, const std::vector<float>& row) {
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) p.Set(x, y, row[x]);
}

std::vector<float> Row(const MaskPlane& p, int y) {
  std::vector<float> r;
  for (int x = 0; x < p.width; ++x) r.push_back(p.At(x, y));
  return r;
}

constexpr float kUntouched = -7.0f;

TEST(ScaleMask, WorkedColumnCasesOnEveryPath) {
  struct Case {
    const char* name;
    int srcWidth;
    std::vector<float> srcRow;
    FloatRect srcRect;
    int dstWidth;
    FloatRect dstRect;
    std::vector<float> expected;  // every row of the destination
  };
  const Case cases[] = {
      // Four source columns onto two: step 3, columns 0 and 3 exactly.
      {"4->2", 4, {10, 20, 30, 40}, {0, 0, 4, 2}, 2, {0, 0, 2, 2}, {10, 40}},
      // Two onto four: du = 682, fractions 0, 682, 1364 and 2046 of 2048.
      {"2->4", 2, {0, 2048}, {0, 0, 2, 2}, 4, {0, 0, 4, 2}, {0, 682, 1364, 2046}},
      // (2.5, 0, 3, h) touches columns 2..5; column 2 takes the source point
      // that maps to x = 2.5, here source column 0.
      {"2.5", 8, {1, 2, 3, 4, 5, 6, 7, 8}, {0, 0, 3, 2}, 8, {2.5f, 0, 3, 2},
       {kUntouched, kUntouched, 1, 2, 3, 4, kUntouched, kUntouched}},
      // A source rectangle reaching past the source plane is cut back to it:
      // only destination columns 0..3 map onto existing source columns 2..3.
      {"cut", 4, {0, 0, 100, 100 + 2048}, {2, 0, 4, 2}, 8, {0, 0, 8, 2},
       {100, 782, 1464, 2146, kUntouched, kUntouched, kUntouched, kUntouched}},
  };
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (const Case& c : cases) {
      MaskPlane src(c.srcWidth, 2, 3, true), dst(c.dstWidth, 2, 5);
      FillRows(src, c.srcRow);
      FillRows(dst, std::vector<float>(c.dstWidth, kUntouched));
      ASSERT_EQ(Scale(dst, c.dstRect, src, c.srcRect), 1) << c.name;
      for (int y = 0; y < 2; ++y) EXPECT_EQ(Row(dst, y), c.expected) << c.name << " " << path.label;
      EXPECT_TRUE(dst.plane.GuardsIntact());
    }
  }
}

TEST(ScaleMask, EqualRectanglesCopyExactly) {
  Rng rng(31);
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (auto [w, h] : {std::pair{2, 2}, {13, 5}, {40, 3}, {3, 17}}) {
      MaskPlane src(w, h, 4, true), dst(w, h, 0, false);
      test::FillFloats(src.plane, rng, -1e6, 1e6);
      const FloatRect all{0, 0, static_cast<float>(w), static_cast<float>(h)};
      ASSERT_EQ(Scale(dst, all, src, all), 1);
      EXPECT_EQ(dst.plane.RowBytes(), src.plane.RowBytes()) << path.label << " " << w << "x" << h;
    }
  }
}

// Replacing into a destination of 8 MB and more streams the stores past the
// cache where rows start on an element boundary: the same bits as the scalar
// path, for rows on and off that boundary.
TEST(ScaleMask, LargeReplacementsGiveTheScalarBits) {
  const int sw = 700, sh = 300, dw = 1500, dh = 1460;  // 8.4 MB of destination
  for (const int offset : {0, 4, 2}) {
    test::ExpectPathsAgree(offset, "byte offset " + std::to_string(offset), [&](Rng& rng) {
      MaskPlane src(sw, sh);
      test::FillFloats(src.plane, rng, -100, 100);
      std::vector<Byte> dst(std::size_t{4} * dw * dh + 8, 0);
      ScaleMask(reinterpret_cast<float*>(dst.data() + offset), 4 * dw, dw, dh, 0.5f, 0, dw - 1.0f,
                static_cast<float>(dh), src.data(), src.plane.stride(), sw, sh, 0, 0,
                static_cast<float>(sw), static_cast<float>(sh), 0, 0.0f);
      return dst;
    });
  }
}

// Destination spans wider than the routine's run of held interpolations:
// positions carry on across the runs.
TEST(ScaleMask, WideSpansContinueAcrossRuns) {
  const int wide = 9000;
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (int srcWidth : {wide, 3001}) {
      MaskPlane src(srcWidth, 2), dst(wide, 2);
      std::vector<float> ramp(srcWidth);
      for (int x = 0; x < srcWidth; ++x) ramp[x] = static_cast<float>((x * 37) % 1000);
      FillRows(src, ramp);
      const FloatRect all{0, 0, static_cast<float>(wide), 2};
      ASSERT_EQ(Scale(dst, all, src, {0, 0, static_cast<float>(srcWidth), 2}), 1);
      // Equal rows: the sample is the horizontal interpolation itself.
      const float stepX = static_cast<float>((srcWidth - 1.0) / (wide - 1.0));
      const auto du = static_cast<std::uint32_t>(static_cast<double>(stepX) * 2048.0);
      for (int x = 0; x < wide; ++x) {
        const float expected = mask::HorizontalSample(src.plane.Row(0), srcWidth - 1,
                                                      static_cast<std::int32_t>(x * du),
                                                      mask::FractionTable());
        ASSERT_EQ(dst.At(x, 1), expected) << "x " << x << " " << path.label;
      }
      if (srcWidth == wide) {
        EXPECT_EQ(Row(dst, 0), ramp);
      }
    }
  }
}

TEST(ScaleMask, CombinationModes) {
  struct Case {
    int mode;
    float amount;
    float expected;  // for sample 8 over destination 4
  };
  const Case cases[] = {{0, 0.0f, 8.0f},  {7, 0.5f, 8.0f},  {-1, 0.5f, 8.0f},
                        {1, 1.0f, 8.0f},  {1, 0.25f, 5.0f}, {1, 0.0f, 4.0f},
                        {2, 0.0f, 32.0f}, {1, -1.0f, 0.0f}};
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (const Case& c : cases) {
      MaskPlane src(21, 3), dst(21, 3);
      FillRows(src, std::vector<float>(21, 8.0f));
      FillRows(dst, std::vector<float>(21, 4.0f));
      const FloatRect all{0, 0, 21, 3};
      ASSERT_EQ(Scale(dst, all, src, all, c.mode, c.amount), 1);
      for (int y = 0; y < 3; ++y)
        EXPECT_EQ(Row(dst, y), std::vector<float>(21, c.expected))
            << "mode " << c.mode << " amount " << c.amount << " " << path.label;
    }
  }
}

TEST(ScaleMask, BlendRoundsTheKeptWeightOnce) {
  // 1 - amount is stored as single before use: with amount = 0.1 the kept
  // weight is 0.9f, not the double 0.9, and the sum is rounded once.
  MaskPlane src(3, 2), dst(3, 2);
  FillRows(src, {1000.0f, 1000.0f, 1000.0f});
  FillRows(dst, {3.0f, 3.0f, 3.0f});
  ASSERT_EQ(Scale(dst, {0, 0, 3, 2}, src, {0, 0, 3, 2}, 1, 0.1f), 1);
  const float keep = static_cast<float>(1.0 - 0.1f);
  const auto expected = static_cast<float>(1000.0 * 0.1f + static_cast<double>(keep) * 3.0);
  EXPECT_EQ(dst.At(1, 1), expected);
}

TEST(ScaleMask, RefusalsWriteNothing) {
  struct Case {
    const char* name;
    int dstWidth, dstHeight, srcWidth, srcHeight;
    FloatRect dstRect, srcRect;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {"one wide", 8, 8, 8, 8, {0, 0, 1.0f, 8}, {0, 0, 8, 8}},
      {"one high", 8, 8, 8, 8, {0, 0, 8, 1.0f}, {0, 0, 8, 8}},
      {"source span one", 8, 8, 8, 8, {0, 0, 8, 8}, {0, 0, 1.0f, 8}},
      {"outside the destination", 8, 8, 8, 8, {9, 0, 4, 4}, {0, 0, 8, 8}},
      {"left of the destination", 8, 8, 8, 8, {-6, 2, 5, 4}, {0, 0, 8, 8}},
      {"outside the source", 8, 8, 4, 4, {0, 0, 8, 8}, {5, 0, 8, 8}},
      {"destination width 0", 0, 8, 8, 8, {0, 0, 8, 8}, {0, 0, 8, 8}},
      {"destination height -3", 8, -3, 8, 8, {0, 0, 8, 8}, {0, 0, 8, 8}},
      {"source width 0", 8, 8, 0, 8, {0, 0, 8, 8}, {0, 0, 8, 8}},
      {"source height -1", 8, 8, 8, -1, {0, 0, 8, 8}, {0, 0, 8, 8}},
      {"NaN corner", 8, 8, 8, 8, {nan, 0, 8, 8}, {0, 0, 8, 8}},
      {"NaN extent", 8, 8, 8, 8, {0, 0, 8, nan}, {0, 0, 8, 8}},
  };
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (const Case& c : cases) {
      MaskPlane dst(c.dstWidth, c.dstHeight > 0 ? c.dstHeight : 1), src(c.srcWidth, c.srcHeight > 0 ? c.srcHeight : 1);
      dst.height = c.dstHeight;
      src.height = c.srcHeight;
      Rng rng(32);
      dst.plane.FillRandom(rng);
      src.plane.FillRandom(rng);
      const auto before = dst.plane.Snapshot();
      EXPECT_EQ(Scale(dst, c.dstRect, src, c.srcRect), 0) << c.name;
      EXPECT_EQ(dst.plane.Snapshot(), before) << c.name;
      EXPECT_TRUE(mask::FractionTableReady());
    }
  }
}

// Runs in a fresh process: the table is empty, a refused call fills it.
// Inspects the library's process-wide table through internal routines, which
// on Windows read the test program's copy rather than the DLL's.
#if !defined(_WIN32)
void RefuseFirstAndExit() {
  const bool readyBefore = mask::FractionTableReady();
  float dst[4] = {}, src[4] = {};
  const uint8_t result = ScaleMask(dst, 8, 2, 2, 0, 0, 1.0f, 2, src, 8, 2, 2, 0, 0, 2, 2, 0, 0);
  const bool readyAfter = mask::FractionTableReady();
  const float* table = mask::FractionTable();
  const bool values = table[0] == 0.0f && table[1] == 0.00048828125f && table[1024] == 0.5f &&
                      table[2047] == 0.99951171875f;
  std::_Exit(!readyBefore && result == 0 && readyAfter && values ? 0 : 1);
}

TEST(ScaleMask, ARefusedFirstCallFillsTheFractionTable) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // re-executes the test binary
  EXPECT_EXIT(RefuseFirstAndExit(), ::testing::ExitedWithCode(0), "");
}
#endif

TEST(ClipRect, IntersectsStepByStep) {
  struct Case {
    FloatRect clip, rect, expected;
  };
  const Case cases[] = {
      {{0, 0, 10, 10}, {2, 3, 4, 5}, {2, 3, 4, 5}},         // inside
      {{0, 0, 10, 10}, {-2, -3, 4, 5}, {0, 0, 2, 2}},       // over the near edges
      {{0, 0, 10, 10}, {8, 9, 4, 5}, {8, 9, 2, 1}},         // over the far edges
      {{0, 0, 10, 10}, {12, 0, 4, 5}, {12, 0, -2, 5}},      // beyond: negative width
      {{1.5f, 0, 2, 10}, {0, 0, 10, 10}, {1.5f, 0, 2, 10}}, // wider than clip
      {{0, 0, 10, 10}, {-20, 0, 4, 5}, {0, 0, -16, 5}},     // nothing is clamped
  };
  for (const Case& c : cases) {
    FloatRect r = c.rect;
    mask::ClipRect(c.clip, r);
    EXPECT_EQ(r.x, c.expected.x);
    EXPECT_EQ(r.y, c.expected.y);
    EXPECT_EQ(r.width, c.expected.width);
    EXPECT_EQ(r.height, c.expected.height);
  }
}

TEST(ClipRect, DifferencesAreRoundedToSingleBeforeSubtracting) {
  // d = 1 - 2^-30 rounds to 1 as a single, so the width loses exactly 1.
  FloatRect r{static_cast<float>(std::ldexp(1.0, -30)), 0, 4, 1};
  mask::ClipRect({1, 0, 100, 100}, r);
  EXPECT_EQ(r.x, 1.0f);
  EXPECT_EQ(r.width, 3.0f);
}

// Random calls about the planes' edges, with hostile values mixed in, on
// fenced planes inside a moat: the source is ringed by NaN elements (a read
// outside it, even with weight 0, makes a NaN) and the destination by
// elements that must keep their bits. Every path gives the same bits, in
// every host rounding mode.
TEST(ScaleMask, NothingOutsideThePlanesIsReadOrWritten) {
  test::FpStateGuard guard;
  Rng rng(37);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float specials[] = {0.0f, -0.0f, 1e-30f, 3e38f, -1e9f, nan,
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity()};
  auto size = [&](int most) { return rng.Int(0, 15) == 0 ? rng.Int(0, 1) : rng.Int(2, most); };
  // Whole, fractional, a hair beside a whole number, far off, or special.
  auto corner = [&](int extent) {
    switch (rng.Int(0, 11)) {
      case 0: return specials[rng.Int(0, 7)];
      case 1: return static_cast<float>(rng.Real(-1e7, 1e7));
      default: break;
    }
    const float whole = static_cast<float>(rng.Int(-1, extent - 1));
    switch (rng.Int(0, 2)) {
      case 0: return whole;
      case 1: return std::nextafter(whole, rng.Bool() ? 1e9f : -1e9f);
      default: return static_cast<float>(whole + rng.Real(0, 1));
    }
  };
  auto extent = [&](int extent) {
    if (rng.Int(0, 15) == 0) return specials[rng.Int(0, 7)];
    // Now and then far beyond the plane, so that clipping rounds.
    const float e = static_cast<float>(rng.Real(1.2, rng.Int(0, 4) == 0 ? 3e4 : extent + 2.0));
    return rng.Bool() ? std::nextafter(std::round(e), rng.Bool() ? 1e9f : -1e9f) : e;
  };
  auto inRing = [](int x, int y, int w, int h) { return x == 0 || y == 0 || x > w || y > h; };
  int done = 0;
  for (int call = 0; call < 2500; ++call) {
    const int dw = size(20), dh = size(7), sw = size(20), sh = size(7);
    MaskPlane src(sw + 2, sh + 2, rng.Int(0, 1) * 8, rng.Bool());
    for (int y = 0; y < sh + 2; ++y)
      for (int x = 0; x < sw + 2; ++x)
        src.Set(x, y, inRing(x, y, sw, sh) ? nan : static_cast<float>(rng.Real(-9, 9)));
    const FloatRect dr{corner(dw), corner(dh), extent(dw), extent(dh)};
    const FloatRect sr{corner(sw), corner(sh), extent(sw), extent(sh)};
    const int mode = rng.Int(-1, 3);
    const float amount = static_cast<float>(rng.Real(-1, 2));
    const auto dstShape = test::RandomShape(rng);
    const std::uint32_t rounding = test::kHostRoundings[rng.Int(0, 3)];
    std::vector<std::vector<std::uint8_t>> results;
    std::vector<int> returned;
    for (const auto& path : CpuPaths()) {
      PinnedCpuPath pin(path);
      MaskPlane dst(dw + 2, dh + 2, dstShape.padding, dstShape.bottomUp);
      Rng fill(static_cast<std::uint64_t>(call));
      test::FillFloats(dst.plane, fill, -9, 9);
      std::vector<float> ring;
      for (int y = 0; y < dh + 2; ++y)
        for (int x = 0; x < dw + 2; ++x)
          if (inRing(x, y, dw, dh)) ring.push_back(dst.At(x, y));
      test::SetHostRounding(rounding);
      returned.push_back(
          ScaleMask(reinterpret_cast<float*>(dst.plane.Row(1) + 4), dst.plane.stride(), dw, dh,
                    dr.x, dr.y, dr.width, dr.height,
                    reinterpret_cast<const float*>(src.plane.Row(1) + 4), src.plane.stride(), sw,
                    sh, sr.x, sr.y, sr.width, sr.height, mode, amount));
      test::SetHostRounding(kFpRoundNearest);
      ASSERT_TRUE(dst.plane.GuardsIntact()) << "call " << call;
      std::vector<float> ringAfter;
      for (int y = 0; y < dh + 2; ++y)
        for (int x = 0; x < dw + 2; ++x) {
          if (inRing(x, y, dw, dh)) {
            ringAfter.push_back(dst.At(x, y));
          } else {
            ASSERT_FALSE(std::isnan(dst.At(x, y))) << "read outside the source, call " << call;
          }
        }
      ASSERT_EQ(ringAfter, ring) << "write outside the destination, call " << call;
      results.push_back(dst.plane.Snapshot());
    }
    for (std::size_t i = 1; i < results.size(); ++i) {
      ASSERT_EQ(returned[i], returned[0]) << "call " << call;
      ASSERT_EQ(results[i], results[0]) << "call " << call << " path " << i;
    }
    done += returned[0];
  }
  EXPECT_GT(done, 100);  // enough calls got past the extent test
}

TEST(ScaleMask, PathsAgreeInEveryHostRoundingMode) {
  test::FpStateGuard guard;
  for (const std::uint32_t mode : test::kHostRoundings) {
    for (int call = 0; call < 40; ++call) {
      test::ExpectPathsAgree(call, std::string("mode ") + test::RoundingName(mode), [&](Rng& rng) {
        const int sw = rng.Int(2, 30), sh = rng.Int(2, 6), dw = rng.Int(2, 45), dh = rng.Int(2, 6);
        MaskPlane src(sw, sh), dst(dw, dh);
        test::FillFloats(src.plane, rng, -10, 10);
        test::FillFloats(dst.plane, rng, -10, 10);
        const FloatRect dr{static_cast<float>(rng.Real(-2, 3)), static_cast<float>(rng.Real(-1, 1)),
                           static_cast<float>(rng.Real(2, dw)), static_cast<float>(rng.Real(2, dh))};
        const FloatRect sr{static_cast<float>(rng.Real(0, 1)), static_cast<float>(rng.Real(0, 1)),
                           static_cast<float>(rng.Real(1.5, sw)), static_cast<float>(rng.Real(1.5, sh))};
        const int combine = rng.Int(0, 2);
        const float amount = static_cast<float>(rng.Real(0, 1));
        test::SetHostRounding(mode);
        Scale(dst, dr, src, sr, combine, amount);
        test::SetHostRounding(kFpRoundNearest);
        return dst.plane.Snapshot();
      });
    }
  }
}

// Source-row kernels against the definition (HorizontalSample at each
// column's position) at every tail length: positions that are negative,
// wrap, jump or stand still, enlarging (one-vector windows), reducing by up
// to two (two-vector windows) and more (element by element), runs that reach
// the last source column.
TEST(ScaleMaskKernels, SourceRowsMatchTheDefinitionAtEveryWidth) {
  Rng rng(35);
  const float* fractions = mask::FractionTable();
  for (int width = 1; width <= 67; ++width) {
    for (int variant = 0; variant < 16; ++variant) {
      const int sourceWidth = rng.Int(1, 150);
      std::vector<Byte> row(4 * sourceWidth + 1);
      for (int i = 0; i < sourceWidth; ++i) {
        const float v = static_cast<float>(rng.Real(-1000, 1000));
        std::memcpy(&row[1 + 4 * i], &v, 4);  // host rows are unaligned
      }
      std::uint32_t uStart = rng.U32() % (2048u * sourceWidth), du = rng.U32() % 4096u;
      switch (variant % 8) {
        case 0: du = 2048; break;                                               // one column per element
        case 1: du = rng.U32() % 2048u; break;                                  // enlarging
        case 2: uStart = static_cast<std::uint32_t>(-rng.Int(1, 5000)); break;  // below zero
        case 3: du = rng.U32(); uStart = rng.U32(); break;                      // wrapping
        case 4: du = 0; break;
        case 5: du = 2048 + rng.U32() % 2048u; uStart %= 4096u; break;          // reducing by up to 2
        case 6: du = rng.U32() % 12000u; uStart %= 2048u; break;                // reducing by more
        default: uStart = 2048u * sourceWidth - rng.U32() % 20000u; break;      // toward the end
      }
      const std::int32_t last = sourceWidth - 1;
      std::vector<float> expected(width);
      for (int k = 0; k < width; ++k)
        expected[k] = mask::HorizontalSample(
            row.data() + 1, last, mask::PositionAt(uStart, du, static_cast<std::uint32_t>(k)),
            fractions);
      for (const auto& path : test::CpuPathsOf(mask::kScaleKernelTable)) {
        const mask::ScaleKernels& kernels = *mask::kScaleKernelTable.At(path.level);
        auto plan = std::make_unique<mask::ScaleColumns>();
        mask::PlanScaleColumns(*plan, width, last, uStart, du, kernels.groupColumns, fractions);
        alignas(64) float got[68];
        kernels.sourceRow(got, row.data() + 1, *plan);
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), got))
            << path.label << " width " << width << " variant " << variant;
      }
    }
  }
}

TEST(ScaleMaskKernels, CombineRowsMatchTheScalarRowAtEveryWidth) {
  Rng rng(36);
  const float* fractions = mask::FractionTable();
  for (int width = 0; width <= 67; ++width) {
    for (int mode = 0; mode < 3; ++mode) {
      std::vector<float> top(width), bottom(width);
      for (int k = 0; k < width; ++k) {
        top[k] = static_cast<float>(rng.Real(-1e4, 1e4));
        bottom[k] = static_cast<float>(rng.Real(-1e4, 1e4));
      }
      const float wy = fractions[rng.Int(0, 2047)];
      mask::ScaleCombine combine{static_cast<mask::ScaleMaskMode>(mode),
                                 static_cast<float>(rng.Real(-1, 2)), 0.0f, rng.Bool()};
      combine.keep = static_cast<float>(1.0 - combine.amount);
      const int offset = rng.Int(0, 3) * 4 + rng.Int(0, 1);  // rows of any alignment
      std::vector<Byte> dst(4 * width + 64);
      for (int x = 0; x < width; ++x) {
        const float v = static_cast<float>(rng.Real(-50, 50));
        std::memcpy(&dst[offset + 4 * x], &v, 4);
      }
      std::vector<Byte> expected = dst;
      mask::ScaleCombineRowScalar(expected.data() + offset, width, top.data(), bottom.data(), wy,
                                  1.0f - wy, combine);
      for (const auto& path : test::CpuPathsOf(mask::kScaleKernelTable)) {
        std::vector<Byte> got = dst;
        mask::kScaleKernelTable.At(path.level)
            ->combineRow(got.data() + offset, width, top.data(), bottom.data(), wy, 1.0f - wy,
                         combine);
        ASSERT_EQ(got, expected) << path.label << " width " << width << " mode " << mode;
      }
    }
  }
}

}  // namespace
}  // namespace morvex
