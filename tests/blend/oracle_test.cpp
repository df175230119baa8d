// Every blending export against its reference version (oracle_blend.h) on
// seeded random calls: sizes 0..70 and a few out of range, padded and
// bottom-up planes chosen per plane, in-place calls where allowed, parameters
// around their thresholds and ties, every host rounding mode and every
// processor path. Whole buffers (padding and guards included) must match.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "blend/oracle_blend.h"
#include "frame/fpu.h"
#include "morvex/native.h"
#include "support/cpu_paths.h"
#include "support/fp_state.h"
#include "support/random.h"
#include "support/stderr_capture.h"
#include "support/test_plane.h"

namespace morvex::test {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::uint32_t kRoundings[] = {kFpRoundNearest, kFpRoundDown, kFpRoundUp,
                                        kFpRoundTowardZero};

// The same plane twice: one for the export, one for the oracle.
struct PlanePair {
  TestPlane lib, ref;
  PlanePair(std::int32_t rowBytes, std::int32_t rows, PlaneShape shape)
      : lib(rowBytes, rows, shape.padding, shape.bottomUp),
        ref(rowBytes, rows, shape.padding, shape.bottomUp) {}
  void Sync() {
    for (std::int32_t y = 0; y < lib.rows(); ++y)
      std::memcpy(ref.Row(y), lib.Row(y), static_cast<std::size_t>(lib.rowBytes()));
  }
};

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

::testing::AssertionResult SameBytes(const TestPlane& lib, const TestPlane& ref) {
  const auto a = lib.Snapshot(), b = ref.Snapshot();
  if (a.size() != b.size()) return ::testing::AssertionFailure() << "sizes differ";
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i])
      return ::testing::AssertionFailure()
             << "byte " << i << " of " << a.size() << ": export " << int(a[i]) << ", oracle "
             << int(b[i]);
  if (!lib.GuardsIntact()) return ::testing::AssertionFailure() << "guards changed";
  return ::testing::AssertionSuccess();
}

std::int32_t RandomWidth(Rng& rng) {
  const int pick = rng.Int(0, 19);
  if (pick == 0) return rng.Int(-3, 0);
  if (pick == 1) return rng.Int(1, 3);
  return rng.Int(0, 70);
}
std::int32_t RandomHeight(Rng& rng) {
  const int pick = rng.Int(0, 19);
  if (pick == 0) return rng.Int(-2, 0);
  return rng.Int(1, pick < 15 ? 3 : 9);
}
// Planes are never allocated for a non-positive size.
std::int32_t Alloc(std::int32_t n) { return n > 0 ? n : 0; }

// Region sizes and plane shapes of a trial: random, or fixed where set.
struct Sizes {
  std::int32_t width = -1, height = -1, padding = -1;
  std::int32_t Width(Rng& rng) const { return width >= 0 ? width : RandomWidth(rng); }
  std::int32_t Height(Rng& rng) const { return height >= 0 ? height : RandomHeight(rng); }
  PlaneShape Shape(Rng& rng, std::int32_t maxPadding = 19) const {
    return padding >= 0 ? PlaneShape{padding, false} : RandomShape(rng, maxPadding);
  }
};

using Trial = std::function<void(Rng&, const Sizes&, const std::string&)>;

// Runs `trial(rng, label)` for every processor path, every host rounding mode
// (and, with `denormals`, every denormal-flushing mode) and `count` seeds. The
// exports of this family write no diagnostics and leave the floating-point
// control state as they found it.
void ForEverySetting(int count, const Trial& trial, bool denormals = false) {
  std::vector<std::uint32_t> modes(std::begin(kRoundings), std::end(kRoundings));
  if (denormals)
    for (std::uint32_t flush : {kFpFlushBoth, kFpFlushOperands, kFpFlushResults})
      modes.push_back(flush | kFpRoundNearest);
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (std::uint32_t mode : modes) {
      FpStateGuard guard;
      ControlFloatingPoint(mode, kFpRoundingField | kFpDenormalField);
      StderrCapture capture;
      for (int i = 0; i < count; ++i) {
        Rng rng(0x0BADC0DEull * (i + 1) + mode);
        const std::string label = std::string(path.label) + " host mode 0x" +
                                  std::to_string(mode) + " seed " + std::to_string(i);
        const FpState before = ReadFpState();
        trial(rng, Sizes{}, label);
        EXPECT_EQ(ReadFpState(), before) << label;
        if (::testing::Test::HasFailure()) return;
      }
      EXPECT_EQ(capture.Take(), "") << path.label;
    }
  }
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

// A random destination and source of one size, filled and synced; one call
// in five reads its source from the destination itself (in place).
struct DstAndSrc {
  DstAndSrc(Rng& rng, const Sizes& draw)
      : w(draw.Width(rng)),
        h(draw.Height(rng)),
        inPlace(rng.Int(0, 4) == 0),
        dst(Alloc(w) * 4, Alloc(h), draw.Shape(rng)),
        src(Alloc(w) * 4, Alloc(h), draw.Shape(rng)) {
    FillPixels(rng, dst.lib);
    FillPixels(rng, src.lib);
    dst.Sync();
    src.Sync();
  }
  const TestPlane& SourceLib() const { return inPlace ? dst.lib : src.lib; }
  const TestPlane& SourceRef() const { return inPlace ? dst.ref : src.ref; }

  std::int32_t w, h;
  bool inPlace;
  PlanePair dst, src;
};

const Trial kBlendTrial = [](Rng& rng, const Sizes& draw, const std::string& label) {
  DstAndSrc p(rng, draw);
  const std::int32_t w = p.w, h = p.h;
  const bool inPlace = p.inPlace;
  const PlanePair &dst = p.dst, &src = p.src;
  const double weight = BlendWeight(rng);
  const TestPlane& sl = p.SourceLib();
  const TestPlane& sr = p.SourceRef();
  const auto r1 = Blend(dst.lib.first(), dst.lib.stride(), sl.first(), sl.stride(), w, h, weight);
  const auto r2 = oracle::Blend(dst.ref.first(), dst.ref.stride(), sr.first(), sr.stride(), w,
                                h, weight);
  ASSERT_EQ(r1, r2) << label;
  ASSERT_TRUE(SameBytes(dst.lib, dst.ref)) << label << " w=" << w << " h=" << h
                                           << " weight=" << weight << " inPlace=" << inPlace;
  ASSERT_TRUE(SameBytes(src.lib, src.ref)) << label;
};

Trial MaskedTrial(bool fade) {
  return [fade](Rng& rng, const Sizes& draw, const std::string& label) {
    const std::int32_t w = draw.Width(rng), h = draw.Height(rng);
    const bool inPlace = rng.Int(0, 4) == 0;
    PlanePair dst(Alloc(w) * 4, Alloc(h), draw.Shape(rng));
    PlanePair mask(Alloc(w) * 4, Alloc(h), draw.Shape(rng));
    PlanePair src(Alloc(w) * 4, Alloc(h), draw.Shape(rng));
    FillPixels(rng, dst.lib);
    FillPixels(rng, src.lib);
    FillPixels(rng, mask.lib);
    dst.Sync();
    src.Sync();
    mask.Sync();
    std::vector<std::uint8_t> lut(1024);
    const bool withLut = !fade && rng.Bool();
    rng.Fill(lut.data(), lut.size());
    const TestPlane& sl = inPlace ? dst.lib : src.lib;
    const TestPlane& sr = inPlace ? dst.ref : src.ref;
    // The mask may be the source plane too: both are only read.
    const bool maskIsSource = !inPlace && rng.Int(0, 5) == 0;
    const TestPlane& ml = maskIsSource ? src.lib : mask.lib;
    const TestPlane& mr = maskIsSource ? src.ref : mask.ref;
    std::uint8_t r1, r2;
    if (fade) {
      r1 = MaskedFade(dst.lib.first(), dst.lib.stride(), ml.first(), ml.stride(), sl.first(),
                      sl.stride(), w, h);
      r2 = oracle::MaskedFade(dst.ref.first(), dst.ref.stride(), mr.first(), mr.stride(),
                              sr.first(), sr.stride(), w, h);
    } else {
      const std::uint8_t* table = withLut ? lut.data() : nullptr;
      r1 = MaskedBlend(dst.lib.first(), dst.lib.stride(), ml.first(), ml.stride(), sl.first(),
                       sl.stride(), w, h, table);
      r2 = oracle::MaskedBlend(dst.ref.first(), dst.ref.stride(), mr.first(), mr.stride(),
                               sr.first(), sr.stride(), w, h, table);
    }
    ASSERT_EQ(r1, r2) << label;
    ASSERT_TRUE(SameBytes(dst.lib, dst.ref))
        << label << " w=" << w << " h=" << h << " lut=" << withLut << " inPlace=" << inPlace;
    ASSERT_TRUE(SameBytes(src.lib, src.ref)) << label;
    ASSERT_TRUE(SameBytes(mask.lib, mask.ref)) << label;
  };
}

TEST(Oracle, Blend) { ForEverySetting(40, kBlendTrial); }
TEST(Oracle, MaskedBlend) { ForEverySetting(40, MaskedTrial(false)); }
TEST(Oracle, MaskedFade) { ForEverySetting(40, MaskedTrial(true)); }

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

const Trial kCompositeTrial = [](Rng& rng, const Sizes& draw, const std::string& label) {
  DstAndSrc p(rng, draw);
  const std::int32_t w = p.w, h = p.h;
  const bool inPlace = p.inPlace;
  const PlanePair &dst = p.dst, &src = p.src;
  std::int32_t mode = rng.Int(1, 7);
  if (rng.Int(0, 9) == 0) mode = static_cast<std::int32_t>(Pick(rng, {0, 2, 8, -1, 9, 1000}));
  if (rng.Int(0, 49) == 0) mode = rng.Bool() ? INT_MIN : INT_MAX;
  const double opacity = Opacity(rng);
  const TestPlane& sl = p.SourceLib();
  const TestPlane& sr = p.SourceRef();
  const auto r1 = Composite(dst.lib.first(), dst.lib.stride(), sl.first(), sl.stride(), w, h,
                            mode, opacity);
  const auto r2 = oracle::Composite(dst.ref.first(), dst.ref.stride(), sr.first(), sr.stride(),
                                    w, h, mode, opacity);
  ASSERT_EQ(r1, r2) << label << " mode " << mode;
  ASSERT_TRUE(SameBytes(dst.lib, dst.ref)) << label << " w=" << w << " h=" << h << " mode="
                                           << mode << " opacity=" << opacity
                                           << " inPlace=" << inPlace;
  ASSERT_TRUE(SameBytes(src.lib, src.ref)) << label;
};

TEST(Oracle, Composite) { ForEverySetting(50, kCompositeTrial); }

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

const Trial kMultiplyTrial = [](Rng& rng, const Sizes& draw, const std::string& label) {
  const std::int32_t w = draw.Width(rng), h = draw.Height(rng);
  PlanePair dst(Alloc(w) * 4, Alloc(h), draw.Shape(rng));
  FillPixels(rng, dst.lib);
  dst.Sync();
  const double factor = Factor(rng);
  const auto r1 = Multiply(dst.lib.first(), dst.lib.stride(), w, h, factor);
  const auto r2 = oracle::Multiply(dst.ref.first(), dst.ref.stride(), w, h, factor);
  ASSERT_EQ(r1, r2) << label;
  ASSERT_TRUE(SameBytes(dst.lib, dst.ref))
      << label << " w=" << w << " h=" << h << " factor=" << factor;
};

TEST(Oracle, Multiply) { ForEverySetting(40, kMultiplyTrial); }

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

const Trial kMultiplyChannelTrial = [](Rng& rng, const Sizes& draw, const std::string& label) {
  const std::int32_t w = draw.Width(rng), h = draw.Height(rng);
  const bool sameMask = rng.Int(0, 4) == 0;
  PlanePair dst(Alloc(w) * 4, Alloc(h), draw.Shape(rng));
  PlanePair mask(Alloc(w) * 4, Alloc(h), draw.Shape(rng));
  FillPixels(rng, dst.lib);
  FillPixels(rng, mask.lib);
  dst.Sync();
  mask.Sync();
  const std::uint32_t dc = Channel(rng), mc = Channel(rng);
  const auto [scale, offset] = Remap(rng);
  const TestPlane& ml = sameMask ? dst.lib : mask.lib;
  const TestPlane& mr = sameMask ? dst.ref : mask.ref;
  const auto r1 = MultiplyChannel(dst.lib.first(), dst.lib.stride(), dc, ml.first(),
                                  ml.stride(), mc, w, h, scale, offset);
  const auto r2 = oracle::MultiplyChannel(dst.ref.first(), dst.ref.stride(), dc, mr.first(),
                                          mr.stride(), mc, w, h, scale, offset);
  ASSERT_EQ(r1, r2) << label << " channels " << dc << "," << mc;
  ASSERT_TRUE(SameBytes(dst.lib, dst.ref))
      << label << " w=" << w << " h=" << h << " channels " << dc << "," << mc
      << " scale=" << scale << " offset=" << offset << " sameMask=" << sameMask;
  ASSERT_TRUE(SameBytes(mask.lib, mask.ref)) << label;
};

TEST(Oracle, MultiplyChannel) { ForEverySetting(80, kMultiplyChannelTrial); }

const Trial kMaskMultiplyTrial = [](Rng& rng, const Sizes& draw, const std::string& label) {
  const std::int32_t w = draw.Width(rng), h = draw.Height(rng);
  const bool sameMask = rng.Int(0, 4) == 0;
  PlanePair dst(Alloc(w) * 4, Alloc(h), draw.Shape(rng));
  PlanePair mask(Alloc(w) * 4, Alloc(h), draw.Shape(rng));
  FillPixels(rng, dst.lib);
  FillPixels(rng, mask.lib);
  dst.Sync();
  mask.Sync();
  std::int32_t channel = rng.Int(-1, 3);
  if (rng.Int(0, 9) == 0)
    channel = static_cast<std::int32_t>(Pick(rng, {4.0, 5.0, -2.0, -1e9, 1e9}));
  if (rng.Int(0, 49) == 0) channel = rng.Bool() ? INT_MIN : INT_MAX;
  const auto [scale, offset] = Remap(rng);
  const TestPlane& ml = sameMask ? dst.lib : mask.lib;
  const TestPlane& mr = sameMask ? dst.ref : mask.ref;
  const auto r1 = MaskMultiply(dst.lib.first(), dst.lib.stride(), ml.first(), ml.stride(), w,
                               h, channel, scale, offset);
  const auto r2 = oracle::MaskMultiply(dst.ref.first(), dst.ref.stride(), mr.first(),
                                       mr.stride(), w, h, channel, scale, offset);
  ASSERT_EQ(r1, r2) << label << " channel " << channel;
  ASSERT_TRUE(SameBytes(dst.lib, dst.ref))
      << label << " w=" << w << " h=" << h << " channel " << channel << " scale=" << scale
      << " offset=" << offset << " sameMask=" << sameMask;
  ASSERT_TRUE(SameBytes(mask.lib, mask.ref)) << label;
};

TEST(Oracle, MaskMultiply) { ForEverySetting(40, kMaskMultiplyTrial); }

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

const Trial kClipTrial = [](Rng& rng, const Sizes& draw, const std::string& label) {
  const std::int32_t w = draw.Width(rng), h = draw.Height(rng);
  PlanePair dst(Alloc(w) * 16, Alloc(h), draw.Shape(rng, 37));
  double clip = rng.Real(0.0, 1.1), restore = rng.Real(-0.1, 1.1);
  switch (rng.Int(0, 4)) {
    case 0: clip = Pick(rng, {0.9, 0.99, 1.0, 0.0, 0.1, 1.0 / 3.0}); break;
    case 1: restore = Pick(rng, {0.5, 0.0, -0.0, 1.0, 0.7}); break;
    case 2: clip = Pick(rng, {kNaN, kInf, -kInf, -1.0, 1e300});
            restore = Pick(rng, {kNaN, kInf, -kInf, 0.5, -1e300}); break;
    default: break;
  }
  // T and F as the oracle derives them, for values placed on and beside them.
  const float t = static_cast<float>(clip * 255.0), f = static_cast<float>(restore * 255.0);
  for (std::int32_t y = 0; y < dst.lib.rows(); ++y)
    for (std::int32_t x = 0; x < Alloc(w) * 4; ++x) {
      const float v = rng.Int(0, 3) == 0 ? SpecialFloat(rng, t, f)
                                         : static_cast<float>(rng.Real(-20.0, 290.0));
      dst.lib.Set<float>(4 * x, y, v);
    }
  dst.Sync();
  const bool focus = rng.Bool();
  const auto r1 = focus ? FocusPrep(dst.lib.floats(), dst.lib.stride(), w, h, clip, restore)
                        : ClipRestore(dst.lib.floats(), dst.lib.stride(), w, h, clip, restore);
  const auto r2 = oracle::ClipRestore(dst.ref.floats(), dst.ref.stride(), w, h, clip, restore);
  ASSERT_EQ(r1, r2) << label;
  ASSERT_TRUE(SameBytes(dst.lib, dst.ref)) << label << " w=" << w << " h=" << h
                                           << " clip=" << clip << " restore=" << restore
                                           << " focus=" << focus;
};

TEST(Oracle, ClipRestoreAndFocusPrep) { ForEverySetting(40, kClipTrial, /*denormals=*/true); }

// The vector kernels start their whole vectors at the first aligned pixel of
// each row: every start offset of a row modulo 64 bytes (row 1 of a plane
// whose padding runs through 0..63), with widths that leave heads, groups
// and tails of every kind, on every path.
TEST(Oracle, EveryRowAlignment) {
  const Trial trials[] = {kBlendTrial,     MaskedTrial(false),    MaskedTrial(true),
                          kCompositeTrial, kMultiplyTrial,        kMultiplyChannelTrial,
                          kMaskMultiplyTrial, kClipTrial};
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    for (std::int32_t padding = 0; padding < 64; ++padding)
      for (std::int32_t width : {5, 19, 40}) {
        const Sizes sizes{width, 2, padding};
        for (std::size_t t = 0; t < std::size(trials); ++t) {
          Rng rng(padding * 131 + width * 7 + t);
          trials[t](rng, sizes,
                    std::string(path.label) + " trial " + std::to_string(t) + " padding " +
                        std::to_string(padding) + " width " + std::to_string(width));
          if (::testing::Test::HasFailure()) return;
        }
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
