// The tone exports against their slow reference versions on seeded random
// calls: odd and empty sizes, padded and bottom-up planes, counters at any
// alignment and sharing memory, extreme HSL parameters, every processor path
// and every host rounding mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <vector>

#include "morvex/native.h"
#include "support/oracle_harness.h"
#include "tone/oracle_tone.h"

namespace morvex::test {
namespace {

using oracle::Outcome;

constexpr int kCases = 160;

// Pixels that hit the special cases: grays, primaries, lightness ties, pure
// extremes, mixed with random pixels.
Prepare TonePixels(std::uint64_t seed, std::size_t image) {
  return [seed, image](Buffers& b) {
    RandomBytes(seed)(b);
    Rng rng(seed ^ 0x70AE);
    TestPlane& plane = *b[image];
    const std::uint8_t levels[] = {0, 1, 2, 51, 102, 127, 128, 153, 253, 254, 255};
    for (std::int32_t y = 0; y < plane.rows(); ++y)
      for (std::int32_t i = 0; i + 4 <= plane.rowBytes(); i += 4) {
        std::uint8_t* p = plane.Row(y) + i;
        switch (rng.Int(0, 3)) {
          case 0: p[0] = p[1] = p[2] = rng.Byte(); break;  // gray
          case 1:
            for (int k = 0; k < 4; ++k) p[k] = levels[rng.Int(0, 10)];
            break;
          default: break;  // random
        }
      }
  };
}

TEST(ToneOracle, Desaturate) {
  Rng rng(201);
  const std::uint32_t flags[] = {0, 1, 256, 0x1FF, 0x80, 0xFFFFFF00u, 0xFFFFFFFFu, 2};
  for (int n = 0; n < kCases; ++n) {
    const std::int32_t height = RandomHeight(rng), width = RandomWidth(rng);
    const std::uint32_t alsoAlpha = rng.Int(0, 3) == 0 ? rng.U32() : flags[rng.Int(0, 7)];
    std::vector<BufferLayout> layouts{{4 * Elements(width), Rows(height), RandomShape(rng)}};
    const auto call = [&](bool ref) {
      return [=](Buffers& b) -> Outcome {
        if (ref) return oracle::Desaturate(b[0]->first(), b[0]->stride(), width, height, alsoAlpha);
        return {::Desaturate(b[0]->first(), b[0]->stride(), width, height, alsoAlpha), {}};
      };
    };
    std::ostringstream what;
    what << Describe("Desaturate", width, height, n) << " alsoAlpha " << alsoAlpha;
    if (!MatchesOracle(what.str(), layouts, TonePixels(n, 0), call(false), call(true))) return;
  }
}

// Where the four counter arrays sit in one buffer: apart, in any order, all in
// the same place, or partly overlapping; always at a random misalignment.
struct CounterLayout {
  std::int32_t bytes;
  std::int32_t offset[4];
};
CounterLayout RandomCounters(Rng& rng) {
  const std::int32_t skew = rng.Int(0, 3);
  CounterLayout c{};
  switch (rng.Int(0, 5)) {
    case 0: {  // all four the same array
      for (auto& o : c.offset) o = skew;
      break;
    }
    case 1: {  // partly overlapping
      for (auto& o : c.offset) o = skew + 4 * rng.Int(0, 300);
      break;
    }
    default: {  // apart, shuffled
      int order[4] = {0, 1, 2, 3};
      for (int i = 3; i > 0; --i) std::swap(order[i], order[rng.Int(0, i)]);
      for (int i = 0; i < 4; ++i) c.offset[i] = skew + 1024 * order[i] + rng.Int(0, 1) * 4;
      break;
    }
  }
  c.bytes = 0;
  for (auto o : c.offset) c.bytes = std::max(c.bytes, o + 1024);
  return c;
}

Outcome CallHistogram(bool ref, Buffers& b, std::int32_t width, std::int32_t height, const CounterLayout& c) {
  std::uint8_t* base = b[1]->first();
  std::uint8_t* arrays[4];
  for (int i = 0; i < 4; ++i) arrays[i] = base + c.offset[i];
  if (ref) return oracle::Histogram(b[0]->first(), b[0]->stride(), width, height, arrays[0], arrays[1], arrays[2], arrays[3]);
  // The host's counter arrays need not be aligned; the export takes them as
  // int32_t pointers and must not rely on their alignment.
  int32_t* counts[4];
  for (int i = 0; i < 4; ++i) std::memcpy(&counts[i], &arrays[i], sizeof(void*));
  return {::Histogram(b[0]->first(), b[0]->stride(), width, height, counts[0], counts[1], counts[2], counts[3]), {}};
}

TEST(ToneOracle, Histogram) {
  Rng rng(202);
  for (int n = 0; n < kCases; ++n) {
    const std::int32_t height = RandomHeight(rng), width = RandomWidth(rng);
    const CounterLayout counters = RandomCounters(rng);
    std::vector<BufferLayout> layouts{{4 * Elements(width), Rows(height), RandomShape(rng)}, {counters.bytes, 1}};
    const auto call = [&](bool ref) {
      return [=](Buffers& b) { return CallHistogram(ref, b, width, height, counters); };
    };
    std::ostringstream what;
    what << Describe("Histogram", width, height, n) << " counters at";
    for (std::int32_t o : counters.offset) what << ' ' << o;
    if (!MatchesOracle(what.str(), layouts, TonePixels(n, 0), call(false), call(true))) return;
  }
}

// Regions whose counts pass 16 and 8 bits in one counter: one colour, and a
// few colours, over 300 x 250 pixels.
TEST(ToneOracle, HistogramLargeCounts) {
  const std::int32_t width = 300, height = 250;
  Rng rng(203);
  for (int n = 0; n < 3; ++n) {
    const CounterLayout counters = RandomCounters(rng);
    std::vector<BufferLayout> layouts{{4 * width, height, RandomShape(rng)}, {counters.bytes, 1}};
    const Prepare prepare = [n](Buffers& b) {
      Rng fill(n);
      b[1]->FillRandom(fill);
      const std::uint32_t colours[3] = {0xFF102030u, 0x80FF00FFu, 0x00000000u};
      for (std::int32_t y = 0; y < b[0]->rows(); ++y)
        for (std::int32_t x = 0; x < width; ++x)
          oracle::WriteWord(b[0]->Row(y) + 4 * x, n == 0 ? colours[0] : colours[fill.Int(0, 2)]);
    };
    const auto call = [&](bool ref) {
      return [=](Buffers& b) { return CallHistogram(ref, b, width, height, counters); };
    };
    if (!MatchesOracle(Describe("Histogram large", width, height, n), layouts, prepare, call(false), call(true)))
      return;
  }
}

// HSL parameters: identity and the documented rotations most of the time,
// then random, huge, tiny, infinite and NaN values.
double RandomScale(Rng& rng) {
  const double values[] = {1, 1, 1, 0, -1, 0.5, 2, 1 + 0x1p-52, 3.7, 1e10, -1e300,
                           std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
  return rng.Int(0, 3) == 0 ? rng.Real(-3, 3) : values[rng.Int(0, 12)];
}
double RandomOffset(Rng& rng) {
  const double values[] = {0, 0, 0, 0.3333333333333333, 1.0 / 6, 0.5, 2.5, -1, 1, -0.5, 0.2, 0.3, 1e-17,
                           -2.5, 1e10, -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
  return rng.Int(0, 3) == 0 ? rng.Real(-2, 2) : values[rng.Int(0, 16)];
}

TEST(ToneOracle, HslScaleOffset) {
  Rng rng(204);
  for (int n = 0; n < 2 * kCases; ++n) {
    const std::int32_t height = RandomHeight(rng), width = RandomWidth(rng);
    double p[6];
    for (int i = 0; i < 3; ++i) p[i] = RandomScale(rng);
    for (int i = 3; i < 6; ++i) p[i] = RandomOffset(rng);
    std::vector<BufferLayout> layouts{{4 * Elements(width), Rows(height), RandomShape(rng)}};
    const auto call = [&](bool ref) {
      return [=](Buffers& b) -> Outcome {
        if (ref) return oracle::HslScaleOffset(b[0]->first(), b[0]->stride(), width, height, p[0], p[1], p[2], p[3], p[4], p[5]);
        return {::HslScaleOffset(b[0]->first(), b[0]->stride(), width, height, p[0], p[1], p[2], p[3], p[4], p[5]), {}};
      };
    };
    std::ostringstream what;
    what << Describe("HslScaleOffset", width, height, n) << " params";
    for (double v : p) what << ' ' << v;
    if (!MatchesOracle(what.str(), layouts, TonePixels(n, 0), call(false), call(true))) return;
  }
}

// Every colour of a coarse cube and every alpha level, through the identity
// and one rotation: the reference and the export agree on each one.
TEST(ToneOracle, HslDenseColours) {
  const std::int32_t width = 33 * 33, height = 33;
  std::vector<BufferLayout> layouts{{4 * width, height}};
  const Prepare prepare = [](Buffers& b) {
    for (std::int32_t y = 0; y < 33; ++y)
      for (std::int32_t x = 0; x < width; ++x) {
        const std::uint32_t r = static_cast<std::uint32_t>(y) * 255 / 32;
        const std::uint32_t g = static_cast<std::uint32_t>(x / 33) * 255 / 32;
        const std::uint32_t bl = static_cast<std::uint32_t>(x % 33) * 255 / 32;
        const std::uint32_t a = static_cast<std::uint32_t>(x * 7 + y) & 0xFF;
        oracle::WriteWord(b[0]->Row(y) + 4 * x, (a << 24) | (r << 16) | (g << 8) | bl);
      }
  };
  const double params[][6] = {{1, 1, 1, 0, 0, 0}, {1, 1, 1, 0.25, 0, 0}, {0.5, 1.5, 0.9, 0.1, -0.1, 0.05}};
  for (const auto& p : params) {
    const auto call = [&](bool ref) {
      return [=](Buffers& b) -> Outcome {
        if (ref) return oracle::HslScaleOffset(b[0]->first(), b[0]->stride(), width, height, p[0], p[1], p[2], p[3], p[4], p[5]);
        return {::HslScaleOffset(b[0]->first(), b[0]->stride(), width, height, p[0], p[1], p[2], p[3], p[4], p[5]), {}};
      };
    };
    EXPECT_TRUE(MatchesOracle("HslScaleOffset dense", layouts, prepare, call(false), call(true)));
  }
}

// Pixels of hue 0 (red the largest, green equal to blue) with hue scale 1 get
// h = hueOffset exactly, so offsets a few steps around every segment boundary
// of the three channels' hues (h + 1/3, h, h - 1/3, each brought back by one
// period) put each comparison right at its edge.
TEST(ToneOracle, HslHueOffsetsAroundEverySegmentBoundary) {
  const double boundaries[] = {0.0, 1.0 / 6, 0.5, 2.0 / 3, 1.0};
  const double shifts[] = {0.0, 0.3333333333333333, -0.3333333333333333, 1.0, -1.0};
  std::vector<double> offsets;
  for (double b : boundaries)
    for (double shift : shifts) {
      const double centre = b + shift;
      for (int step = -3; step <= 3; ++step) {
        double v = centre;
        for (int i = 0; i < std::abs(step); ++i) v = std::nextafter(v, step < 0 ? -10.0 : 10.0);
        offsets.push_back(v);
      }
    }
  const std::uint32_t pixels[] = {0xFFFF0000u, 0xFFC80A0Au, 0x80800000u, 0xFF640000u, 0x40FF3232u, 0xFFFE0101u,
                                  0xFF010000u, 0xFFFFFEFEu, 0xFF7F0000u};
  const std::int32_t width = static_cast<std::int32_t>(std::size(pixels));
  std::vector<BufferLayout> layouts{{4 * width, 1}};
  const Prepare prepare = [&](Buffers& b) {
    for (std::int32_t x = 0; x < width; ++x) oracle::WriteWord(b[0]->first() + 4 * x, pixels[x]);
  };
  for (double ho : offsets) {
    const auto call = [&](bool ref) {
      return [=](Buffers& b) -> Outcome {
        if (ref) return oracle::HslScaleOffset(b[0]->first(), b[0]->stride(), width, 1, 1, 1, 1, ho, 0, 0);
        return {::HslScaleOffset(b[0]->first(), b[0]->stride(), width, 1, 1, 1, 1, ho, 0, 0), {}};
      };
    };
    std::ostringstream what;
    what.precision(17);
    what << "HslScaleOffset hueOffset " << ho;
    if (!MatchesOracle(what.str(), layouts, prepare, call(false), call(true))) return;
  }
}

// The worked numbers of the tone operations, through the exports and the
// references alike.
TEST(ToneOracle, WorkedExamples) {
  struct Luma {
    std::uint8_t b, g, r;
    std::uint8_t y;
  };
  const Luma lumas[] = {{0, 0, 255, 76}, {0, 255, 0, 150}, {255, 0, 0, 29}, {0, 1, 0, 1},
                        {0, 0, 1, 0},   {1, 0, 0, 0},     {10, 20, 30, 22}, {255, 255, 255, 255}};
  struct Hsl {
    std::uint32_t in;
    double p[6];
    std::uint32_t out;
  };
  const Hsl hsls[] = {
      {0xFFFF0000u, {1, 1, 1, 0.3333333333333333, 0, 0}, 0xFF00FF00u},
      {0xFFFF0000u, {1, 1, 1, 1.0 / 6, 0, 0}, 0xFFFFFF00u},
      {0xFF336699u, {1, 1, 1, 0.5, 0, 0}, 0xFF996633u},
      {0xFFFF0000u, {1, 0, 1, 0, 0, 0}, 0xFF808080u},
      {0xFFFD0000u, {1, 0, 1, 0, 0, 0}, 0xFF7E7E7Eu},
      {0xFF808080u, {1, 1, 1, 0, 0.5, 0}, 0xFFC04040u},
      {0xFFFFFFFFu, {1, 1, 1, 0, 0, 0.2}, 0xFF323232u},
      {0x80800000u, {1, 1, 1, 0, 0, 0.3}, 0x80FF1A1Au},
      {0xFFFF0000u, {1, 1, 1, 2.5, 0, 0}, 0xFF000000u},
      {0x7F123456u, {1, 1, 1, 0, 0, 0}, 0x7F123456u},
  };
  for (const CpuPath& path : CpuPaths()) {
    const PinnedCpuPath pin(path);
    for (const Luma& l : lumas) {
      std::uint8_t px[4] = {l.b, l.g, l.r, 5}, ref[4] = {l.b, l.g, l.r, 5};
      ::Desaturate(px, 4, 1, 1, 256);
      oracle::Desaturate(ref, 4, 1, 1, 256);
      const std::uint8_t want[4] = {l.y, l.y, l.y, 5};
      EXPECT_EQ(0, std::memcmp(px, want, 4)) << path.label << " luma " << int{l.y};
      EXPECT_EQ(0, std::memcmp(ref, want, 4)) << "reference luma " << int{l.y};
    }
    for (const Hsl& h : hsls) {
      FpStateGuard guard;
      SetHostRounding(kFpRoundTowardZero);
      std::uint8_t px[4], ref[4];
      oracle::WriteWord(px, h.in);
      oracle::WriteWord(ref, h.in);
      ::HslScaleOffset(px, 4, 1, 1, h.p[0], h.p[1], h.p[2], h.p[3], h.p[4], h.p[5]);
      oracle::HslScaleOffset(ref, 4, 1, 1, h.p[0], h.p[1], h.p[2], h.p[3], h.p[4], h.p[5]);
      EXPECT_EQ(oracle::ReadWord(px), h.out) << path.label << std::hex << " from " << h.in;
      EXPECT_EQ(oracle::ReadWord(ref), h.out) << "reference" << std::hex << " from " << h.in;
    }
    // One pixel (blue 10, green 20, red 30, alpha 5): counts 30, 20, 10 and luma 22.
    std::int32_t counts[4][256];
    std::memset(counts, 0x5A, sizeof counts);
    const std::uint8_t pixel[4] = {10, 20, 30, 5};
    EXPECT_EQ(::Histogram(pixel, 4, 1, 1, counts[0], counts[1], counts[2], counts[3]), 1);
    for (int a = 0; a < 4; ++a)
      for (int i = 0; i < 256; ++i) {
        const int want = (a == 0 && i == 30) || (a == 1 && i == 20) || (a == 2 && i == 10) || (a == 3 && i == 22);
        EXPECT_EQ(counts[a][i], want) << path.label << " array " << a << " entry " << i;
      }
    EXPECT_EQ(::Histogram(pixel, 4, 1, 0, counts[0], counts[1], counts[2], counts[3]), 0);
  }
}

}  // namespace
}  // namespace morvex::test
