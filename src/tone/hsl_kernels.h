// The vector kernels of HslScaleOffset, written once over frame/simd's
// double-precision lanes and instantiated per instruction set: one pixel per
// double lane, each vector of pixels converted half by half.
//
// Every lane gives the bits of HslScaleOffsetPixel. Branches become compares
// and selects; where a step takes another route than the one-pixel code, the
// route is exact for every input it meets:
// - The quotients of the hue (by 6 and twice by d) go through I::DivideD
//   with a shared divisor, a reciprocal and one fused correction step on
//   AVX-512. The forward conversion depends on the three colour bytes alone,
//   and a test compares it with the one-pixel form for all 2^24 colours on
//   every path.
// - The segment tests 6h < 1 and 3h < 2 of HueToChannel compare h with the
//   smallest double whose product reaches the bound (a product rounded to
//   nearest is monotonic in h); 2h < 1 is exactly h < 0.5.
// - The alpha byte is kept: ToByte(a * k) gives a back for each of the 256
//   bytes (tested), and alpha does not depend on the parameters.
#pragma once

#include "frame/simd/walk.h"
#include "tone/hsl.h"

namespace morvex::tone {

inline constexpr double kSixthReach = FirstReaching(6.0, 1.0);      // h < this  <=>  6h < 1
inline constexpr double kTwoThirdsReach = FirstReaching(3.0, 2.0);  // h < this  <=>  3h < 2
static_assert(kSixthReach < 0.5 && kTwoThirdsReach > 0.5);

// Two sets of lanes of L as one: every double operation is applied to both
// in turn, so the instruction stream interleaves their dependency chains.
// (One chain alone, converted in sequence, is long enough to leave the
// processor waiting on it.)
template <class L>
struct Twice {
  struct H {
    typename L::H lo, hi;
  };
  struct D {
    typename L::D lo, hi;
  };
  struct DMask {
    typename L::DMask lo, hi;
  };
  struct DDivisor {
    typename L::DDivisor lo, hi;
  };

  static MORVEX_INLINE D SetD(double v) {
    const typename L::D both = L::SetD(v);
    return {both, both};
  }
  static MORVEX_INLINE D AddD(D a, D b) { return {L::AddD(a.lo, b.lo), L::AddD(a.hi, b.hi)}; }
  static MORVEX_INLINE D SubD(D a, D b) { return {L::SubD(a.lo, b.lo), L::SubD(a.hi, b.hi)}; }
  static MORVEX_INLINE D MulD(D a, D b) { return {L::MulD(a.lo, b.lo), L::MulD(a.hi, b.hi)}; }
  static MORVEX_INLINE D DivD(D a, D b) { return {L::DivD(a.lo, b.lo), L::DivD(a.hi, b.hi)}; }
  static MORVEX_INLINE D MinD(D a, D b) { return {L::MinD(a.lo, b.lo), L::MinD(a.hi, b.hi)}; }
  static MORVEX_INLINE D MaxD(D a, D b) { return {L::MaxD(a.lo, b.lo), L::MaxD(a.hi, b.hi)}; }
  static MORVEX_INLINE DMask LtD(D a, D b) { return {L::LtD(a.lo, b.lo), L::LtD(a.hi, b.hi)}; }
  static MORVEX_INLINE DMask GtD(D a, D b) { return {L::GtD(a.lo, b.lo), L::GtD(a.hi, b.hi)}; }
  static MORVEX_INLINE DMask EqD(D a, D b) { return {L::EqD(a.lo, b.lo), L::EqD(a.hi, b.hi)}; }
  static MORVEX_INLINE D SelectD(DMask m, D a, D b) {
    return {L::SelectD(m.lo, a.lo, b.lo), L::SelectD(m.hi, a.hi, b.hi)};
  }
  static MORVEX_INLINE D SumWhereD(DMask m, D a, D b, D otherwise) {
    return {L::SumWhereD(m.lo, a.lo, b.lo, otherwise.lo),
            L::SumWhereD(m.hi, a.hi, b.hi, otherwise.hi)};
  }
  static MORVEX_INLINE D DifferenceWhereD(DMask m, D a, D b, D otherwise) {
    return {L::DifferenceWhereD(m.lo, a.lo, b.lo, otherwise.lo),
            L::DifferenceWhereD(m.hi, a.hi, b.hi, otherwise.hi)};
  }
  static constexpr int kDoubles = 2 * L::kDoubles;
  static MORVEX_INLINE D LoadD(const double* p) {
    return {L::LoadD(p), L::LoadD(p + L::kDoubles)};
  }
  static MORVEX_INLINE void StoreD(double* p, D v) {
    L::StoreD(p, v.lo);
    L::StoreD(p + L::kDoubles, v.hi);
  }
  static MORVEX_INLINE D ToDoubleD(H h) { return {L::ToDoubleD(h.lo), L::ToDoubleD(h.hi)}; }
  static MORVEX_INLINE H ConvertCurrentModeD(D v) {
    return {L::ConvertCurrentModeD(v.lo), L::ConvertCurrentModeD(v.hi)};
  }
  static MORVEX_INLINE DDivisor Divisor(D b) { return {L::Divisor(b.lo), L::Divisor(b.hi)}; }
  static MORVEX_INLINE D DivideD(D n, const DDivisor& d) {
    return {L::DivideD(n.lo, d.lo), L::DivideD(n.hi, d.hi)};
  }
};

// Both halves of a pixel vector as one lane set.
template <class I>
struct Halves : Twice<I> {
  using V = typename I::V;
  using H = typename Twice<I>::H;
  static MORVEX_INLINE H Split(V v) { return {I::LowHalf(v), I::HighHalf(v)}; }
  static MORVEX_INLINE V Join(H h) { return I::JoinHalves(h.lo, h.hi); }
};

// The arithmetic over a lane set L (the double operations of frame/simd, or
// Halves of them): one pixel per double lane.
template <class L>
struct HslLanes {
  using H = typename L::H;
  using D = typename L::D;
  using M = typename L::DMask;

  // The constants, made where they are used: the compiler may then fold
  // them into the instructions as broadcast memory operands instead of
  // keeping each in a register.
  struct Constants {
    static MORVEX_INLINE D zero() { return L::SetD(0.0); }
    static MORVEX_INLINE D half() { return L::SetD(0.5); }
    static MORVEX_INLINE D one() { return L::SetD(1.0); }
    static MORVEX_INLINE D two() { return L::SetD(2.0); }
    static MORVEX_INLINE D six() { return L::SetD(6.0); }
    static MORVEX_INLINE D byteScale() { return L::SetD(255.0); }
    static MORVEX_INLINE D k() { return L::SetD(kByteToUnit); }
    static MORVEX_INLINE D achromatic() { return L::SetD(kAchromatic); }
    static MORVEX_INLINE D third() { return L::SetD(kOneThird); }
    static MORVEX_INLINE D twoThirds() { return L::SetD(kTwoThirds); }
    static MORVEX_INLINE D sixthReach() { return L::SetD(kSixthReach); }
    static MORVEX_INLINE D twoThirdsReach() { return L::SetD(kTwoThirdsReach); }
    static MORVEX_INLINE typename L::DDivisor bySix() { return L::Divisor(L::SetD(6.0)); }
  };

  // The six parameters, one per lane.
  struct Adjustment {
    D hueScale, saturationScale, lightnessScale, hueOffset, saturationOffset, lightnessOffset;
    explicit Adjustment(const HslAdjustment& adj)
        : hueScale(L::SetD(adj.hueScale)),
          saturationScale(L::SetD(adj.saturationScale)),
          lightnessScale(L::SetD(adj.lightnessScale)),
          hueOffset(L::SetD(adj.hueOffset)),
          saturationOffset(L::SetD(adj.saturationOffset)),
          lightnessOffset(L::SetD(adj.lightnessOffset)) {}
  };

  struct Hsl {
    D hue, saturation, lightness;
  };

  // A colour byte per 32-bit word, times k.
  static MORVEX_INLINE D Unit(H bytes, const Constants& c) {
    return L::MulD(L::ToDoubleD(bytes), c.k());
  }

  // h + 1 below 0, h - 1 above 1 (once), h otherwise.
  static MORVEX_INLINE D Wrap(D h, const Constants& c) {
    const M below = L::LtD(h, c.zero()), above = L::GtD(h, c.one());
    return L::DifferenceWhereD(above, h, c.one(), L::SumWhereD(below, h, c.one(), h));
  }

  // RgbToHsl of the colour bytes b, g, r (one pixel per lane), without alpha.
  static MORVEX_INLINE Hsl Forward(H blue, H green, H red, const Constants& c) {
    const D b = Unit(blue, c), g = Unit(green, c), r = Unit(red, c);
    const D min = L::MinD(L::MinD(r, g), b);
    const D max = L::MaxD(L::MaxD(r, g), b);
    const D d = L::SubD(max, min);
    const D sum = L::AddD(min, max);
    Hsl out;
    out.lightness = L::MulD(sum, c.half());
    // Gray lanes (exactly those whose largest and smallest bytes are equal)
    // divide by 1 instead of 0, so no lane raises a division exception the
    // one-pixel form would not. Their d is +0, and so every quotient below:
    // their saturation is +0 and their hue (red sector, offset 0) too, as the
    // one-pixel form sets them.
    const M gray = L::LtD(d, c.achromatic());
    const D spread =
        L::SelectD(L::LtD(out.lightness, c.half()), sum, L::SubD(L::SubD(c.two(), max), min));
    out.saturation = L::DivD(d, L::SelectD(gray, c.one(), spread));
    // The hue needs two of dR, dG and dB, never the largest component's:
    // red sector dB - dG, green (dR + 1/3) - dB, blue (dG + 2/3) - dR. Each
    // lane picks its two components (sector tests red first); adding 0 in the
    // red sector leaves dB as it is.
    const M isRed = L::EqD(max, r), isGreen = L::EqD(max, g);
    const D first = L::SelectD(isRed, b, L::SelectD(isGreen, r, g));
    const D second = L::SelectD(isRed, g, L::SelectD(isGreen, b, r));
    const D offset = L::SelectD(isRed, c.zero(), L::SelectD(isGreen, c.third(), c.twoThirds()));
    const typename L::DDivisor byD = L::Divisor(L::SelectD(gray, c.one(), d));
    const D halfD = L::MulD(c.half(), d);
    const D dFirst = L::DivideD(L::AddD(L::DivideD(L::SubD(max, first), c.bySix()), halfD), byD);
    const D dSecond = L::DivideD(L::AddD(L::DivideD(L::SubD(max, second), c.bySix()), halfD), byD);
    out.hue = Wrap(L::SubD(L::AddD(dFirst, offset), dSecond), c);
    return out;
  }

  // HueToChannel, with q - p and 6 (q - p) computed once for the three hues.
  // The segment tests nest (rising within flat within falling), so each
  // later choice overrides the earlier ones.
  static MORVEX_INLINE D HueToChannel(D p, D q, D qp, D sixQp, D h, const Constants& c) {
    h = Wrap(h, c);
    const D falling = L::MulD(c.six(), L::MulD(L::SubD(c.twoThirds(), h), qp));
    D v = L::SumWhereD(L::LtD(h, c.twoThirdsReach()), p, falling, p);
    v = L::SelectD(L::LtD(h, c.half()), q, v);
    return L::SumWhereD(L::LtD(h, c.sixthReach()), p, L::MulD(h, sixQp), v);
  }

  // ToByte's integer before its low 8 bits are taken.
  static MORVEX_INLINE H ToInteger(D x, const Constants& c) {
    return L::ConvertCurrentModeD(L::MulD(x, c.byteScale()));
  }

  struct Integers {
    H blue, green, red;
  };

  // HslToRgb of one pixel per lane, up to the integers whose low bytes
  // ToByte stores.
  static MORVEX_INLINE Integers Backward(D h, D s, D l, const Constants& c) {
    const D q = L::SelectD(L::LtD(l, c.half()), L::MulD(L::AddD(s, c.one()), l),
                           L::SubD(L::AddD(l, s), L::MulD(s, l)));
    const D p = L::SubD(L::AddD(l, l), q);
    const D qp = L::SubD(q, p), sixQp = L::MulD(c.six(), qp);
    const M achromatic = L::EqD(s, c.zero());
    const D r = L::SelectD(achromatic, l, HueToChannel(p, q, qp, sixQp, L::AddD(h, c.third()), c));
    const D g = L::SelectD(achromatic, l, HueToChannel(p, q, qp, sixQp, h, c));
    const D b = L::SelectD(achromatic, l, HueToChannel(p, q, qp, sixQp, L::SubD(h, c.third()), c));
    return {ToInteger(b, c), ToInteger(g, c), ToInteger(r, c)};
  }

  // Each component times its scale plus its offset, then back to RGB.
  static MORVEX_INLINE Integers Backward(const Hsl& hsl, const Adjustment& a,
                                         const Constants& c) {
    return Backward(L::AddD(L::MulD(hsl.hue, a.hueScale), a.hueOffset),
                    L::AddD(L::MulD(hsl.saturation, a.saturationScale), a.saturationOffset),
                    L::AddD(L::MulD(hsl.lightness, a.lightnessScale), a.lightnessOffset), c);
  }
};

// Colour byte `shift / 8` of every pixel of a vector, one per 32-bit word.
template <class I, int kShift>
MORVEX_INLINE typename I::V ColourBytes(typename I::V pixels) {
  return I::And(I::template Srli32<kShift>(pixels), I::Set32(0xFF));
}

// The vector kernels' steps on whole pixel vectors, both halves at once.
template <class I>
struct HslVectors {
  using V = typename I::V;
  using One = Halves<I>;

  template <int kShift>
  static MORVEX_INLINE typename One::H Split(V pixels) {
    return One::Split(ColourBytes<I, kShift>(pixels));
  }

  // The pixels' new colour bytes (the low bytes of the integers) under their
  // own alpha.
  static MORVEX_INLINE V Pack(V pixels, typename One::H blue, typename One::H green,
                              typename One::H red) {
    const V low = I::Set32(0xFF);
    const V b = I::And(One::Join(blue), low);
    const V g = I::And(One::Join(green), low);
    const V r = I::And(One::Join(red), low);
    const V alpha = I::And(pixels, I::Set32(static_cast<std::int32_t>(0xFF000000u)));
    return I::Or(I::Or(b, I::template Slli32<8>(g)), I::Or(I::template Slli32<16>(r), alpha));
  }

  // The pixels' HSL components adjusted and converted back, under their
  // own alpha.
  static MORVEX_INLINE V AdjustBack(V pixels, const typename HslLanes<One>::Hsl& hsl,
                                    const typename HslLanes<One>::Adjustment& a,
                                    const typename HslLanes<One>::Constants& c) {
    const typename HslLanes<One>::Integers out = HslLanes<One>::Backward(hsl, a, c);
    return Pack(pixels, out.blue, out.green, out.red);
  }

  static MORVEX_INLINE V AdjustOne(V pixels, const typename HslLanes<One>::Adjustment& a,
                                   const typename HslLanes<One>::Constants& c) {
    return AdjustBack(
        pixels, HslLanes<One>::Forward(Split<0>(pixels), Split<8>(pixels), Split<16>(pixels), c),
        a, c);
  }
};

// Chunks of kStaged vectors in two phases: first each vector is converted to
// HSL and its components are staged in L1, then each is adjusted and
// converted back. Each phase keeps fewer values live than the whole chain
// would, so the registers hold them (the spills of one long chain per vector
// cost about a sixth of the time).
// The last pixels: whole vectors, then masked on AVX-512 or one by one
// elsewhere. (The kernel is bound by arithmetic, not by memory, so it does not
// align its vectors as simd::WalkRow does.)
template <class I>
void HslScaleOffsetRow(Byte* row, std::int32_t width, const HslAdjustment& adj) {
  using K = HslVectors<I>;
  using One = typename K::One;
  using V = typename I::V;
  constexpr std::int32_t kGroup = I::kBytes / kArgbImageBytes;
  constexpr std::int32_t kStaged = 4;  // vectors per chunk
  alignas(64) double staged[3][kStaged * kGroup];
  const typename HslLanes<One>::Constants c;
  const typename HslLanes<One>::Adjustment a(adj);
  std::int32_t x = 0;
  for (; x + kStaged * kGroup <= width; x += kStaged * kGroup) {
    Byte* const chunk = row + 4 * x;
    for (std::int32_t i = 0; i < kStaged * kGroup; i += kGroup) {
      const V px = I::Load(chunk + 4 * i);
      const typename HslLanes<One>::Hsl hsl = HslLanes<One>::Forward(
          K::template Split<0>(px), K::template Split<8>(px), K::template Split<16>(px), c);
      One::StoreD(staged[0] + i, hsl.hue);
      One::StoreD(staged[1] + i, hsl.saturation);
      One::StoreD(staged[2] + i, hsl.lightness);
    }
    for (std::int32_t i = 0; i < kStaged * kGroup; i += kGroup) {
      const typename HslLanes<One>::Hsl hsl = {
          One::LoadD(staged[0] + i), One::LoadD(staged[1] + i), One::LoadD(staged[2] + i)};
      Byte* const p = chunk + 4 * i;
      I::Store(p, K::AdjustBack(I::Load(p), hsl, a, c));
    }
  }
  for (; x + kGroup <= width; x += kGroup)
    I::Store(row + 4 * x, K::AdjustOne(I::Load(row + 4 * x), a, c));
  if constexpr (I::kPartialGroups) {
    if (x < width) {
      const auto part = I::Part(width - x);
      part.Store(row + 4 * x, K::AdjustOne(part.Load(row + 4 * x), a, c));
    }
  } else {
    for (; x < width; ++x) StoreU32(row + 4 * x, HslScaleOffsetPixel(LoadU32(row + 4 * x), adj));
  }
}

template <class I>
void HslForwardRow(const Byte* row, std::int32_t width, double* hue, double* saturation,
                   double* lightness) {
  using K = HslVectors<I>;
  using L = HslLanes<typename K::One>;
  const typename L::Constants c;
  constexpr std::int32_t kHalf = I::kDoubles;
  std::int32_t x = 0;
  for (; x + 2 * kHalf <= width; x += 2 * kHalf) {
    const typename I::V pixels = I::Load(row + 4 * x);
    const typename L::Hsl hsl = L::Forward(K::template Split<0>(pixels),
                                           K::template Split<8>(pixels),
                                           K::template Split<16>(pixels), c);
    I::StoreD(hue + x, hsl.hue.lo);
    I::StoreD(hue + x + kHalf, hsl.hue.hi);
    I::StoreD(saturation + x, hsl.saturation.lo);
    I::StoreD(saturation + x + kHalf, hsl.saturation.hi);
    I::StoreD(lightness + x, hsl.lightness.lo);
    I::StoreD(lightness + x + kHalf, hsl.lightness.hi);
  }
  for (; x < width; ++x) {
    const HslColor color = RgbToHsl(LoadU32(row + 4 * x));
    hue[x] = color.hue;
    saturation[x] = color.saturation;
    lightness[x] = color.lightness;
  }
}

template <class I>
constexpr HslKernels MakeHslKernels() {
  return {&HslScaleOffsetRow<I>, &HslForwardRow<I>};
}

}  // namespace morvex::tone
