#include "filters/radial_blur.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "morvex/native.h"
#include "frame/fpu.h"
#include "support/cpu_paths.h"
#include "support/fp_state.h"
#include "support/test_plane.h"

namespace morvex::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

struct Radial {
  double cx, cy, sx, sy, gain;
};

// A strided byte plane of width x height elements `step` bytes apart, the
// rows exactly (width - 1) * |step| + 1 bytes long, so any access beyond an
// element faults or shows. A negative step addresses each row from its end.
struct StridedPlane {
  TestPlane plane;
  int width, height, step;

  StridedPlane(int w, int h, int s, int padding = 0, bool bottomUp = false)
      : plane(w > 0 ? (w - 1) * std::abs(s) + 1 : 0, h, padding, bottomUp),
        width(w),
        height(h),
        step(s) {}
  std::uint8_t* first() const { return plane.first() + (step < 0 ? (width - 1) * -step : 0); }
  std::uint8_t& At(int x, int y) const {
    return first()[static_cast<std::ptrdiff_t>(y) * plane.stride() + x * step];
  }
  Bytes Elements() const {
    Bytes out;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) out.push_back(At(x, y));
    return out;
  }
  void SetElements(const Bytes& values) {
    for (int y = 0, i = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) At(x, y) = values[i++];
  }
};

std::uint8_t Call(const StridedPlane& dst, const StridedPlane& src, const Radial& r) {
  return RadialBlurMask(dst.first(), dst.plane.stride(), dst.step, src.first(), src.plane.stride(),
                        src.step, src.width, src.height, r.cx, r.cy, r.sx, r.sy, r.gain);
}

// Runs on a width x height plane given row-major, in several layouts (step
// 1, one channel of an ARGB image, a negative step; padded and bottom-up
// rows), which must all agree and touch nothing but the destination elements.
Bytes Blur(int width, int height, const Bytes& values, const Radial& r) {
  struct Layout {
    int dstStep, srcStep, dstPad, srcPad;
    bool dstUp, srcUp;
  };
  const Layout layouts[] = {
      {1, 1, 0, 0, false, false}, {4, 4, 3, 1, true, false}, {-2, 3, 0, 5, false, true}};
  Bytes first;
  Rng rng(81);
  for (const Layout& l : layouts) {
    StridedPlane src(width, height, l.srcStep, l.srcPad, l.srcUp),
        dst(width, height, l.dstStep, l.dstPad, l.dstUp);
    src.plane.FillRandom(rng);
    dst.plane.FillRandom(rng);
    src.SetElements(values);
    const auto srcBefore = src.plane.Snapshot();
    const Bytes dstElements = dst.Elements();
    const auto dstBefore = dst.plane.Snapshot();
    EXPECT_EQ(Call(dst, src, r), 1);
    const Bytes got = dst.Elements();
    dst.SetElements(dstElements);
    EXPECT_EQ(dst.plane.Snapshot(), dstBefore) << "bytes outside the elements changed";
    EXPECT_EQ(src.plane.Snapshot(), srcBefore);
    if (first.empty()) first = got;
    EXPECT_EQ(got, first) << "layout with steps " << l.dstStep << ", " << l.srcStep;
  }
  return first;
}

const Bytes kRamp{0, 40, 80, 120, 160};

struct RowCase {
  const char* name;
  Bytes row;
  Radial r;
  Bytes expected;
};

// One-row cases (width = row length, height 1).
const RowCase kRowCases[] = {
    // Element 3 averages itself and position 2.25 (120 and 90), element 4 itself and element 3.
    {"ramp", kRamp, {0, 0, 2, 1, 1}, {0, 40, 80, 105, 140}},
    {"ramp, gain -1 wraps", kRamp, {0, 0, 2, 1, -1}, {0, 216, 176, 151, 116}},
    {"last 255, gain 1", {0, 0, 0, 0, 255}, {0, 0, 2, 1, 1}, {0, 0, 0, 0, 127}},
    {"last 255, gain 3 clamps", {0, 0, 0, 0, 255}, {0, 0, 2, 1, 3}, {0, 0, 0, 0, 255}},
    {"scales 1 copy", kRamp, {2, 0, 1, 1, 7}, kRamp},
    {"displacements up to 1 keep their value", kRamp, {2, 0, 1.5, 1.5, 1}, kRamp},
    // A fractional centre with scales 1: the displacement rounds toward zero
    // to a few units in the last place, and those elements take one sample
    // times the gain; element 0's displacement is exactly 0.
    {"fractional centre, scales 1", {100, 100, 100, 100}, {0.1, 0, 1, 1, 2}, {100, 200, 200, 200}},
    // Segments left of column 0 take the edge value there: element 1
    // averages 100 and eight samples of 200 (188.9). Element 0 averages ten
    // samples of 200, and 2000 * (1/10 rounded toward zero) truncates to 199.
    {"left of the plane",
     {200, 100, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0},
     {10, 0, 0.5, 1, 1},
     {199, 188, 168, 135, 91, 29, 0, 0, 0, 0, 0, 0}},
    // Scale 0: element 0 is the centre (0 times infinity, copied); the others
    // have infinite displacements, sampled width + height = 5 times: once at
    // the element and four times at the far edge (41). 205 * (1/5 rounded
    // toward zero) truncates to 40.
    {"scale 0", {10, 22, 30, 41}, {0, 0, 0, 1, 1}, {10, 37, 38, 40}},
    // A mirrored zoom: the segments run 100 - 2x units to the right, so
    // elements take 100, 98 and 96 samples, far more than width + height.
    // Element 0 sees 0, 0 and then 98 edge samples of 255 (249.9); element
    // 2 only 255s, and 24480 * (1/96 rounded toward zero) truncates to 254.
    {"mirrored zoom, a sample per unit", {0, 0, 255}, {50, 0, -1, 1, 1}, {249, 252, 254}},
    {"NaN centre copies", kRamp, {kNaN, 0, 2, 2, 3}, kRamp},
    {"NaN scale copies", kRamp, {0, 0, kNaN, 1, 3}, kRamp},
    {"infinite centre copies", kRamp, {kInf, 0, 2, 1, 3}, kRamp},
    // Beyond the integer range still clamps at 255; below it stores 0.
    {"huge gain", kRamp, {0, 0, 2, 1, 1e300}, {0, 255, 255, 255, 255}},
    {"infinite gain", kRamp, {0, 0, 2, 1, kInf}, {0, 255, 255, 255, 255}},
    {"huge negative gain", kRamp, {0, 0, 2, 1, -1e300}, {0, 0, 0, 0, 0}},
    {"NaN gain", kRamp, {0, 0, 2, 1, kNaN}, {0, 0, 0, 0, 0}},
};

TEST(RadialBlurMask, WorkedRows) {
  for (const RowCase& c : kRowCases) {
    const int width = static_cast<int>(c.row.size());
    EXPECT_EQ(Blur(width, 1, c.row, c.r), c.expected) << c.name;
    // The same row as a column, with the axes swapped.
    const Radial t{c.r.cy, c.r.cx, c.r.sy, c.r.sx, c.r.gain};
    EXPECT_EQ(Blur(1, width, c.row, t), c.expected) << c.name << " (column)";
  }
}

// An element takes ceil(m) samples however long its segment: in the 7x3 plane
// below, element (1, 0) is displaced by (10.83, 2.15) and takes 11 samples,
// one more than width + height. Only the last column is bright, so the count
// shows: from column 1 in steps of 0.984 the samples reach 235 once (at
// 5.92) and 255 five times (137.3); ten steps of 1.083 would give 135.
TEST(RadialBlurMask, SamplesPerUnitBeyondWidthPlusHeight) {
  const int width = 7, height = 3;
  Bytes values(width * height, 0);
  for (int y = 0; y < height; ++y) values[y * width + 6] = 255;
  const Bytes out = Blur(width, height, values, {6.414, 4.304, -1, 2, 1});
  EXPECT_EQ(out[1], 137);
}

// The work happens inside the toward-zero bracket whatever the host's mode,
// and the host finds its mode again afterwards.
TEST(RadialBlurMask, HostRoundingModeDoesNotChangeResultsAndIsRestored) {
  const FpStateGuard guard;
  for (std::uint32_t mode : {kFpRoundNearest, kFpRoundDown, kFpRoundUp, kFpRoundTowardZero}) {
    SetHostRounding(mode);
    const FpState before = ReadFpState();
    for (const RowCase& c : kRowCases) {
      StridedPlane src(static_cast<int>(c.row.size()), 1, 1),
          dst(static_cast<int>(c.row.size()), 1, 1);
      src.SetElements(c.row);
      Call(dst, src, c.r);
      EXPECT_EQ(ReadFpState(), before) << c.name;
      EXPECT_EQ(dst.Elements(), c.expected) << c.name << " host mode " << mode;
    }
  }
}

TEST(RadialBlurMask, WholeNumberCentreIsCopiedWhateverScalesAndGain) {
  Rng rng(82);
  const double scales[] = {0, -0.0, 1e-300, 4.9e-324, kInf, -3, 0.25, 1, 2, 1e300};
  for (double sx : scales)
    for (double sy : scales) {
      const int width = 7, height = 5;
      Bytes values(width * height);
      for (auto& v : values) v = rng.Byte();
      const Radial r{3, 2, sx, sy, rng.Real(-4, 4)};
      const Bytes out = Blur(width, height, values, r);
      EXPECT_EQ(out[2 * width + 3], values[2 * width + 3]) << sx << " " << sy;
    }
}

TEST(RadialBlurMask, EmptyRegionsTouchNothing) {
  for (auto [width, height] : {std::pair{3, 0}, {3, -1}, {0, 3}, {-7, 3}, {INT32_MIN, 1}}) {
    TestPlane dst(8, 3), src(8, 3);
    Rng rng(83);
    dst.FillRandom(rng);
    src.FillRandom(rng);
    const auto before = dst.Snapshot();
    EXPECT_EQ(RadialBlurMask(dst.first(), dst.stride(), 1, src.first(), src.stride(), 1, width,
                             height, 1, 1, 2, 2, 1),
              1);
    EXPECT_EQ(dst.Snapshot(), before);
  }
}

// Specials whose displacements are 0, NaN, or too long for a 32-bit sample
// count (finite displacements of millions of units would cost as many
// samples, which is the host's choice of parameters, not a hostile value).
double HostileValue(Rng& rng, double lo, double hi) {
  const double specials[] = {0, -0.0, kNaN, kInf, -kInf, 1e300, -1e300, 4.9e-324, 1e-300};
  return rng.Int(0, 2) == 0 ? specials[rng.Int(0, 8)] : rng.Real(lo, hi);
}

// Hostile centres, scales and gains on exact-size fenced planes: nothing is
// read or written outside the elements, every call ends, and a centre that is
// not a number leaves a copy.
TEST(RadialBlurMask, HostileArgumentsStayInsideThePlanes) {
  Rng rng(84);
  for (int i = 0; i < 400; ++i) {
    const int width = rng.Int(1, 13), height = rng.Int(1, 13);
    const int srcStep = rng.Int(1, 4) * (rng.Int(0, 3) == 0 ? -1 : 1);
    const int dstStep = rng.Int(1, 4) * (rng.Int(0, 3) == 0 ? -1 : 1);
    StridedPlane src(width, height, srcStep, rng.Int(0, 2), rng.Bool());
    StridedPlane dst(width, height, dstStep, rng.Int(0, 2), rng.Bool());
    src.plane.FillRandom(rng);
    dst.plane.FillRandom(rng);
    const Radial r{HostileValue(rng, -3.0 * width, 4.0 * width),
                   HostileValue(rng, -3.0 * height, 4.0 * height), HostileValue(rng, -2, 4),
                   HostileValue(rng, -2, 4), HostileValue(rng, -300, 300)};
    const auto srcBefore = src.plane.Snapshot();
    const Bytes dstElements = dst.Elements();
    const auto dstBefore = dst.plane.Snapshot();
    ASSERT_EQ(Call(dst, src, r), 1);
    const Bytes got = dst.Elements();
    if (std::isnan(r.cx) || std::isnan(r.cy)) {
      EXPECT_EQ(got, src.Elements());
    }
    dst.SetElements(dstElements);
    ASSERT_EQ(dst.plane.Snapshot(), dstBefore) << i;
    ASSERT_EQ(src.plane.Snapshot(), srcBefore) << i;
  }
}

// Limits of the sample split: positions before the plane are limited to its
// first element; beyond the last one the fraction runs on, up to `reach`.
TEST(RadialBlurMask, SplitPosition) {
  struct Case {
    double p;
    int size;
    int index;
    double fraction;
  };
  const Case cases[] = {{-0.5, 5, 0, 0},  {-1e300, 5, 0, 0},  {kNaN, 5, 0, 0},
                        {0, 5, 0, 0},     {2.25, 5, 2, 0.25}, {4, 5, 4, 0},
                        {4.5, 5, 4, 0.5}, {9, 5, 4, 5},       {100, 5, 4, 20},
                        {kInf, 5, 4, 20}, {0.75, 1, 0, 0.75}, {3e9, 2147483647, 2147483646, 20}};
  for (const Case& c : cases) {
    const filters::AxisPosition got = filters::SplitPosition(c.p, c.size, 20);
    EXPECT_EQ(got.index, c.index) << c.p;
    EXPECT_EQ(got.fraction, c.fraction) << c.p;
  }
}

// Every row kernel of the table against the scalar one, inside the bracket
// the kernels run in: random centres inside and outside the plane, scales
// below 1 (segments leaving the plane on every side), negative (mirrored)
// and above 1, gains of both signs, element steps 1 and 4 (and others),
// widths around the lane counts and rows long enough for 64-byte windows,
// short planes whose lanes straddle rows.
TEST(RadialBlurMask, RowKernelsMatchScalar) {
  Rng rng(85);
  const int steps[] = {1, 4, 1, 4, -1, 3, 9, -4};
  for (int call = 0; call < 500; ++call) {
    const int step = steps[rng.Int(0, 7)];
    const int width = rng.Bool() ? rng.Int(1, 41) : rng.Int(60, 200) / std::abs(step) + 1;
    const int height = rng.Int(1, 12);
    StridedPlane src(width, height, step, rng.Int(0, 3), rng.Bool());
    src.plane.FillRandom(rng);
    const auto scale = [&] {
      switch (rng.Int(0, 4)) {
        case 0: return rng.Real(-3.0, -0.2);
        case 1: return rng.Real(0.25, 1.0);
        case 2: return rng.Real(1.0, 4.0);
        case 3: return rng.Real(0.95, 1.05);
        default: return 1.0;
      }
    };
    const double cx = rng.Int(0, 3) == 0 ? rng.Int(0, width - 1) : rng.Real(-width, 2.0 * width);
    const double cy = rng.Int(0, 3) == 0 ? rng.Int(0, height - 1) : rng.Real(-height, 2.0 * height);
    const double sx = scale(), sy = rng.Int(0, 3) == 0 ? sx : scale();
    const filters::RadialParams params{cx, cy, 1.0 / sx, rng.Real(-2.0, 3.0)};
    const filters::BytePlane plane{src.first(), src.plane.stride(), step, width, height};
    for (int y = 0; y < height; ++y) {
      const double dy = filters::RadialDisplacement(y, cy, 1.0 / sy);
      Bytes want(width), got(width);
      {
        const RoundTowardZeroBracket bracket;
        filters::kRadialKernelsScalar.row(want.data(), 1, plane, y, dy, params);
      }
      for (const CpuPath& path : CpuPathsOf(filters::kRadialKernelTable)) {
        if (path.level == InstructionSet::kScalar) continue;
        {
          const RoundTowardZeroBracket bracket;
          filters::kRadialKernelTable.At(path.level)->row(got.data(), 1, plane, y, dy, params);
        }
        ASSERT_EQ(got, want) << path.label << " call " << call << " " << width << "x" << height
                             << " step " << step << " row " << y << " centre " << cx << ","
                             << cy << " scales " << sx << "," << sy;
      }
    }
  }
}

}  // namespace
}  // namespace morvex::test
