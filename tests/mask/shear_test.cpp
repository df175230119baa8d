#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "frame/simd/sse2.h"
#include "mask/shear.h"
#include "mask_test_util.h"
#include "morvex/native.h"

namespace morvex {
namespace {

using test::CpuPaths;
using test::PinnedCpuPath;
using test::PixelAt;
using test::Rng;
using test::TestPlane;

// An ARGB plane with its size.
struct Image {
  Image(int width, int height, int padding = 0, bool bottomUp = false)
      : width(width), height(height),
        plane(4 * (width > 0 ? width : 0), height > 0 ? height : 0, padding, bottomUp) {}
  std::uint32_t At(int x, int y) const { return PixelAt(plane, x, y); }
  void Set(int x, int y, std::uint32_t v) { plane.Set<std::uint32_t>(4 * x, y, v); }
  std::vector<std::uint32_t> Pixels() const {
    std::vector<std::uint32_t> out;
    for (int y = 0; y < plane.rows(); ++y)
      for (int x = 0; x < plane.rowBytes() / 4; ++x) out.push_back(At(x, y));
    return out;
  }
  int width, height;
  TestPlane plane;
};

uint8_t DoShear(const Image& src, Image& dst, std::uint32_t direction, double factor) {
  return Shear(src.plane.first(), src.plane.stride(), src.width, src.height, dst.plane.first(),
               dst.plane.stride(), dst.width, dst.height, direction, factor);
}

// ---- An independent model of one line, step by step as the operation is
// described: copies before the shifted line, the interpolated run, repeats
// of the last pixel; only positions below `length` are kept.

std::uint32_t ModelLerp(std::uint32_t p, std::uint32_t q, int wp, int wq) {
  std::uint32_t out = 0;
  for (int k = 0; k < 32; k += 8) {
    const int v = (static_cast<int>((p >> k) & 255) * wp + static_cast<int>((q >> k) & 255) * wq + 2048) / 4096;
    out |= static_cast<std::uint32_t>(v) << k;
  }
  return out;
}

std::vector<std::uint32_t> ModelLine(const std::vector<std::uint32_t>& S, int length, int i,
                                     double factor) {
  const long long L = static_cast<long long>(S.size());
  const double s = std::fabs(i * factor);
  const double nd = std::floor(s);
  const auto n = static_cast<long long>(nd);
  const auto m = static_cast<long long>(std::ceil(L + s));
  const int fr = static_cast<int>((s - nd) * 4096), frc = 4096 - fr;
  auto at = [&](long long t) { return S[static_cast<std::size_t>(t < L - 1 ? t : L - 1)]; };
  std::vector<std::uint32_t> D(static_cast<std::size_t>(length), 0xDEADBEEFu);
  auto put = [&](long long j, std::uint32_t v) {
    if (j < length) D[static_cast<std::size_t>(j)] = v;
  };
  if (factor >= 0) {
    for (long long j = 0; j < n; ++j) put(j, S[0]);
    put(n, S[0]);
    for (long long j = n + 1; j < m; ++j) put(j, ModelLerp(at(j - n - 1), at(j - n), fr, frc));
    for (long long j = m; j < length; ++j) put(j, S[static_cast<std::size_t>(L - 1)]);
  } else {
    for (long long j = 0; j < length; ++j) put(j, ModelLerp(at(n + j), at(n + j + 1), frc, fr));
  }
  return D;
}

bool Horizontal(std::uint32_t direction) { return direction == 1 || direction == 2; }
bool Forward(std::uint32_t direction) { return direction == 2 || direction == 3; }

// Line `line`, position p of an image in the direction's order.
int MemoryX(const Image& img, std::uint32_t dir, int line, int p) {
  return Horizontal(dir) ? (Forward(dir) ? p : img.width - 1 - p) : line;
}
int MemoryY(const Image& img, std::uint32_t dir, int line, int p) {
  return Horizontal(dir) ? line : (Forward(dir) ? p : img.height - 1 - p);
}

// The expected destination: every line modelled from its source line, for
// the vertical directions limited to the source's last column (a
// horizontal shear reads its rows whatever srcHeight says).
std::vector<std::uint32_t> ModelShear(const Image& src, const Image& dst, std::uint32_t dir,
                                      double factor) {
  std::vector<std::uint32_t> out = dst.Pixels();
  const int lines = Horizontal(dir) ? dst.height : dst.width;
  const int srcLines = Horizontal(dir) ? src.height : src.width;
  const int srcLength = Horizontal(dir) ? src.width : src.height;
  const int length = Horizontal(dir) ? dst.width : dst.height;
  for (int i = 0; i < lines; ++i) {
    const int from = Horizontal(dir) || i < srcLines ? i : srcLines - 1;
    std::vector<std::uint32_t> S;
    for (int p = 0; p < srcLength; ++p)
      S.push_back(src.At(MemoryX(src, dir, from, p), MemoryY(src, dir, from, p)));
    const auto D = ModelLine(S, length, i, factor);
    for (int j = 0; j < length; ++j)
      out[static_cast<std::size_t>(MemoryY(dst, dir, i, j)) * dst.width + MemoryX(dst, dir, i, j)] = D[j];
  }
  return out;
}

// The destination length that holds every sheared line.
int ShearedLength(int length, int lines, double factor) {
  return static_cast<int>(std::ceil(length + std::fabs(factor) * (lines - 1)));
}

TEST(Shear, WorkedRowsOfDirectionTwo) {
  // Bytes of pixel x in row y: all four equal to base[x].
  auto gray = [](int v) { return 0x01010101u * static_cast<std::uint32_t>(v); };
  const std::vector<int> base = {10, 11, 0, 255, 40, 41, 200, 90};
  const int w = static_cast<int>(base.size());
  struct Case {
    double factor;
    int row;
    std::vector<int> expected;  // destination row, first w + 2 positions
  };
  const Case cases[] = {
      {0.0, 1, {10, 11, 0, 255, 40, 41, 200, 90, 90, 90}},
      // n = 0, fr = 2048: half-up means of neighbours; 10 and 11 give 11.
      {0.5, 1, {10, 11, 6, 128, 148, 41, 121, 145, 90, 90}},
      // fr = 1228: S[j-1] weighs 1228, S[j] 2868.
      {0.3, 1, {10, 11, 3, 179, 104, 41, 152, 123, 90, 90}},
      // fr = 0 and n = 3: source columns 3.. with the last repeated.
      {-1.0, 3, {255, 40, 41, 200, 90, 90, 90, 90, 90, 90}},
  };
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (const Case& c : cases) {
      Image src(w, 4, 3), dst(w + 2 + 3, 4, 0, true);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < w; ++x) src.Set(x, y, gray(base[x]));
      ASSERT_EQ(DoShear(src, dst, 2, c.factor), 1);
      for (int x = 0; x < w + 2; ++x)
        EXPECT_EQ(dst.At(x, c.row), gray(c.expected[x]))
            << "factor " << c.factor << " x " << x << " " << path.label;
      EXPECT_EQ(dst.Pixels(), ModelShear(src, dst, 2, c.factor)) << c.factor;
    }
  }
}

TEST(Shear, FactorZeroCopiesInBothHorizontalDirections) {
  Rng rng(41);
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (std::uint32_t dir : {1u, 2u}) {
      Image src(19, 6, 8, true), dst(19, 6, 4);
      src.plane.FillRandom(rng);
      ASSERT_EQ(DoShear(src, dst, dir, 0.0), 1);
      EXPECT_EQ(dst.plane.RowBytes(), src.plane.RowBytes()) << dir << " " << path.label;
    }
  }
}

TEST(Shear, RowsFromTheRightMirrorRowsFromTheLeft) {
  // Direction 1 is direction 2 on both planes read right to left.
  Rng rng(42);
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    const int w = 23, h = 7;
    const double factor = 0.7;
    const int dw = ShearedLength(w, h, factor) + 2;
    Image src(w, h), mirrored(w, h), right(dw, h), left(dw, h);
    src.plane.FillRandom(rng);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) mirrored.Set(w - 1 - x, y, src.At(x, y));
    DoShear(src, right, 1, factor);
    DoShear(mirrored, left, 2, factor);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < dw; ++x) ASSERT_EQ(right.At(x, y), left.At(dw - 1 - x, y)) << path.label;
    // The right end holds the source's last memory column, the left end its first.
    EXPECT_EQ(right.At(dw - 1, h - 1), src.At(w - 1, h - 1));
    EXPECT_EQ(right.At(0, h - 1), src.At(0, h - 1));
  }
}

TEST(Shear, ColumnsFromTheLastRowAreColumnsFromTheFirstOnReversedPlanes) {
  Rng rng(43);
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (double factor : {0.0, 0.45, 1.5, -0.8}) {
      const int w = 21, h = 9;
      const int dh = ShearedLength(h, w, factor) + 1;
      Image src(w, h, 4), a(w, dh, 0, true), b(w, dh, 0, true);
      src.plane.FillRandom(rng);
      ASSERT_EQ(DoShear(src, a, 0, factor), 1);
      // Direction 3 on the same memory seen bottom-up: pointer at the last
      // row, stride negated.
      const Byte* srcLast = src.plane.Row(h - 1);
      Byte* bLast = b.plane.Row(dh - 1);
      ASSERT_EQ(Shear(srcLast, -src.plane.stride(), w, h, bLast, -b.plane.stride(), w, dh, 3, factor), 1);
      EXPECT_EQ(a.Pixels(), b.Pixels()) << factor << " " << path.label;
      EXPECT_EQ(a.Pixels(), ModelShear(src, a, 0, factor)) << factor << " " << path.label;
    }
  }
}

TEST(Shear, DirectionsBeyondThreeTouchNothing) {
  for (std::uint32_t dir : {4u, 5u, 0x80000000u, 0xFFFFFFFFu}) {
    Image src(5, 5), dst(5, 5);
    Rng rng(44);
    src.plane.FillRandom(rng);
    dst.plane.FillRandom(rng);
    const auto before = dst.plane.Snapshot();
    EXPECT_EQ(DoShear(src, dst, dir, 0.5), 1);
    EXPECT_EQ(dst.plane.Snapshot(), before);
  }
}

// Planes that respect every caller limit: the model, bit for bit, in all
// four directions, on every path.
TEST(Shear, MatchesTheLineModelWithinTheCallerLimits) {
  Rng rng(45);
  for (int call = 0; call < 160; ++call) {
    const std::uint32_t dir = static_cast<std::uint32_t>(call % 4);
    const double factor = rng.Int(0, 4) == 0 ? rng.Int(-3, 3) * 0.25 : rng.Real(-2.5, 2.5);
    const int lines = rng.Int(1, 12), length = rng.Int(1, 40);
    const int dstLength = ShearedLength(length, lines, factor) + rng.Int(0, 3);
    const bool h = Horizontal(dir);
    const auto ss = test::RandomShape(rng), ds = test::RandomShape(rng);
    Image src(h ? length : lines + rng.Int(0, 2), h ? lines + rng.Int(0, 2) : length, ss.padding, ss.bottomUp);
    src.plane.FillRandom(rng);
    for (const auto& path : CpuPaths()) {
      PinnedCpuPath pin(path);
      Image dst(h ? dstLength : lines, h ? lines : dstLength, ds.padding, ds.bottomUp);
      Rng fill(static_cast<std::uint64_t>(call));
      dst.plane.FillRandom(fill);
      const auto expected = ModelShear(src, dst, dir, factor);
      ASSERT_EQ(DoShear(src, dst, dir, factor), 1);
      ASSERT_EQ(dst.Pixels(), expected) << "call " << call << " dir " << dir << " factor "
                                        << factor << " " << path.label;
      ASSERT_TRUE(dst.plane.GuardsIntact());
    }
  }
}

TEST(Shear, WideVerticalShearsContinueAcrossRuns) {
  // More lines than the routine works out at once.
  Rng rng(53);
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (double factor : {0.003, -0.002}) {
      const int lines = 4100 + 37, length = 5;
      Image src(lines, length);
      src.plane.FillRandom(rng);
      Image dst(lines, ShearedLength(length, lines, factor), 4, true);
      ASSERT_EQ(DoShear(src, dst, 3, factor), 1);
      ASSERT_EQ(dst.Pixels(), ModelShear(src, dst, 3, factor)) << factor << " " << path.label;
    }
  }
}

// ---- The limits a caller can break, each handled soundly.

TEST(Shear, AShortDestinationShowsTheStartOfEachLine) {
  Rng rng(46);
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (std::uint32_t dir : {0u, 1u, 2u, 3u}) {
      const int lines = 9, length = 15;
      const double factor = 1.75;
      const int full = ShearedLength(length, lines, factor), shortLength = 11;
      const bool h = Horizontal(dir);
      Image src(h ? length : lines, h ? lines : length);
      src.plane.FillRandom(rng);
      Image wide(h ? full : lines, h ? lines : full), narrow(h ? shortLength : lines, h ? lines : shortLength);
      DoShear(src, wide, dir, factor);
      DoShear(src, narrow, dir, factor);  // exact-size fenced plane: no write beyond it
      ASSERT_TRUE(narrow.plane.GuardsIntact());
      for (int i = 0; i < lines; ++i)
        for (int p = 0; p < shortLength; ++p)
          ASSERT_EQ(narrow.At(MemoryX(narrow, dir, i, p), MemoryY(narrow, dir, i, p)),
                    wide.At(MemoryX(wide, dir, i, p), MemoryY(wide, dir, i, p)))
              << "dir " << dir << " line " << i << " position " << p << " " << path.label;
    }
  }
}

TEST(Shear, ColumnsPastTheSourceRepeatItsLastColumn) {
  Rng rng(47);
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (std::uint32_t dir : {0u, 3u}) {
      const bool h = Horizontal(dir);
      const int lines = 10, srcLines = 4, length = 12;
      const double factor = 0.35;
      const int dstLength = ShearedLength(length, lines, factor);
      Image src(h ? length : srcLines, h ? srcLines : length);
      src.plane.FillRandom(rng);
      Image dst(h ? dstLength : lines, h ? lines : dstLength);
      ASSERT_EQ(DoShear(src, dst, dir, factor), 1);
      // The model repeats the last source line, shifted by the line's own index.
      EXPECT_EQ(dst.Pixels(), ModelShear(src, dst, dir, factor)) << dir << " " << path.label;
    }
  }
}

// Directions 1 and 2 read source rows 0 .. dstHeight - 1 and never srcHeight:
// an empty, a one-row or a short srcHeight gives the same image as the true
// one.
TEST(Shear, HorizontalShearsIgnoreSrcHeight) {
  Rng rng(55);
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (std::uint32_t dir : {1u, 2u}) {
      const int w = 13, h = 6;
      const double factor = dir == 1 ? 0.6 : -0.45;
      Image src(w, h, 4);
      src.plane.FillRandom(rng);
      Image expected(ShearedLength(w, h, factor), h);
      ASSERT_EQ(DoShear(src, expected, dir, factor), 1);
      ASSERT_EQ(expected.Pixels(), ModelShear(src, expected, dir, factor)) << path.label;
      for (int srcHeight : {0, 1, -7, h - 2, 1 << 30}) {
        Image dst(expected.width, h);
        ASSERT_EQ(Shear(src.plane.first(), src.plane.stride(), w, srcHeight, dst.plane.first(),
                        dst.plane.stride(), dst.width, dst.height, dir, factor),
                  1);
        EXPECT_EQ(dst.Pixels(), expected.Pixels())
            << "direction " << dir << " srcHeight " << srcHeight << " " << path.label;
      }
    }
  }
}

TEST(Shear, EmptySourceOrDestinationWritesNothing) {
  struct Case {
    int srcWidth, srcHeight, dstWidth, dstHeight;
    std::uint32_t dir;
  };
  const Case cases[] = {{0, 4, 6, 4, 2}, {-1, 4, 6, 4, 1}, {-3, 4, 6, 4, 3}, {4, -1, 6, 4, 0},
                        {4, 0, 6, 4, 3}, {4, 4, 0, 4, 2},  {4, 4, 6, 0, 1},  {4, 4, 0, 4, 3},
                        {4, 4, 6, -2, 0}};
  for (const Case& c : cases) {
    Image src(c.srcWidth, c.srcHeight), dst(6, 4);
    Rng rng(48);
    src.plane.FillRandom(rng);
    dst.plane.FillRandom(rng);
    const auto before = dst.plane.Snapshot();
    EXPECT_EQ(Shear(src.plane.first(), src.plane.stride(), c.srcWidth, c.srcHeight,
                    dst.plane.first(), dst.plane.stride(), c.dstWidth, c.dstHeight, c.dir, 0.5),
              1);
    EXPECT_EQ(dst.plane.Snapshot(), before) << c.srcWidth << "x" << c.srcHeight;
  }
}

TEST(Shear, NonFiniteAndHugeFactors) {
  const double inf = std::numeric_limits<double>::infinity();
  Rng rng(49);
  Image src(9, 5);
  src.plane.FillRandom(rng);
  for (const auto& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    Image zero(12, 5), nan(12, 5);
    DoShear(src, zero, 2, 0.0);
    DoShear(src, nan, 2, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(nan.Pixels(), zero.Pixels()) << "a NaN shift counts as no shift";
    struct Case {
      double factor;
      bool firstPixel;  // lines 1.. show only the source line's first pixel (else its last)
    };
    for (const Case c : {Case{1e300, true}, Case{inf, true}, Case{-1e300, false}, Case{-inf, false},
                         Case{3e9, true}}) {
      Image dst(12, 5);
      ASSERT_EQ(DoShear(src, dst, 2, c.factor), 1);
      for (int y = 1; y < 5; ++y)
        for (int x = 0; x < 12; ++x)
          ASSERT_EQ(dst.At(x, y), src.At(c.firstPixel ? 0 : 8, y)) << c.factor << " " << path.label;
    }
  }
}

// Random sizes that break the caller limits, with hostile factors, on
// fenced planes inside a ring: source pixels ringed by 0xFFFFFFFF while its
// own bytes stay below 101 (a weighted read of the ring shows as a byte above
// 100), and a destination ringed by pixels that must keep their bits. Every
// destination pixel is written (or none, when the source is empty), and every
// path gives the same bits.
TEST(Shear, NothingOutsideThePlanesIsReadOrWritten) {
  Rng rng(54);
  const double specials[] = {0.0, -0.0, 1e-300, 1e300, -1e300, 4e9, -4e9,
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
  auto inRing = [](int x, int y, int w, int h) { return x == 0 || y == 0 || x > w || y > h; };
  for (int call = 0; call < 1500; ++call) {
    const std::uint32_t dir = static_cast<std::uint32_t>(rng.Int(0, 4));
    const double factor = rng.Int(0, 5) == 0 ? specials[rng.Int(0, 9)] : rng.Real(-5, 5);
    const int sw = rng.Int(0, 25), sh = rng.Int(0, 12), dw = rng.Int(0, 30), dh = rng.Int(0, 30);
    const auto ss = test::RandomShape(rng), ds = test::RandomShape(rng);
    // A horizontal shear reads dstHeight source rows, whatever srcHeight says.
    const bool horizontal = dir == 1 || dir == 2;
    const int rows = horizontal ? dh : sh;
    Image src(sw + 2, rows + 2, ss.padding, ss.bottomUp);
    for (int y = 0; y < rows + 2; ++y)
      for (int x = 0; x < sw + 2; ++x)
        src.Set(x, y, inRing(x, y, sw, rows) ? 0xFFFFFFFFu : rng.U32() % 101u * 0x01010101u);
    const auto srcBefore = src.plane.Snapshot();
    const bool writes = dir < 4 && sw > 0 && (horizontal || sh > 0);
    std::vector<std::vector<std::uint8_t>> results;
    for (const auto& path : CpuPaths()) {
      PinnedCpuPath pin(path);
      Image dst(dw + 2, dh + 2, ds.padding, ds.bottomUp);
      Rng fill(static_cast<std::uint64_t>(call));
      dst.plane.FillRandom(fill);
      const auto before = dst.Pixels();
      ASSERT_EQ(Shear(src.plane.Row(1) + 4, src.plane.stride(), sw, sh, dst.plane.Row(1) + 4,
                      dst.plane.stride(), dw, dh, dir, factor),
                1);
      ASSERT_TRUE(dst.plane.GuardsIntact()) << "call " << call;
      for (int y = 0; y < dh + 2; ++y)
        for (int x = 0; x < dw + 2; ++x) {
          const std::uint32_t v = dst.At(x, y);
          if (inRing(x, y, dw, dh) || !writes) {
            ASSERT_EQ(v, before[y * (dw + 2) + x]) << "write outside, call " << call;
          } else {
            for (int k = 0; k < 32; k += 8)
              ASSERT_LE((v >> k) & 255u, 100u) << "read outside the source, call " << call;
          }
        }
      results.push_back(dst.plane.Snapshot());
    }
    ASSERT_EQ(src.plane.Snapshot(), srcBefore);
    for (std::size_t i = 1; i < results.size(); ++i)
      ASSERT_EQ(results[i], results[0]) << "call " << call << " dir " << dir << " factor " << factor;
  }
}

// ---- Kernels: every entry of the kernel table against the scalar one.

using ShearKernelPaths = std::vector<test::CpuPath>;
ShearKernelPaths VectorShearPaths() {
  ShearKernelPaths paths;
  for (const auto& path : test::CpuPathsOf(mask::kShearKernelTable))
    if (path.level != InstructionSet::kScalar) paths.push_back(path);
  return paths;
}
const mask::ShearKernels& KernelsOf(const test::CpuPath& path) {
  return *mask::kShearKernelTable.At(path.level);
}

TEST(ShearKernels, TheLayersRoundingHighProductOnSse2) {
  // The SSE2 emulation of the rounding high product, against its definition:
  // every first factor with factors at the edges, and random pairs.
  using I = simd::sse2::Isa;
  Rng rng(50);
  std::vector<std::int16_t> b = {0, 1, -1, 2, 4095, 4096, 16384, -16384, 32767, -32768, 12345};
  for (int i = 0; i < 200; ++i) b.push_back(static_cast<std::int16_t>(rng.U32()));
  for (const std::int16_t w : b) {
    for (int a0 = -32768; a0 < 32768; a0 += 8) {
      alignas(16) std::int16_t a[8], out[8];
      for (int k = 0; k < 8; ++k) a[k] = static_cast<std::int16_t>(a0 + k);
      I::Store(out, I::MulhrsS16(I::Load(a), I::Set16(w)));
      for (int k = 0; k < 8; ++k) {
        const std::int32_t product = std::int32_t{a[k]} * w + 0x4000;
        ASSERT_EQ(out[k], static_cast<std::int16_t>(product >> 15)) << a[k] << " * " << w;
      }
    }
  }
}

TEST(ShearKernels, LerpPixelTakesEveryBytePairExactly) {
  // All 65536 byte pairs through each kernel, at the weights where rounding
  // and range matter.
  std::vector<std::uint32_t> p(65536), q(65536);
  for (int i = 0; i < 65536; ++i) {
    p[i] = 0x01010101u * static_cast<std::uint32_t>(i & 255) ^ 0x00FF0000u;
    q[i] = 0x01010101u * static_cast<std::uint32_t>(i >> 8) ^ 0xFF000000u;
  }
  for (const auto& path : test::CpuPathsOf(mask::kShearKernelTable)) {
    for (int wp : {0, 1, 7, 1228, 2047, 2048, 2049, 2868, 4095, 4096}) {
      std::vector<std::uint32_t> out(65536);
      KernelsOf(path).lerpRow(reinterpret_cast<Byte*>(out.data()),
                              reinterpret_cast<const Byte*>(p.data()),
                              reinterpret_cast<const Byte*>(q.data()), 65536, wp, 4096 - wp);
      for (int i = 0; i < 65536; ++i)
        ASSERT_EQ(out[i], ModelLerp(p[i], q[i], wp, 4096 - wp)) << path.label << " wp " << wp;
    }
  }
}

// Every width up to past two vectors, destinations at every byte offset of
// a vector (aligned, pixel-aligned and not), neighbours after or before.
TEST(ShearKernels, RowKernelsMatchTheScalarRowAtEveryWidth) {
  Rng rng(51);
  for (int width = 0; width <= 67; ++width) {
    for (int offset : {0, 1, 4, 12, 36, 60}) {
      std::vector<Byte> src(4 * width + 9);
      rng.Fill(src.data(), src.size());
      const int wp = rng.Int(0, 4096);
      // b is the neighbour one position along the line: 4 bytes after a, or before.
      const Byte* a = src.data() + 4 + 1;
      const Byte* b = rng.Bool() ? a - 4 : a + 4;
      alignas(64) Byte expected[4 * 67 + 64], got[4 * 67 + 64];
      mask::kShearKernelsScalar.lerpRow(expected + offset, a, b, width, wp, 4096 - wp);
      for (const auto& path : VectorShearPaths()) {
        std::memset(got, 0, sizeof got);
        KernelsOf(path).lerpRow(got + offset, a, b, width, wp, 4096 - wp);
        ASSERT_TRUE(std::equal(got + offset, got + offset + 4 * width, expected + offset))
            << path.label << " width " << width << " offset " << offset;
        ASSERT_TRUE(std::all_of(got + offset + 4 * width, got + sizeof got,
                                [](Byte v) { return v == 0; }))
            << path.label << " wrote past the row";
      }
    }
  }
}

// The vertical run kernels walk whole planes (row by row, or in groups,
// strips and bands of rows); every destination row must equal the scalar
// row. Runs of every short length and of up to 1024 lines (the most one is
// given), sources wider and narrower than the run, strides that are
// multiples of 64 (groups shifted onto cache lines), heights past the band
// and prefetch distances, shifts as factors give them and scattered ones.
TEST(ShearKernels, ColumnRunsMatchTheScalarRows) {
  Rng rng(52);
  for (int trial = 0; trial < 200; ++trial) {
    const int count = trial < 68 ? trial + 1 : trial < 72 ? 1024 - (trial - 68) : rng.Int(1, trial % 3 == 0 ? 1024 : 80);
    const int firstLine = rng.Int(0, 40);
    const int srcWidth = trial % 4 == 1 ? rng.Int(1, firstLine + count + 1)
                                        : firstLine + count + rng.Int(0, 20);
    const int srcHeight = rng.Int(1, trial % 2 ? 120 : 30), dstHeight = rng.Int(1, trial % 5 ? 40 : 100);
    int padding = rng.Int(0, 19);
    if (trial % 3 == 2) padding = (64 - (4 * srcWidth) % 64) % 64 + 64 * rng.Int(0, 1);
    TestPlane src(4 * srcWidth, srcHeight, padding, rng.Int(0, 3) == 0);
    src.FillRandom(rng);
    const auto srcView = mask::MakePlaneView<const Byte>(src.first(), src.stride(), srcWidth,
                                                          srcHeight, true, rng.Bool());
    const int dstWidth = firstLine + count + rng.Int(0, 5);
    const double factor = rng.Real(-2.5, 2.5);
    const bool scattered = trial % 5 == 4;
    std::vector<std::int32_t> start(count), wp(count);
    for (int k = 0; k < count; ++k) {
      const mask::ShearLine line = mask::ShearLineOf(firstLine + k, factor);
      start[k] = scattered ? rng.Int(-dstHeight - 1, srcHeight - 1)
                           : static_cast<std::int32_t>(std::max<std::int64_t>(
                                 std::min<std::int64_t>(line.start, srcHeight - 1), -dstHeight - 1));
      wp[k] = scattered ? rng.Int(0, 4096) : line.wp;
    }
    const mask::ShearColumns columns{start.data(), wp.data()};
    const auto dstShape = test::RandomShape(rng);
    const bool dstRowsForward = rng.Bool();
    const std::uint64_t fill = rng.U32();
    auto run = [&](const mask::ShearKernels& kernels) {
      TestPlane dst(4 * dstWidth, dstHeight, dstShape.padding, dstShape.bottomUp);
      Rng bytes(fill);
      dst.FillRandom(bytes);
      const auto dstView = mask::MakePlaneView<Byte>(dst.first(), dst.stride(), dstWidth,
                                                     dstHeight, true, dstRowsForward);
      kernels.columnRun(dstView, srcView, firstLine, columns, count);
      EXPECT_TRUE(dst.GuardsIntact());
      return dst.Snapshot();  // pixels outside the run included
    };
    const std::vector<std::uint8_t> expected = run(mask::kShearKernelsScalar);
    for (const auto& path : VectorShearPaths())
      ASSERT_EQ(run(KernelsOf(path)), expected)
          << path.label << " trial " << trial << " count " << count;
  }
}

}  // namespace
}  // namespace morvex
