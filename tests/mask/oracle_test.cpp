// The mask and geometry exports against their reference versions
// (oracle_mask.h) on seeded random calls: odd and empty sizes, padded and
// bottom-up planes, in-place use where allowed, extreme parameters, through
// the shared harness (every processor path, every host rounding mode, whole
// buffers compared, guard bytes included).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "mask/oracle_mask.h"
#include "mask_test_util.h"
#include "morvex/native.h"
#include "support/oracle_harness.h"

namespace morvex::test {
namespace {

using oracle::Outcome;

const float kNaNf = std::numeric_limits<float>::quiet_NaN();
const float kInff = std::numeric_limits<float>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

std::string Num(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.9g", v);
  return buf;
}

float SpecialFloat(Rng& rng) {
  const float v[] = {0.0f, -0.0f, 1.0f, -1.0f, kInff, -kInff, 1e-40f, -3e-39f, 3e38f, -3e38f,
                     1e-30f, 255.0f, 0.5f};
  return v[rng.Int(0, 12)];
}

// Float values in [lo, hi) in the rows of buffer `index`, the other buffers
// left as the caller filled them.
void FloatRows(Buffers& b, std::size_t index, std::uint64_t seed, double lo, double hi) {
  Rng rng(seed);
  FillFloats(*b[index], rng, lo, hi);
}

float* FloatsOf(Buffers& b, std::size_t index) { return b[index]->floats(); }

TEST(MaskOracle, GenerateNoiseMask) {
  Rng rng(0x401E);
  for (int n = 0; n < 150; ++n) {
    const int w = n < 71 ? n : rng.Int(-2, 70);
    const int h = rng.Int(0, 9) == 0 ? rng.Int(-2, 0) : rng.Int(1, 6);
    float low = static_cast<float>(rng.Real(-300, 300));
    float high = static_cast<float>(rng.Real(-300, 300));
    switch (rng.Int(0, 5)) {
      case 0: low = 0, high = 1023; break;
      case 1: low = SpecialFloat(rng), high = SpecialFloat(rng); break;
      case 2: high = low; break;
      case 3: low = static_cast<float>(rng.Real(-1e-3, 1e-3)), high = static_cast<float>(rng.Real(1e6, 1e9)); break;
      case 4: if (rng.Int(0, 3) == 0) low = kNaNf; break;
      default: break;
    }
    const std::uint32_t seed = rng.Int(0, 3) == 0 ? static_cast<std::uint32_t>(rng.Int(0, 2)) : rng.U32();
    const std::vector<BufferLayout> layouts{{4 * Elements(w), Rows(h), RandomShape(rng)}};
    const auto call = [=](bool ref) {
      return [=](Buffers& b) -> Outcome {
        auto* f = ref ? oracle::GenerateNoiseMask : ::GenerateNoiseMask;
        return {f(FloatsOf(b, 0), b[0]->stride(), w, h, low, high, seed), {}};
      };
    };
    const std::string what = Describe("GenerateNoiseMask", w, h, n) + " low " + std::to_string(low) +
                             " high " + std::to_string(high) + " seed " + std::to_string(seed);
    if (!MatchesOracle(what, layouts, RandomBytes(n), call(false), call(true),
                       ReferenceRounding::kHostMode))
      return;
  }
}

TEST(MaskOracle, MultiplyMasks) {
  Rng rng(0x3A5C);
  for (int n = 0; n < 150; ++n) {
    const int w = n < 71 ? n : rng.Int(-2, 70);
    const int h = rng.Int(0, 9) == 0 ? rng.Int(-2, 0) : rng.Int(1, 6);
    const bool samePlane = rng.Int(0, 4) == 0;
    const int kind = rng.Int(0, 3);
    const std::vector<BufferLayout> layouts{{4 * Elements(w), Rows(h), RandomShape(rng)},
                                            {4 * Elements(w), Rows(h), RandomShape(rng)}};
    const Prepare prepare = [=](Buffers& b) {
      RandomBytes(n)(b);  // any bits, NaNs of the destination included
      Rng values(n ^ 0x5EED);
      if (kind == 0) {
        TestPlane& src = *b[1];
        for (int y = 0; y < src.rows(); ++y)  // no NaN meets another NaN
          for (int x = 0; x < w; ++x)
            if (std::isnan(src.Get<float>(4 * x, y))) src.Set<float>(4 * x, y, 2.5f);
        return;
      }
      FillFloats(*b[0], values, -300, 300);
      FillFloats(*b[1], values, -2, 2);
      if (kind == 2)
        for (int i = 0; i < 6 && w > 0 && h > 0; ++i)
          b[1]->Set<float>(4 * values.Int(0, w - 1), values.Int(0, h - 1), SpecialFloat(values));
    };
    const auto call = [=](bool ref) {
      return [=](Buffers& b) -> Outcome {
        auto* f = ref ? oracle::MultiplyMasks : ::MultiplyMasks;
        const std::size_t factor = samePlane ? 0 : 1;
        return {f(FloatsOf(b, 0), b[0]->stride(), FloatsOf(b, factor), b[factor]->stride(), w, h), {}};
      };
    };
    const std::string what = Describe("MultiplyMasks", w, h, n) + (samePlane ? " same plane" : "");
    if (!MatchesOracle(what, layouts, prepare, call(false), call(true),
                       ReferenceRounding::kHostMode))
      return;
  }
}

struct Rect {
  float x, y, w, h;
};

// A rectangle for a plane of `w` x `h`: inside it, overlapping an edge,
// fractional, tiny, outside, degenerate or with extreme values.
Rect RandomRect(Rng& rng, int w, int h) {
  const auto f = [](double v) { return static_cast<float>(v); };
  switch (rng.Int(0, 9)) {
    case 0: return {0, 0, f(w), f(h)};
    case 1: return {f(rng.Int(0, std::max(w - 1, 0))), f(rng.Int(0, std::max(h - 1, 0))),
                    f(rng.Int(1, std::max(w, 1))), f(rng.Int(1, std::max(h, 1)))};
    case 2: return {f(rng.Real(-0.3 * w, w)), f(rng.Real(-0.3 * h, h)), f(rng.Real(0, 1.5 * w + 2)),
                    f(rng.Real(0, 1.5 * h + 2))};
    case 3: return {f(rng.Real(-w, 2.0 * w)), f(rng.Real(-h, 2.0 * h)), f(rng.Real(0.5, 4 * w + 3)),
                    f(rng.Real(0.5, 4 * h + 3))};
    case 4: return {f(rng.Int(-3, w) + 0.5), f(rng.Int(-3, h) + 0.5), f(rng.Real(0.9, 2.2)),
                    f(rng.Real(0.9, 2.2))};
    case 5: {
      const float v[] = {0.0f, -1.0f, 1.0f, 1e20f, -1e20f, 3e9f, kNaNf, kInff, 1e-20f, 2.0f};
      return {v[rng.Int(0, 9)], v[rng.Int(0, 9)], v[rng.Int(0, 9)], v[rng.Int(0, 9)]};
    }
    case 6: return {f(rng.Real(0, w)), f(rng.Real(0, h)), f(rng.Real(1, 3)), f(rng.Real(30, 90))};
    default: return {f(rng.Real(0, 0.5 * w)), f(rng.Real(0, 0.5 * h)), f(rng.Real(0.5 * w, w)),
                     f(rng.Real(0.5 * h, h))};
  }
}

TEST(MaskOracle, ScaleMask) {
  Rng rng(0x5CA1);
  for (int n = 0; n < 400; ++n) {
    const int dw = rng.Int(0, 12) == 0 ? rng.Int(-2, 1) : rng.Int(2, 45);
    const int dh = rng.Int(0, 12) == 0 ? rng.Int(-2, 1) : rng.Int(2, 30);
    const int sw = rng.Int(0, 12) == 0 ? rng.Int(-2, 1) : rng.Int(2, 45);
    const int sh = rng.Int(0, 12) == 0 ? rng.Int(-2, 1) : rng.Int(2, 30);
    Rect d = RandomRect(rng, dw, dh), s = RandomRect(rng, sw, sh);
    if (rng.Int(0, 5) == 0) s = d;
    if (rng.Int(0, 4) == 0) {
      // Both rectangles far from the origin by the same amount: large
      // intermediate values in the clipping and the inverse mapping.
      const float far = static_cast<float>(rng.Real(1e3, 3e6));
      s.w = d.w;
      d.x -= far;
      s.x -= far;
      if (rng.Bool()) {
        s.h = d.h;
        d.y -= far;
        s.y -= far;
      }
    }
    const int modes[] = {0, 1, 2, 7, -1};
    const int mode = modes[rng.Int(0, 4)];
    const float amount = rng.Int(0, 4) == 0 ? SpecialFloat(rng) : static_cast<float>(rng.Real(-0.5, 1.5));
    const std::vector<BufferLayout> layouts{{4 * Elements(dw), Rows(dh), RandomShape(rng)},
                                            {4 * Elements(sw), Rows(sh), RandomShape(rng)}};
    const Prepare prepare = [=](Buffers& b) {
      RandomBytes(n)(b);
      FloatRows(b, 0, n ^ 0xD5, -50, 300);
      FloatRows(b, 1, n ^ 0x5C, -50, 300);
    };
    const auto call = [=](bool ref) {
      return [=](Buffers& b) -> Outcome {
        auto* f = ref ? oracle::ScaleMask : ::ScaleMask;
        return {f(FloatsOf(b, 0), b[0]->stride(), dw, dh, d.x, d.y, d.w, d.h, FloatsOf(b, 1),
                  b[1]->stride(), sw, sh, s.x, s.y, s.w, s.h, mode, amount),
                {}};
      };
    };
    const std::string what = Describe("ScaleMask", dw, dh, n) + " (" + Num(d.x) + "," + Num(d.y) +
                             "," + Num(d.w) + "," + Num(d.h) + ") src " + std::to_string(sw) + "x" +
                             std::to_string(sh) + " (" + Num(s.x) + "," + Num(s.y) + "," +
                             Num(s.w) + "," + Num(s.h) + ") mode " + std::to_string(mode) +
                             " amount " + Num(amount);
    if (!MatchesOracle(what, layouts, prepare, call(false), call(true),
                       ReferenceRounding::kHostMode))
      return;
  }
}

double RandomFactor(Rng& rng) {
  switch (rng.Int(0, 7)) {
    case 0: return rng.Real(-1.5, 1.5);
    case 1: {
      const double v[] = {0.0, -0.0, 0.5, -0.5, 0.3, -1.0, 1.0, 0.25, -0.25, 2.0};
      return v[rng.Int(0, 9)];
    }
    case 2: return rng.Real(-4, 4);
    case 3: return rng.Int(-8, 8) / 4096.0 + rng.Int(-2, 2);
    case 4: {
      const double v[] = {kNaN, kInf, -kInf, 1e12, -1e12, 3e9, 1e-300, 2147483648.0};
      return v[rng.Int(0, 7)];
    }
    default: return rng.Real(-0.6, 0.6);
  }
}

TEST(MaskOracle, Shear) {
  Rng rng(0x5EA2);
  for (int n = 0; n < 400; ++n) {
    const std::uint32_t direction =
        rng.Int(0, 15) == 0 ? (rng.Bool() ? 4u : 0xFFFFFFFFu) : static_cast<std::uint32_t>(rng.Int(0, 3));
    const double factor = RandomFactor(rng);
    const int sw = rng.Int(0, 15) == 0 ? rng.Int(-1, 0) : rng.Int(1, 24);
    const int sh = rng.Int(0, 15) == 0 ? rng.Int(-1, 0) : rng.Int(1, 24);
    // Destinations that hold the sheared extent, and some that do not.
    int dw = sw, dh = sh;
    const bool horizontal = direction == 1 || direction == 2;
    const int lines = horizontal ? sh : sw;
    const double extent = std::ceil(std::max(horizontal ? sw : sh, 0) +
                                    std::fabs(factor) * std::max(lines - 1, 0));
    const int fit = extent < 90 ? static_cast<int>(extent) : 90;
    switch (rng.Int(0, 3)) {
      case 0: (horizontal ? dw : dh) = fit; break;
      case 1: (horizontal ? dw : dh) = fit + rng.Int(0, 9); break;
      case 2: dw = rng.Int(-1, 40), dh = rng.Int(-1, 40); break;
      default: (horizontal ? dw : dh) = std::max(fit - rng.Int(1, 6), 0); break;
    }
    if (rng.Int(0, 5) == 0) (horizontal ? dh : dw) += rng.Int(-3, 5);
    // A horizontal shear reads dstHeight source rows whatever srcHeight says:
    // the buffer holds those rows, and srcHeight is now and then anything.
    int passedHeight = sh;
    if (horizontal && rng.Int(0, 3) == 0) passedHeight = rng.Int(-2, 2);
    const int srcRows = horizontal ? std::max(dh, 0) : sh;
    const std::vector<BufferLayout> layouts{{4 * Elements(dw), Rows(dh), RandomShape(rng)},
                                            {4 * Elements(sw), Rows(srcRows), RandomShape(rng)}};
    const auto call = [=](bool ref) {
      return [=](Buffers& b) -> Outcome {
        auto* f = ref ? oracle::Shear : ::Shear;
        return {f(b[1]->first(), b[1]->stride(), sw, passedHeight, b[0]->first(), b[0]->stride(),
                  dw, dh, direction, factor),
                {}};
      };
    };
    const std::string what = Describe("Shear", dw, dh, n) + " src " + std::to_string(sw) + "x" +
                             std::to_string(passedHeight) + " direction " +
                             std::to_string(direction) + " factor " + Num(factor);
    if (!MatchesOracle(what, layouts, RandomBytes(n), call(false), call(true),
                       ReferenceRounding::kHostMode))
      return;
  }
}

// The worked numbers of the mask exports, through the exports and the
// references alike.
TEST(MaskOracle, WorkedExamples) {
  using Floats = std::vector<float>;
  // Noise: seed 1 over levels 0..1023, and the first level of seed 0.
  for (const bool viaOracle : {false, true}) {
    Floats row(5);
    (viaOracle ? oracle::GenerateNoiseMask : GenerateNoiseMask)(row.data(), 20, 5, 1, 0, 1023, 1);
    EXPECT_EQ(row, (Floats{41, 35, 190, 900, 737}));
    (viaOracle ? oracle::GenerateNoiseMask : GenerateNoiseMask)(row.data(), 20, 1, 1, 0, 1023, 0);
    EXPECT_EQ(row[0], 38);
  }

  // ScaleMask columns: 4 -> 2 takes columns 0 and 3; 2 -> 4 takes fractions
  // 0, 682, 1364 and 2046 of the way from column 0 to 1 (source 0 and 2048).
  struct Columns {
    float srcWidth, dstWidth;
    Floats source, want;
  };
  const Columns columns[] = {
      {4, 2, {10, 20, 30, 40}, {10, 40}},
      {2, 4, {0, 2048}, {0, 682, 1364, 2046}},
  };
  for (const Columns& c : columns)
    for (const bool viaOracle : {false, true}) {
      const int sw = static_cast<int>(c.srcWidth), dw = static_cast<int>(c.dstWidth);
      Floats src(2 * sw), dst(2 * dw, -1);
      for (int y = 0; y < 2; ++y) std::copy(c.source.begin(), c.source.end(), src.begin() + y * sw);
      const auto r = (viaOracle ? oracle::ScaleMask : ScaleMask)(
          dst.data(), 4 * dw, dw, 2, 0, 0, c.dstWidth, 2, src.data(), 4 * sw, sw, 2, 0, 0,
          c.srcWidth, 2, 0, 0);
      EXPECT_EQ(r, 1);
      EXPECT_EQ(Floats(dst.begin(), dst.begin() + dw), c.want) << viaOracle;
    }
  // A rectangle (2.5, 0, 3, 2) touches columns 2 to 5; one 1.0 wide is refused.
  for (const bool viaOracle : {false, true}) {
    Floats src(16 * 2), dst(8 * 2, -1);
    for (int i = 0; i < 32; ++i) src[i] = static_cast<float>(i % 16);
    auto* scale = viaOracle ? oracle::ScaleMask : ScaleMask;
    EXPECT_EQ(scale(dst.data(), 32, 8, 2, 2.5f, 0, 3, 2, src.data(), 64, 16, 2, 0, 0, 16, 2, 0, 0), 1);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(dst[x] != -1, x >= 2 && x <= 5) << x;
    const Floats before = dst;
    EXPECT_EQ(scale(dst.data(), 32, 8, 2, 0, 0, 1, 2, src.data(), 64, 16, 2, 0, 0, 16, 2, 0, 0), 0);
    EXPECT_EQ(dst, before);
  }

  // Shear direction 2, row 1: factor 0.5 gives the half-up means (10 and 11
  // give 11), factor 0.3 weighs the left pixel 1228 of 4096; factor -1 shows
  // row 3 from source column 3 on.
  struct ShearRow {
    double factor;
    int row;
    std::vector<std::uint8_t> source, want;
  };
  const ShearRow rows[] = {
      {0.5, 1, {10, 11, 40}, {10, 11, 26, 40, 40}},
      {0.3, 1, {0, 100, 200}, {0, 70, 170, 200, 200}},
      {-1, 3, {1, 2, 3, 4, 5, 6}, {4, 5, 6, 6, 6, 6}},
  };
  for (const ShearRow& c : rows)
    for (const bool viaOracle : {false, true}) {
      const int sw = static_cast<int>(c.source.size()), dw = static_cast<int>(c.want.size());
      const int lines = c.row + 1;
      std::vector<std::uint32_t> src(sw * lines), dst(dw * lines);
      for (int y = 0; y < lines; ++y)
        for (int x = 0; x < sw; ++x) src[y * sw + x] = c.source[x] * 0x01010101u;
      (viaOracle ? oracle::Shear : Shear)(reinterpret_cast<const std::uint8_t*>(src.data()), 4 * sw,
                                         sw, lines, reinterpret_cast<std::uint8_t*>(dst.data()),
                                         4 * dw, dw, lines, 2, c.factor);
      for (int x = 0; x < dw; ++x)
        EXPECT_EQ(dst[c.row * dw + x], c.want[x] * 0x01010101u) << c.factor << " " << x;
    }
}

}  // namespace
}  // namespace morvex::test
