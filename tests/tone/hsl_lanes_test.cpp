// The lane form of the HSL conversion back to bytes against the one-pixel
// definition, at the level of doubles: a difference of one unit in the last
// place rarely reaches a stored byte, so it is looked for before the bytes
// are made. (The SSE2 lanes; the row tests compare every path's bytes, and
// the forward conversion is compared for every colour on every path.)
#include "tone/hsl_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "frame/simd/sse2.h"
#include "support/fp_state.h"
#include "support/random.h"
#include "tone/hsl.h"

namespace morvex {
namespace {

using Lanes = tone::HslLanes<simd::sse2::Isa>;  // one half at a time
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
  const Lanes::Constants constants;
  int mismatches = 0;
  for (int i = 0; i < 200000; ++i) {
    const double p[2] = {PickComponent(rng), PickComponent(rng)};
    const double q[2] = {PickComponent(rng), PickComponent(rng)};
    const double h[2] = {PickComponent(rng), PickComponent(rng)};
    const __m128d pv = _mm_loadu_pd(p), qv = _mm_loadu_pd(q), qp = _mm_sub_pd(qv, pv);
    const __m128d got = Lanes::HueToChannel(pv, qv, qp, _mm_mul_pd(_mm_set1_pd(6.0), qp),
                                            _mm_loadu_pd(h), constants);
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

TEST_F(HslLaneMath, HslToRgbGivesTheSameColourBytes) {
  Rng rng(42);
  const Lanes::Constants constants;
  int mismatches = 0;
  for (int i = 0; i < 200000; ++i) {
    double h[2], s[2], l[2];
    for (int lane = 0; lane < 2; ++lane) {
      h[lane] = PickComponent(rng);
      s[lane] = rng.Int(0, 4) == 0 ? 0.0 : PickComponent(rng);
      l[lane] = PickComponent(rng);
    }
    const Lanes::Integers got =
        Lanes::Backward(_mm_loadu_pd(h), _mm_loadu_pd(s), _mm_loadu_pd(l), constants);
    const __m128i low = _mm_set1_epi32(0xFF);
    const __m128i bytes = _mm_or_si128(
        _mm_or_si128(_mm_and_si128(got.blue, low), _mm_slli_epi32(_mm_and_si128(got.green, low), 8)),
        _mm_slli_epi32(_mm_and_si128(got.red, low), 16));
    std::uint32_t pixels[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels), bytes);
    for (int lane = 0; lane < 2; ++lane) {
      const std::uint32_t want = tone::HslToRgb(h[lane], s[lane], l[lane], 0.0) & 0xFFFFFFu;
      if (pixels[lane] != want && ++mismatches < 5)
        ADD_FAILURE() << "h " << h[lane] << " s " << s[lane] << " l " << l[lane];
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace morvex
