// The filter exports against their reference versions (oracle_filters.h) on
// seeded random calls: odd and empty sizes, padded and bottom-up planes,
// strided byte planes, extreme parameters, every host rounding mode and every
// processor path. Whole buffers are compared, guard bytes included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "filters/oracle_filters.h"
#include "morvex/native.h"
#include "support/cpu_paths.h"
#include "support/fp_state.h"
#include "support/test_plane.h"

namespace morvex::test {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const std::uint32_t kHostModes[] = {kFpRoundNearest, kFpRoundDown, kFpRoundUp,
                                    kFpRoundTowardZero};

// Two planes of one shape with the same bytes: one for the export, one for
// the reference.
struct Twin {
  TestPlane got, want;
  Twin(int rowBytes, int rows, Rng& rng)
      : got(rowBytes, rows, 0, false), want(rowBytes, rows, 0, false) {
    Init(rng);
  }
  Twin(int rowBytes, int rows, const PlaneShape& shape, Rng& rng)
      : got(rowBytes, rows, shape.padding, shape.bottomUp),
        want(rowBytes, rows, shape.padding, shape.bottomUp) {
    Init(rng);
  }
  void Init(Rng& rng) {
    got.FillRandom(rng);
    for (int y = 0; y < got.rows(); ++y)
      std::copy(got.Row(y), got.Row(y) + got.rowBytes(), want.Row(y));
  }
  bool Same() const { return got.Snapshot() == want.Snapshot() && got.GuardsIntact(); }
};

// Random bytes, sometimes squeezed into a narrow band (so thresholds and
// truncations split nearby values) or into 0 and 255 (the extreme sums).
void Shape(TestPlane& p, Rng& rng) {
  const int kind = rng.Int(0, 3);
  for (int y = 0; y < p.rows(); ++y)
    for (int i = 0; i < p.rowBytes(); ++i) {
      std::uint8_t& b = p.Row(y)[i];
      if (kind == 1) b = static_cast<std::uint8_t>(100 + (b & 15));
      if (kind == 2) b = (b & 1) * 255;
    }
}

std::string Num(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string Describe(const CpuPath& path, std::uint32_t mode, int w, int h) {
  return std::string(" path ") + path.label + " mode " + std::to_string(mode) + " size " +
         std::to_string(w) + "x" + std::to_string(h);
}

TEST(FilterOracle, Blur3x3) {
  Rng rng(0xB1A3);
  for (const CpuPath& path : CpuPaths()) {
    const PinnedCpuPath pin(path);
    for (int call = 0; call < 300; ++call) {
      const int w = call < 71 ? call : rng.Int(-2, 70);
      const int h = rng.Int(0, 9) == 0 ? rng.Int(-3, 0) : rng.Int(1, 9);
      const int bytes = 4 * std::max(w, 0);
      TestPlane src(bytes, std::max(h, 0), RandomShape(rng).padding, rng.Bool());
      src.FillRandom(rng);
      Shape(src, rng);
      Twin dst(bytes, std::max(h, 0), RandomShape(rng), rng);
      const auto srcBefore = src.Snapshot();
      const std::uint32_t mode = kHostModes[call % 4];
      const FpStateGuard guard;
      SetHostRounding(mode);
      const FpState before = ReadFpState();
      const auto r = Blur3x3(dst.got.first(), dst.got.stride(), src.first(), src.stride(), w, h);
      EXPECT_EQ(ReadFpState(), before);
      const auto e = oracle::Blur3x3(dst.want.first(), dst.want.stride(), src.first(),
                                     src.stride(), w, h);
      ASSERT_EQ(r, e) << Describe(path, mode, w, h);
      ASSERT_TRUE(dst.Same()) << Describe(path, mode, w, h);
      ASSERT_EQ(src.Snapshot(), srcBefore);
    }
  }
}

// Thresholds that matter: exact k / 255 and their neighbours, the ends of
// the byte range, beyond it, and values without an integer.
double RandomThreshold(Rng& rng) {
  switch (rng.Int(0, 7)) {
    case 0: return rng.Real(-0.3, 1.3);
    case 1: return rng.Int(0, 255) / 255.0;
    case 2: return std::nextafter(rng.Int(0, 255) / 255.0, rng.Bool() ? 2.0 : -2.0);
    case 3: return (rng.Int(0, 255) + 0.5) / 255.0;
    case 4: return rng.Bool() ? 0.0 : 1.0;
    case 5: {
      const double v[] = {kNaN, kInf, -kInf, 1e10, -1e10, 8421504.5, -0.0, 256 / 255.0};
      return v[rng.Int(0, 7)];
    }
    default: return rng.Real(0, 1);
  }
}

TEST(FilterOracle, EdgeDetect) {
  Rng rng(0xED6E);
  for (const CpuPath& path : CpuPaths()) {
    const PinnedCpuPath pin(path);
    for (int call = 0; call < 400; ++call) {
      const int w = call < 71 ? call : rng.Int(-2, 70);
      const int h = rng.Int(0, 9) == 0 ? rng.Int(-3, 0) : rng.Int(1, 7);
      const int bytes = 4 * std::max(w, 0);
      TestPlane src(bytes, std::max(h, 0), RandomShape(rng).padding, rng.Bool());
      src.FillRandom(rng);
      Shape(src, rng);
      Twin dst(bytes, std::max(h, 0), RandomShape(rng), rng);
      const auto srcBefore = src.Snapshot();
      const std::uint32_t single = rng.Bool() ? rng.U32() : (rng.U32() & ~0xFFu);
      const double threshold = RandomThreshold(rng);
      const std::uint32_t mode = kHostModes[call % 4];
      const FpStateGuard guard;
      SetHostRounding(mode);
      const FpState before = ReadFpState();
      const auto r = EdgeDetect(dst.got.first(), dst.got.stride(), src.first(), src.stride(), w,
                                h, single, threshold);
      EXPECT_EQ(ReadFpState(), before);
      const auto e = oracle::EdgeDetect(dst.want.first(), dst.want.stride(), src.first(),
                                        src.stride(), w, h, single, threshold);
      const std::string what =
          Describe(path, mode, w, h) + " single " + std::to_string(single) + " threshold " + Num(threshold);
      ASSERT_EQ(r, e) << what;
      ASSERT_TRUE(dst.Same()) << what;
      ASSERT_EQ(src.Snapshot(), srcBefore);
    }
  }
}

// A strided byte plane: width x height elements `step` bytes apart in rows
// exactly as long as they must be (a negative step addresses a row from its
// end), padded or bottom-up.
struct BytePlane {
  TestPlane plane;
  int width, step;
  BytePlane(int w, int h, int s, const PlaneShape& shape)
      : plane(w > 0 ? (w - 1) * std::abs(s) + 1 : 0, std::max(h, 0), shape.padding,
              shape.bottomUp),
        width(w),
        step(s) {}
  std::uint8_t* first() const {
    return plane.first() + (step < 0 && width > 0 ? (width - 1) * -step : 0);
  }
};

struct Radial {
  double cx, cy, sx, sy, gain;
};

double RandomCentre(Rng& rng, int extent) {
  switch (rng.Int(0, 5)) {
    case 0: return rng.Int(0, std::max(extent - 1, 0));
    case 1: return rng.Int(0, std::max(extent - 1, 0)) + 0.5;
    case 2: return rng.Real(-extent - 5.0, 2.0 * extent + 5);
    case 3: return rng.Real(-3 * extent - 40.0, -extent - 1.0);
    case 4: return rng.Real(0, extent);
    default: {
      // Far centres displace every element beyond a 32-bit sample count.
      const double v[] = {kNaN, 1e300, -1e300, kInf, 0.0, -0.0};
      return v[rng.Int(0, 5)];
    }
  }
}

double RandomScale(Rng& rng) {
  switch (rng.Int(0, 8)) {
    case 0: return 1.0;
    case 1: return rng.Real(1.0, 1.5);
    case 2: return rng.Real(1.0, 6.0);
    case 3: return rng.Real(0.25, 1.0);
    case 4: return rng.Real(-3.0, -0.2);
    case 5: return std::nextafter(1.0, rng.Bool() ? 2.0 : 0.0);
    case 6: {
      const double v[] = {0.0, -0.0, kNaN, kInf, -kInf, 1e-20, 1e-300, 2.0};
      return v[rng.Int(0, 7)];
    }
    default: return rng.Real(0.5, 3.0);
  }
}

double RandomGain(Rng& rng) {
  switch (rng.Int(0, 5)) {
    case 0: return 1.0;
    case 1: return rng.Real(0.0, 3.0);
    case 2: return rng.Real(-2.0, 0.0);
    case 3: return rng.Real(0.9, 1.1);
    case 4: {
      const double v[] = {0.0, 1e300, -1e300, kNaN, kInf, 255.0};
      return v[rng.Int(0, 5)];
    }
    default: return rng.Real(0.5, 1.5);
  }
}

TEST(FilterOracle, RadialBlurMask) {
  Rng rng(0x4AD1);
  const int steps[] = {1, 1, 4, 2, -1, -3, 3};
  for (const CpuPath& path : CpuPaths()) {
    const PinnedCpuPath pin(path);
    for (int call = 0; call < 300; ++call) {
      const int w = call < 40 ? call : rng.Int(-1, 30);
      const int h = rng.Int(0, 9) == 0 ? rng.Int(-2, 0) : rng.Int(1, 14);
      const int srcStep = steps[rng.Int(0, 6)], dstStep = steps[rng.Int(0, 6)];
      BytePlane src(w, h, srcStep, RandomShape(rng));
      src.plane.FillRandom(rng);
      Shape(src.plane, rng);
      const PlaneShape dstShape = RandomShape(rng);
      BytePlane got(w, h, dstStep, dstShape), want(w, h, dstStep, dstShape);
      got.plane.FillRandom(rng);
      for (int y = 0; y < got.plane.rows(); ++y)
        std::copy(got.plane.Row(y), got.plane.Row(y) + got.plane.rowBytes(), want.plane.Row(y));
      Radial r{RandomCentre(rng, w), RandomCentre(rng, h), RandomScale(rng), RandomScale(rng),
               RandomGain(rng)};
      if (rng.Int(0, 3) == 0) r.sy = r.sx;
      const auto srcBefore = src.plane.Snapshot();
      const std::uint32_t mode = kHostModes[call % 4];
      const FpStateGuard guard;
      SetHostRounding(mode);
      const FpState before = ReadFpState();
      const auto result =
          RadialBlurMask(got.first(), got.plane.stride(), dstStep, src.first(),
                         src.plane.stride(), srcStep, w, h, r.cx, r.cy, r.sx, r.sy, r.gain);
      EXPECT_EQ(ReadFpState(), before);
      const auto expect = oracle::RadialBlurMask(want.first(), want.plane.stride(), dstStep,
                                                 src.first(), src.plane.stride(), srcStep, w, h,
                                                 r.cx, r.cy, r.sx, r.sy, r.gain);
      EXPECT_EQ(ReadFpState(), before);
      const std::string what = Describe(path, mode, w, h) + " steps " + std::to_string(srcStep) +
                               "/" + std::to_string(dstStep) + " centre " + Num(r.cx) + "," +
                               Num(r.cy) + " scale " + Num(r.sx) + "," + Num(r.sy) + " gain " +
                               Num(r.gain);
      ASSERT_EQ(result, expect) << what;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const auto at = [&](const BytePlane& p) {
            return static_cast<int>(p.first()[static_cast<std::ptrdiff_t>(y) * p.plane.stride() +
                                              x * p.step]);
          };
          ASSERT_EQ(at(got), at(want)) << what << " element " << x << "," << y;
        }
      ASSERT_EQ(got.plane.Snapshot(), want.plane.Snapshot()) << what;
      ASSERT_TRUE(got.plane.GuardsIntact()) << what;
      ASSERT_EQ(src.plane.Snapshot(), srcBefore);
    }
  }
}

// The worked numbers of the filters, through the exports and the references.
TEST(FilterOracle, WorkedExamples) {
  using Row = std::vector<std::uint8_t>;
  struct BlurCase {
    int w, h;
    Row in, out;  // one byte per pixel, replicated to all four channels
  };
  const BlurCase blurs[] = {
      {3, 3, {0, 0, 0, 0, 255, 0, 0, 0, 0}, {15, 31, 15, 31, 63, 31, 15, 31, 15}},
      {2, 1, {10, 20}, {12, 17}},
      {3, 1, {0, 255, 0}, {63, 127, 63}},
      {1, 1, {77}, {77}},
  };
  for (const BlurCase& c : blurs) {
    TestPlane src(4 * c.w, c.h), a(4 * c.w, c.h), b(4 * c.w, c.h);
    for (int i = 0; i < c.w * c.h; ++i)
      src.Set<std::uint32_t>(4 * (i % c.w), i / c.w, c.in[i] * 0x01010101u);
    Blur3x3(a.first(), a.stride(), src.first(), src.stride(), c.w, c.h);
    oracle::Blur3x3(b.first(), b.stride(), src.first(), src.stride(), c.w, c.h);
    for (int i = 0; i < c.w * c.h; ++i) {
      EXPECT_EQ(a.Get<std::uint32_t>(4 * (i % c.w), i / c.w), c.out[i] * 0x01010101u) << i;
      EXPECT_EQ(b.Get<std::uint32_t>(4 * (i % c.w), i / c.w), c.out[i] * 0x01010101u) << i;
    }
  }

  // Vertical step, threshold 0.5: gray 255 or flags of 127 in columns 2 and 3.
  struct EdgeCase {
    std::uint32_t single;
    std::uint32_t edge;
  };
  for (const EdgeCase& c : {EdgeCase{1, 0xFFFFFFFFu}, EdgeCase{0, 0xFF7F7F7Fu}}) {
    TestPlane src(24, 3), a(24, 3), b(24, 3);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 6; ++x) src.Set<std::uint32_t>(4 * x, y, x < 3 ? 0 : 0xFFFFFFFFu);
    EdgeDetect(a.first(), a.stride(), src.first(), src.stride(), 6, 3, c.single, 0.5);
    oracle::EdgeDetect(b.first(), b.stride(), src.first(), src.stride(), 6, 3, c.single, 0.5);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 6; ++x) {
        const std::uint32_t want = x == 2 || x == 3 ? c.edge : 0xFF000000u;
        EXPECT_EQ(a.Get<std::uint32_t>(4 * x, y), want) << x << "," << y;
        EXPECT_EQ(b.Get<std::uint32_t>(4 * x, y), want) << x << "," << y;
      }
  }

  // Radial rows: centre (0, 0), scales (2, 1).
  struct RadialCase {
    Row in;
    double gain;
    Row out;
  };
  const RadialCase radials[] = {
      {{0, 40, 80, 120, 160}, 1, {0, 40, 80, 105, 140}},
      {{0, 0, 0, 0, 255}, 1, {0, 0, 0, 0, 127}},
      {{0, 0, 0, 0, 255}, 3, {0, 0, 0, 0, 255}},
  };
  for (const RadialCase& c : radials)
    for (const std::uint32_t mode : kHostModes) {
      const FpStateGuard guard;
      SetHostRounding(mode);
      Row a(5), b(5);
      RadialBlurMask(a.data(), 5, 1, c.in.data(), 5, 1, 5, 1, 0, 0, 2, 1, c.gain);
      oracle::RadialBlurMask(b.data(), 5, 1, c.in.data(), 5, 1, 5, 1, 0, 0, 2, 1, c.gain);
      EXPECT_EQ(a, c.out) << mode;
      EXPECT_EQ(b, c.out) << mode;
    }
}

}  // namespace
}  // namespace morvex::test
