// The lane form of the HSL arithmetic against the one-pixel definition, at
// the level of doubles: a difference of one unit in the last place rarely
// reaches a stored byte, so it is looked for before the bytes are made.
#include "tone/hsl_lanes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "support/fp_state.h"
#include "support/random.h"
#include "tone/hsl.h"
#include "tone/hsl_sse2_lanes.h"

namespace morvex {
namespace {

using Lanes = tone::HslLanes<tone::Sse2Lanes>;
using test::Rng;

std::uint64_t Bits(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Lane i of a vector.
double Lane(__m128d v, int i) {
  double out[2];
  _mm_storeu_pd(out, v);
  return out[i];
}

class HslLaneMath : public ::testing::Test {
 protected:
  // The lane code runs in the round-to-nearest mode, as inside the export.
  void SetUp() override { test::SetHostRounding(kFpRoundNearest); }
  test::FpStateGuard guard_;
};

TEST_F(HslLaneMath, RgbToHslGivesTheSameDoublesForEveryColourOfAGrid) {
  std::vector<std::uint32_t> pixels;
  for (std::uint32_t r = 0; r < 256; ++r)
    for (std::uint32_t g = 0; g < 256; ++g)
      for (std::uint32_t b : {0u, 1u, 17u, 64u, 127u, 128u, 200u, 254u, 255u, r, g})
        pixels.push_back(((r * 13 + g) & 0xFF) << 24 | r << 16 | g << 8 | b);
  int mismatches = 0;
  for (std::size_t i = 0; i + 2 <= pixels.size(); i += 2) {
    const Lanes::Color c = Lanes::RgbToHsl(
        _mm_set_epi32(0, 0, static_cast<int>(pixels[i + 1]), static_cast<int>(pixels[i])));
    for (int lane = 0; lane < 2; ++lane) {
      const tone::HslColor want = tone::RgbToHsl(pixels[i + static_cast<std::size_t>(lane)]);
      if (Bits(Lane(c.hue, lane)) != Bits(want.hue) ||
          Bits(Lane(c.saturation, lane)) != Bits(want.saturation) ||
          Bits(Lane(c.lightness, lane)) != Bits(want.lightness) ||
          Bits(Lane(c.alpha, lane)) != Bits(want.alpha)) {
        if (++mismatches < 5) ADD_FAILURE() << "pixel 0x" << std::hex << pixels[i + lane];
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Values around every boundary the conversion back tests, plus specials.
double PickComponent(Rng& rng) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  static const double anchors[] = {0.0,
                                   1.0 / 6.0,
                                   0.5,
                                   0.6666666666666666,
                                   1.0,
                                   -1.0,
                                   2.0,
                                   0.3333333333333333,
                                   -0.3333333333333333,
                                   1.3333333333333333};
  switch (rng.Int(0, 5)) {
    case 0: {
      const double a = anchors[rng.Int(0, static_cast<int>(std::size(anchors)) - 1)];
      double v = a;
      for (int steps = rng.Int(-3, 3); steps != 0; steps += steps > 0 ? -1 : 1)
        v = std::nextafter(v, steps > 0 ? inf : -inf);
      return v;
    }
    case 1: {
      const double specials[] = {
          inf, -inf, std::numeric_limits<double>::quiet_NaN(), 1e300, -1e300, 8.5e6, -8.5e6, -0.0};
      return specials[rng.Int(0, 7)];
    }
    case 2:
      return rng.Real(-2.5, 2.5);
    default:
      return rng.Real(0.0, 1.0);
  }
}

TEST_F(HslLaneMath, HueToChannelGivesTheSameDoublesAroundEveryBoundary) {
  Rng rng(41);
  int mismatches = 0;
  for (int i = 0; i < 200000; ++i) {
    const double p[2] = {PickComponent(rng), PickComponent(rng)};
    const double q[2] = {PickComponent(rng), PickComponent(rng)};
    const double h[2] = {PickComponent(rng), PickComponent(rng)};
    const __m128d got = Lanes::HueToChannel(_mm_loadu_pd(p), _mm_loadu_pd(q), _mm_loadu_pd(h));
    for (int lane = 0; lane < 2; ++lane) {
      const double want = tone::HueToChannel(p[lane], q[lane], h[lane]);
      const double have = Lane(got, lane);
      const bool same = Bits(have) == Bits(want) || (std::isnan(have) && std::isnan(want));
      if (!same && ++mismatches < 5)
        ADD_FAILURE() << "p " << p[lane] << " q " << q[lane] << " h " << h[lane];
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST_F(HslLaneMath, HslToRgbGivesTheSamePixels) {
  Rng rng(42);
  int mismatches = 0;
  for (int i = 0; i < 200000; ++i) {
    double h[2], s[2], l[2], a[2];
    for (int lane = 0; lane < 2; ++lane) {
      h[lane] = PickComponent(rng);
      s[lane] = rng.Int(0, 4) == 0 ? 0.0 : PickComponent(rng);
      l[lane] = PickComponent(rng);
      a[lane] = rng.Int(0, 1) ? rng.Int(0, 255) * tone::kByteToUnit : PickComponent(rng);
    }
    const __m128i got =
        Lanes::HslToRgb(_mm_loadu_pd(h), _mm_loadu_pd(s), _mm_loadu_pd(l), _mm_loadu_pd(a));
    std::uint32_t pixels[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels), got);
    for (int lane = 0; lane < 2; ++lane) {
      const std::uint32_t want = tone::HslToRgb(h[lane], s[lane], l[lane], a[lane]);
      const std::uint32_t have = pixels[lane];
      if (have != want && ++mismatches < 5)
        ADD_FAILURE() << "h " << h[lane] << " s " << s[lane] << " l " << l[lane] << " a "
                      << a[lane];
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace morvex
