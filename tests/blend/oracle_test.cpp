// Every blending export against its reference version (oracle_blend.h) on
// seeded random calls through the shared harness (support/oracle_harness.h):
// odd and empty sizes, padded and bottom-up planes chosen per plane, in-place
// calls where allowed, parameters around their thresholds and ties, every
// host rounding mode (and for ClipRestore every denormal mode) and every
// processor path. Whole buffers (padding and guards included) must match.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "blend/oracle_blend.h"
#include "frame/fpu.h"
#include "morvex/native.h"
#include "support/oracle_harness.h"

namespace morvex::test {
namespace {

using oracle::Outcome;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Random ARGB bytes, often premultiplied, sometimes with runs of 0 and 255.
void FillPixels(Rng& rng, TestPlane& plane) {
  plane.FillRandom(rng);
  const int style = rng.Int(0, 3);
  for (std::int32_t y = 0; y < plane.rows(); ++y) {
    std::uint8_t* row = plane.Row(y);
    for (std::int32_t i = 0; i < plane.rowBytes(); ++i) {
      if (style == 3 && rng.Int(0, 3) == 0) row[i] = rng.Bool() ? 0 : 255;
      if (style >= 2 && (i & 3) == 3)
        for (int c = 1; c <= 3; ++c)
          if (row[i - c] > row[i]) row[i - c] = row[i];
    }
  }
}

// Every buffer filled by FillPixels from one seed.
Prepare PixelPlanes(std::uint64_t seed) {
  return [seed](Buffers& b) {
    Rng rng(seed);
    for (auto& plane : b) FillPixels(rng, *plane);
  };
}

// Region sizes and plane shapes of a trial: random, or fixed where set.
struct Sizes {
  std::int32_t width = -1, height = -1, padding = -1;
  std::int32_t Width(Rng& rng) const { return width >= 0 ? width : RandomWidth(rng); }
  std::int32_t Height(Rng& rng) const { return height >= 0 ? height : RandomHeight(rng); }
  PlaneShape Shape(Rng& rng, std::int32_t maxPadding = 19) const {
    return padding >= 0 ? PlaneShape{padding, false} : RandomShape(rng, maxPadding);
  }
};

// One random call: its buffers, how they are filled, and the call itself
// (the export, or with `reference` the oracle).
struct Trial {
  std::string what;
  std::vector<BufferLayout> layouts;
  Prepare prepare;
  std::function<Outcome(Buffers&, bool reference)> call;
};
using MakeTrial = Trial (*)(Rng& rng, const Sizes& sizes, std::uint64_t seed);

bool Matches(const Trial& t) {
  return MatchesOracle(
      t.what, t.layouts, t.prepare, [&](Buffers& b) { return t.call(b, false); },
      [&](Buffers& b) { return t.call(b, true); });
}

// `count` seeded trials; stops at the first mismatch.
void RunTrials(int count, std::uint64_t seed, MakeTrial make) {
  for (int i = 0; i < count; ++i) {
    const std::uint64_t caseSeed = seed * 1000 + static_cast<std::uint64_t>(i);
    Rng rng(caseSeed);
    if (!Matches(make(rng, Sizes{}, caseSeed))) return;
  }
}

BufferLayout Pixels(std::int32_t width, std::int32_t height, PlaneShape shape) {
  return {4 * Elements(width), Rows(height), shape};
}

template <class T>
std::string Text(const T& v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

double Pick(Rng& rng, std::initializer_list<double> values) {
  return values.begin()[rng.Int(0, static_cast<std::int32_t>(values.size()) - 1)];
}

// ---- Blend, MaskedBlend, MaskedFade ----

double BlendWeight(Rng& rng) {
  switch (rng.Int(0, 5)) {
    case 0: return rng.Real(0.0, 1.0);
    case 1: return rng.Int(0, 4096) / 4096.0 + Pick(rng, {0.0, 1e-12, -1e-12});
    case 2: return rng.Real(-3.0, 4.0);
    case 3: return rng.Real(-2100.0, 2100.0);
    case 4: return Pick(rng, {0.3, 0.1, 0.5, 1.5, 0.0, 1.0, -1.0, 7.99, 8.0, -7.01});
    default: return Pick(rng, {1e6, -1e9, 1e300, -1e300, kNaN, kInf, -kInf, 524288.0});
  }
}

// Two planes of one size: a destination (buffer 0) and a source or mask
// (buffer 1); one call in five reads the second from the destination itself.
struct TwoPlanes {
  std::int32_t w, h;
  bool shared;
  std::vector<BufferLayout> layouts;
  TwoPlanes(Rng& rng, const Sizes& draw) : w(draw.Width(rng)), h(draw.Height(rng)) {
    shared = rng.Int(0, 4) == 0;
    layouts = {Pixels(w, h, draw.Shape(rng)), Pixels(w, h, draw.Shape(rng))};
  }
  std::string Describe(const char* name, std::uint64_t seed) const {
    return test::Describe(name, w, h, static_cast<int>(seed)) + (shared ? " in place" : "");
  }
};

Trial BlendTrial(Rng& rng, const Sizes& draw, std::uint64_t seed) {
  const TwoPlanes p(rng, draw);
  const double weight = BlendWeight(rng);
  const std::int32_t w = p.w, h = p.h;
  const bool inPlace = p.shared;
  return {p.Describe("Blend", seed) + " weight " + Text(weight), p.layouts, PixelPlanes(seed),
          [=](Buffers& b, bool ref) -> Outcome {
            TestPlane& d = *b[0];
            const TestPlane& s = inPlace ? *b[0] : *b[1];
            if (ref) return {oracle::Blend(d.first(), d.stride(), s.first(), s.stride(), w, h, weight), {}};
            return {::Blend(d.first(), d.stride(), s.first(), s.stride(), w, h, weight), {}};
          }};
}

// Buffers: destination, source, mask. The mask may be the source plane too
// (both are only read).
template <bool kFade>
Trial MaskedTrial(Rng& rng, const Sizes& draw, std::uint64_t seed) {
  TwoPlanes p(rng, draw);
  p.layouts.push_back(Pixels(p.w, p.h, draw.Shape(rng)));
  const bool maskIsSource = !p.shared && rng.Int(0, 5) == 0;
  const bool withLut = !kFade && rng.Bool();
  std::vector<std::uint8_t> lut(1024);
  rng.Fill(lut.data(), lut.size());
  const std::int32_t w = p.w, h = p.h;
  const bool inPlace = p.shared;
  std::string what = p.Describe(kFade ? "MaskedFade" : "MaskedBlend", seed);
  if (withLut) what += " with table";
  if (maskIsSource) what += " mask is source";
  return {what, p.layouts, PixelPlanes(seed), [=](Buffers& b, bool ref) -> Outcome {
            TestPlane& d = *b[0];
            const TestPlane& s = inPlace ? *b[0] : *b[1];
            const TestPlane& m = maskIsSource ? *b[1] : *b[2];
            if constexpr (kFade) {
              if (ref)
                return {oracle::MaskedFade(d.first(), d.stride(), m.first(), m.stride(), s.first(),
                                           s.stride(), w, h), {}};
              return {::MaskedFade(d.first(), d.stride(), m.first(), m.stride(), s.first(),
                                   s.stride(), w, h), {}};
            } else {
              const std::uint8_t* table = withLut ? lut.data() : nullptr;
              if (ref)
                return {oracle::MaskedBlend(d.first(), d.stride(), m.first(), m.stride(), s.first(),
                                            s.stride(), w, h, table), {}};
              return {::MaskedBlend(d.first(), d.stride(), m.first(), m.stride(), s.first(),
                                    s.stride(), w, h, table), {}};
            }
          }};
}

TEST(Oracle, Blend) { RunTrials(40, 1, BlendTrial); }
TEST(Oracle, MaskedBlend) { RunTrials(40, 2, MaskedTrial<false>); }
TEST(Oracle, MaskedFade) { RunTrials(40, 3, MaskedTrial<true>); }

// ---- Composite ----

double Opacity(Rng& rng) {
  switch (rng.Int(0, 5)) {
    case 0: return rng.Real(0.0, 1.0);
    case 1: return 1.0;
    // Exactly on a rounding step (t = k + 0.5 before truncation) or beside it.
    case 2: return (rng.Int(0, 255) + Pick(rng, {0.0, 0.5, -0.5})) / 255.0 +
                   Pick(rng, {0.0, 1e-15, -1e-15});
    case 3: return Pick(rng, {0.5, 0.25, 0.999, 0.002, 0.001, 0.0, -0.0, 1.0 - 1e-12});
    case 4: return rng.Real(-2.0, 3.0);
    default: return Pick(rng, {8421504.0, 8421505.0, 1e10, -1e10, kNaN, kInf, -kInf, -8421505.0});
  }
}

Trial CompositeTrial(Rng& rng, const Sizes& draw, std::uint64_t seed) {
  const TwoPlanes p(rng, draw);
  std::int32_t mode = rng.Int(1, 7);
  if (rng.Int(0, 9) == 0) mode = static_cast<std::int32_t>(Pick(rng, {0, 2, 8, -1, 9, 1000}));
  if (rng.Int(0, 49) == 0) mode = rng.Bool() ? INT_MIN : INT_MAX;
  const double opacity = Opacity(rng);
  const std::int32_t w = p.w, h = p.h;
  const bool inPlace = p.shared;
  return {p.Describe("Composite", seed) + " mode " + Text(mode) + " opacity " + Text(opacity),
          p.layouts, PixelPlanes(seed), [=](Buffers& b, bool ref) -> Outcome {
            TestPlane& d = *b[0];
            const TestPlane& s = inPlace ? *b[0] : *b[1];
            if (ref)
              return {oracle::Composite(d.first(), d.stride(), s.first(), s.stride(), w, h, mode,
                                        opacity), {}};
            return {::Composite(d.first(), d.stride(), s.first(), s.stride(), w, h, mode, opacity),
                    {}};
          }};
}

TEST(Oracle, Composite) { RunTrials(50, 4, CompositeTrial); }

// ---- Multiply, MultiplyChannel, MaskMultiply ----

double Factor(Rng& rng) {
  switch (rng.Int(0, 4)) {
    case 0: return rng.Real(0.0, 1.0);
    // Exactly where k steps (factor * 256 + 0.5 an integer) or beside it.
    case 1: return (rng.Int(-3, 258) - 0.5) / 256.0 + Pick(rng, {0.0, 1e-13, -1e-13});
    case 2: return Pick(rng, {0.5, 1.0, 0.3, 0.0, -0.0, 1.001953125, -0.0098, 1.0019});
    case 3: return rng.Real(-1.5, 2.5);
    default: return Pick(rng, {1e6, -1e6, 1e10, -1e10, kNaN, kInf, -kInf, 8388608.0});
  }
}

Trial MultiplyTrial(Rng& rng, const Sizes& draw, std::uint64_t seed) {
  const std::int32_t w = draw.Width(rng), h = draw.Height(rng);
  const std::vector<BufferLayout> layouts{Pixels(w, h, draw.Shape(rng))};
  const double factor = Factor(rng);
  return {Describe("Multiply", w, h, static_cast<int>(seed)) + " factor " + Text(factor), layouts,
          PixelPlanes(seed), [=](Buffers& b, bool ref) -> Outcome {
            TestPlane& d = *b[0];
            if (ref) return {oracle::Multiply(d.first(), d.stride(), w, h, factor), {}};
            return {::Multiply(d.first(), d.stride(), w, h, factor), {}};
          }};
}

TEST(Oracle, Multiply) { RunTrials(40, 5, MultiplyTrial); }

// (scale, offset) around the tolerance band, inside it, and far outside.
std::pair<double, double> Remap(Rng& rng) {
  const double in = 1e-4, nudge = 1e-12;
  switch (rng.Int(0, 6)) {
    case 0: return {1.0, 0.0};
    case 1: return {Pick(rng, {1.0 - in, 1.0 + in, 0.99995, 1.00005, 1.0 - in - nudge,
                               1.0 + in + nudge, 1.0}),
                    Pick(rng, {0.0, in, -in, in + nudge, -in - nudge, 5e-5, -0.0})};
    case 2: return {rng.Real(-3.0, 3.0), rng.Bool() ? 0.0 : rng.Real(-300.0, 300.0)};
    case 3: return {Pick(rng, {0.5, 2.0, 1.0, 0.0, -1.0, 0.99, 0.25, 1.5, -0.5}),
                    Pick(rng, {0.0, 64.0, -64.0, 127.5, -127.5})};
    case 4: return {rng.Real(-40.0, 40.0), rng.Real(-3000.0, 3000.0)};
    case 5: return {Pick(rng, {kNaN, 1.0, 2.0, kInf, -kInf, 1e12}),
                    Pick(rng, {kNaN, 0.0, 1e12, -kInf, 10.0})};
    default: return {rng.Real(0.9, 1.1), rng.Real(-0.01, 0.01)};
  }
}

std::uint32_t Channel(Rng& rng) {
  if (rng.Int(0, 9) != 0) return static_cast<std::uint32_t>(rng.Int(0, 3));
  return static_cast<std::uint32_t>(Pick(rng, {4.0, 5.0, 4294967295.0, 2147483648.0, 255.0}));
}

Trial MultiplyChannelTrial(Rng& rng, const Sizes& draw, std::uint64_t seed) {
  const TwoPlanes p(rng, draw);
  const std::uint32_t dc = Channel(rng), mc = Channel(rng);
  const auto [scale, offset] = Remap(rng);
  const std::int32_t w = p.w, h = p.h;
  const bool sameMask = p.shared;
  return {p.Describe("MultiplyChannel", seed) + " scale " + Text(scale) + " offset " + Text(offset) + " channels " + Text(dc) + "," +
              Text(mc),
          p.layouts, PixelPlanes(seed), [=, scale = scale, offset = offset](Buffers& b, bool ref) -> Outcome {
            TestPlane& d = *b[0];
            const TestPlane& m = sameMask ? *b[0] : *b[1];
            if (ref)
              return {oracle::MultiplyChannel(d.first(), d.stride(), dc, m.first(), m.stride(), mc,
                                              w, h, scale, offset), {}};
            return {::MultiplyChannel(d.first(), d.stride(), dc, m.first(), m.stride(), mc, w, h,
                                      scale, offset), {}};
          }};
}

TEST(Oracle, MultiplyChannel) { RunTrials(80, 6, MultiplyChannelTrial); }

Trial MaskMultiplyTrial(Rng& rng, const Sizes& draw, std::uint64_t seed) {
  const TwoPlanes p(rng, draw);
  std::int32_t channel = rng.Int(-1, 3);
  if (rng.Int(0, 9) == 0)
    channel = static_cast<std::int32_t>(Pick(rng, {4.0, 5.0, -2.0, -1e9, 1e9}));
  if (rng.Int(0, 49) == 0) channel = rng.Bool() ? INT_MIN : INT_MAX;
  const auto [scale, offset] = Remap(rng);
  const std::int32_t w = p.w, h = p.h;
  const bool sameMask = p.shared;
  return {p.Describe("MaskMultiply", seed) + " scale " + Text(scale) + " offset " + Text(offset) + " channel " + Text(channel), p.layouts,
          PixelPlanes(seed), [=, scale = scale, offset = offset](Buffers& b, bool ref) -> Outcome {
            TestPlane& d = *b[0];
            const TestPlane& m = sameMask ? *b[0] : *b[1];
            if (ref)
              return {oracle::MaskMultiply(d.first(), d.stride(), m.first(), m.stride(), w, h,
                                           channel, scale, offset), {}};
            return {::MaskMultiply(d.first(), d.stride(), m.first(), m.stride(), w, h, channel,
                                   scale, offset), {}};
          }};
}

TEST(Oracle, MaskMultiply) { RunTrials(40, 7, MaskMultiplyTrial); }

// ---- ClipRestore, FocusPrep ----

float SpecialFloat(Rng& rng, float t, float f) {
  std::uint32_t payload = 0x7FC00000u | (rng.U32() & 0x3FFFFFu);
  if (rng.Bool()) payload = 0x7F800001u | (rng.U32() & 0x3FFFFEu);  // signalling
  if (rng.Bool()) payload |= 0x80000000u;
  float nan;
  std::memcpy(&nan, &payload, 4);
  const float pool[] = {t,    std::nextafter(t, 1e30f), std::nextafter(t, -1e30f), f,
                        -0.0f, 0.0f, 1e-45f, -1e-45f,  std::numeric_limits<float>::infinity(),
                        -std::numeric_limits<float>::infinity(), nan, 255.0f, 1e38f};
  return pool[rng.Int(0, static_cast<std::int32_t>(std::size(pool)) - 1)];
}

Trial ClipTrial(Rng& rng, const Sizes& draw, std::uint64_t seed) {
  const std::int32_t w = draw.Width(rng), h = draw.Height(rng);
  const std::vector<BufferLayout> layouts{{16 * Elements(w), Rows(h), draw.Shape(rng, 37)}};
  double clip = rng.Real(0.0, 1.1), restore = rng.Real(-0.1, 1.1);
  switch (rng.Int(0, 4)) {
    case 0: clip = Pick(rng, {0.9, 0.99, 1.0, 0.0, 0.1, 1.0 / 3.0}); break;
    case 1: restore = Pick(rng, {0.5, 0.0, -0.0, 1.0, 0.7}); break;
    case 2: clip = Pick(rng, {kNaN, kInf, -kInf, -1.0, 1e300});
            restore = Pick(rng, {kNaN, kInf, -kInf, 0.5, -1e300}); break;
    default: break;
  }
  const bool focus = rng.Bool();
  // T and F as the oracle derives them, for values placed on and beside them.
  const float t = static_cast<float>(clip * 255.0), f = static_cast<float>(restore * 255.0);
  const Prepare prepare = [seed, t, f](Buffers& b) {
    Rng fill(seed);
    TestPlane& plane = *b[0];
    for (std::int32_t y = 0; y < plane.rows(); ++y)
      for (std::int32_t x = 0; x + 4 <= plane.rowBytes(); x += 4) {
        const float v = fill.Int(0, 3) == 0 ? SpecialFloat(fill, t, f)
                                            : static_cast<float>(fill.Real(-20.0, 290.0));
        plane.Set<float>(x, y, v);
      }
  };
  return {Describe(focus ? "FocusPrep" : "ClipRestore", w, h, static_cast<int>(seed)) + " clip " +
              Text(clip) + " restore " + Text(restore),
          layouts, prepare, [=](Buffers& b, bool ref) -> Outcome {
            TestPlane& d = *b[0];
            if (ref) return {oracle::ClipRestore(d.floats(), d.stride(), w, h, clip, restore), {}};
            if (focus) return {::FocusPrep(d.floats(), d.stride(), w, h, clip, restore), {}};
            return {::ClipRestore(d.floats(), d.stride(), w, h, clip, restore), {}};
          }};
}

// ClipRestore rounds in the host's rounding mode and sees its denormal
// flushing, so the export and the oracle both run under one forced mode
// (the harness runs its reference once, and its own host modes are
// overridden here); the mode is restored after each call.
Trial InMode(Trial trial, std::uint32_t mode) {
  trial.what += " host mode 0x" + Text(mode);
  trial.call = [call = trial.call, mode](Buffers& b, bool ref) {
    const std::uint32_t saved = ControlFloatingPoint(0, 0);
    ControlFloatingPoint(mode, kFpRoundingField | kFpDenormalField);
    Outcome outcome = call(b, ref);
    ControlFloatingPoint(saved, kFpRoundingField | kFpDenormalField);
    return outcome;
  };
  return trial;
}

TEST(Oracle, ClipRestoreAndFocusPrep) {
  std::vector<std::uint32_t> modes(std::begin(kHostRoundings), std::end(kHostRoundings));
  for (std::uint32_t flush : {kFpFlushBoth, kFpFlushOperands, kFpFlushResults})
    modes.push_back(flush | kFpRoundNearest);
  for (int i = 0; i < 40; ++i) {
    const std::uint64_t seed = 8000 + static_cast<std::uint64_t>(i);
    for (std::uint32_t mode : modes) {
      Rng rng(seed);
      if (!Matches(InMode(ClipTrial(rng, Sizes{}, seed), mode))) return;
    }
  }
}

// The vector kernels start their whole vectors at the first aligned pixel of
// each row: every start offset of a row modulo 64 bytes (row 1 of a plane
// whose padding runs through 0..63), with widths that leave heads, groups
// and tails of every kind, on every path.
TEST(Oracle, EveryRowAlignment) {
  // ClipRestore under the nearest mode only: the test above covers the others.
  const MakeTrial clipNearest = [](Rng& rng, const Sizes& sizes, std::uint64_t seed) {
    return InMode(ClipTrial(rng, sizes, seed), kFpRoundNearest);
  };
  const MakeTrial trials[] = {BlendTrial,        MaskedTrial<false>,   MaskedTrial<true>,
                              CompositeTrial,    MultiplyTrial,        MultiplyChannelTrial,
                              MaskMultiplyTrial, clipNearest};
  for (std::int32_t padding = 0; padding < 64; ++padding)
    for (std::int32_t width : {5, 19, 40}) {
      const Sizes sizes{width, 2, padding};
      for (std::size_t t = 0; t < std::size(trials); ++t) {
        const std::uint64_t seed = static_cast<std::uint64_t>(padding * 131 + width * 7) + t;
        Rng rng(seed);
        Trial trial = trials[t](rng, sizes, seed);
        trial.what += " padding " + Text(padding);
        if (!Matches(trial)) return;
      }
    }
}

// ---- The worked numbers, through the exports and the oracle alike ----

struct Px4 {
  std::uint8_t b, g, r, a;
};

template <class Call>
void ExpectPixel(const char* what, Px4 dst, Px4 src, Px4 mask, Px4 expected, Call&& call) {
  for (int run = 0; run < 2; ++run) {
    std::uint8_t d[4] = {dst.b, dst.g, dst.r, dst.a}, s[4] = {src.b, src.g, src.r, src.a},
                 m[4] = {mask.b, mask.g, mask.r, mask.a};
    call(run == 0, d, s, m);
    const std::uint8_t e[4] = {expected.b, expected.g, expected.r, expected.a};
    EXPECT_EQ(std::memcmp(d, e, 4), 0)
        << what << (run == 0 ? " (export)" : " (oracle)") << ": got " << int(d[0]) << ","
        << int(d[1]) << "," << int(d[2]) << "," << int(d[3]);
  }
}

TEST(Oracle, WorkedNumbers) {
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    auto blend = [](double wgt) {
      return [wgt](bool lib, std::uint8_t* d, std::uint8_t* s, std::uint8_t*) {
        (lib ? ::Blend : oracle::Blend)(d, 4, s, 4, 1, 1, wgt);
      };
    };
    ExpectPixel("Blend 0.5", {1, 0, 9, 255}, {0, 0, 8, 255}, {}, {1, 0, 9, 255}, blend(0.5));
    ExpectPixel("Blend 0.3", {255, 100, 0, 255}, {255, 100, 0, 255}, {}, {255, 100, 0, 255},
                blend(0.3));
    ExpectPixel("Blend 1.5", {200, 0, 100, 255}, {0, 200, 200, 255}, {}, {255, 0, 50, 255},
                blend(1.5));
    auto masked = [](bool lib, std::uint8_t* d, std::uint8_t* s, std::uint8_t* m) {
      (lib ? ::MaskedBlend : oracle::MaskedBlend)(d, 4, m, 4, s, 4, 1, 1, nullptr);
    };
    ExpectPixel("MaskedBlend", {100, 100, 100, 90}, {200, 200, 200, 0}, {255, 0, 128, 7},
                {90, 90, 90, 90}, masked);
    ExpectPixel("MaskedBlend 128", {100, 100, 100, 255}, {200, 200, 200, 0}, {255, 0, 128, 7},
                {200, 100, 150, 255}, masked);
    auto fade = [](bool lib, std::uint8_t* d, std::uint8_t* s, std::uint8_t* m) {
      (lib ? ::MaskedFade : oracle::MaskedFade)(d, 4, m, 4, s, 4, 1, 1);
    };
    ExpectPixel("MaskedFade keep alpha", {1, 2, 3, 100}, {250, 50, 99, 9}, {255, 255, 255, 0},
                {100, 50, 99, 100}, fade);
    ExpectPixel("MaskedFade zero alpha", {1, 2, 3, 100}, {250, 50, 99, 0}, {0, 0, 0, 255},
                {0, 0, 0, 0}, fade);

    const Px4 cs{100, 150, 200, 200}, cd{50, 100, 200, 220};
    const struct {
      int mode;
      Px4 full, half;
    } modes[] = {{1, {111, 172, 243, 247}, {80, 136, 221, 233}},
                 {3, {150, 250, 255, 247}, {100, 175, 227, 233}},
                 {4, {19, 58, 156, 172}, {34, 78, 177, 195}},
                 {5, {39, 117, 232, 247}, {44, 108, 216, 233}},
                 {6, {131, 192, 244, 247}, {90, 146, 222, 233}},
                 {7, {75, 125, 200, 210}, {62, 112, 200, 214}}};
    for (const auto& m : modes)
      for (double opacity : {1.0, 0.5})
        ExpectPixel("Composite", cd, cs, {}, opacity == 1.0 ? m.full : m.half,
                    [&](bool lib, std::uint8_t* d, std::uint8_t* s, std::uint8_t*) {
                      (lib ? ::Composite : oracle::Composite)(d, 4, s, 4, 1, 1, m.mode, opacity);
                    });
    ExpectPixel("Composite normal", {200, 100, 50, 255}, {64, 64, 64, 128}, {},
                {164, 114, 89, 255},
                [](bool lib, std::uint8_t* d, std::uint8_t* s, std::uint8_t*) {
                  (lib ? ::Composite : oracle::Composite)(d, 4, s, 4, 1, 1, 1, 1.0);
                });
    ExpectPixel("Composite overlay/screen", {128, 127, 128, 0}, {0, 255, 128, 0}, {},
                {1, 254, 129, 0}, [](bool lib, std::uint8_t* d, std::uint8_t* s, std::uint8_t*) {
                  (lib ? ::Composite : oracle::Composite)(d, 4, s, 4, 1, 1, 5, 1.0);
                });

    auto multiply = [](double factor) {
      return [factor](bool lib, std::uint8_t* d, std::uint8_t*, std::uint8_t*) {
        (lib ? ::Multiply : oracle::Multiply)(d, 4, 1, 1, factor);
      };
    };
    ExpectPixel("Multiply 0.5", {255, 200, 128, 1}, {}, {}, {127, 100, 64, 0}, multiply(0.5));
    ExpectPixel("Multiply 0.3", {255, 200, 128, 1}, {}, {}, {77, 60, 38, 0}, multiply(0.3));
    auto channel = [](double scale, double offset) {
      return [scale, offset](bool lib, std::uint8_t* d, std::uint8_t*, std::uint8_t* m) {
        (lib ? ::MultiplyChannel : oracle::MultiplyChannel)(d, 4, 0, m, 4, 0, 1, 1, scale,
                                                            offset);
        (lib ? ::MultiplyChannel : oracle::MultiplyChannel)(d, 4, 1, m, 4, 1, 1, 1, scale,
                                                            offset);
      };
    };
    ExpectPixel("MultiplyChannel shortcut", {200, 7, 0, 0}, {}, {128, 164, 0, 0},
                {100, 5, 0, 0}, channel(0.99995, 0.0));
    ExpectPixel("MultiplyChannel 0.5", {200, 200, 0, 0}, {}, {128, 255, 0, 0}, {50, 100, 0, 0},
                channel(0.5, 0.0));
    ExpectPixel("MultiplyChannel 2", {200, 200, 0, 0}, {}, {128, 255, 0, 0}, {201, 255, 0, 0},
                channel(2.0, 0.0));
    ExpectPixel("MultiplyChannel +64", {100, 100, 0, 0}, {}, {0, 255, 0, 0}, {25, 125, 0, 0},
                channel(1.0, 64.0));
    ExpectPixel("MultiplyChannel -64", {100, 100, 0, 0}, {}, {0, 0, 0, 0}, {0, 0, 0, 0},
                channel(1.0, -64.0));
    ExpectPixel("MaskMultiply", {200, 200, 200, 255}, {}, {255, 0, 128, 255}, {200, 0, 100, 255},
                [](bool lib, std::uint8_t* d, std::uint8_t*, std::uint8_t* m) {
                  (lib ? ::MaskMultiply : oracle::MaskMultiply)(d, 4, m, 4, 1, 1, -1, 1.0, 0.0);
                });
  }
}

TEST(Oracle, ClipWorkedNumbers) {
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    const float in[3][4] = {{240, 100, 230, 200}, {250, 250, 250, 100}, {229.5f, 1, 2, 3}};
    const float want[3][4] = {{200, 100, 200, 200}, {127.5f, 127.5f, 127.5f, 100},
                              {229.5f, 1, 2, 3}};
    for (int run = 0; run < 2; ++run) {
      float px[3][4];
      std::memcpy(px, in, sizeof px);
      (run == 0 ? ::ClipRestore : oracle::ClipRestore)(&px[0][0], 48, 3, 1, 0.9, 0.5);
      EXPECT_EQ(std::memcmp(px, want, sizeof px), 0) << path.label << " run " << run;
    }
  }
}

}  // namespace
}  // namespace morvex::test
