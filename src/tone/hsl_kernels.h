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

template <class I>
struct HslLanes {
  using V = typename I::V;
  using H = typename I::H;
  using D = typename I::D;
  using M = typename I::DMask;

  struct Constants {
    D zero = I::SetD(0.0), half = I::SetD(0.5), one = I::SetD(1.0), two = I::SetD(2.0);
    D six = I::SetD(6.0), byteScale = I::SetD(255.0);
    D k = I::SetD(kByteToUnit), achromatic = I::SetD(kAchromatic);
    D third = I::SetD(kOneThird), twoThirds = I::SetD(kTwoThirds);
    D sixthReach = I::SetD(kSixthReach), twoThirdsReach = I::SetD(kTwoThirdsReach);
    typename I::DDivisor bySix = I::Divisor(I::SetD(6.0));
  };

  // The six parameters, one per lane.
  struct Adjustment {
    D hueScale, saturationScale, lightnessScale, hueOffset, saturationOffset, lightnessOffset;
    explicit Adjustment(const HslAdjustment& adj)
        : hueScale(I::SetD(adj.hueScale)),
          saturationScale(I::SetD(adj.saturationScale)),
          lightnessScale(I::SetD(adj.lightnessScale)),
          hueOffset(I::SetD(adj.hueOffset)),
          saturationOffset(I::SetD(adj.saturationOffset)),
          lightnessOffset(I::SetD(adj.lightnessOffset)) {}
  };

  struct Hsl {
    D hue, saturation, lightness;
  };

  // A colour byte per 32-bit word, times k.
  static MORVEX_INLINE D Unit(H bytes, const Constants& c) {
    return I::MulD(I::ToDoubleD(bytes), c.k);
  }

  // h + 1 below 0, h - 1 above 1 (once), h otherwise.
  static MORVEX_INLINE D Wrap(D h, const Constants& c) {
    return I::SelectD(I::LtD(h, c.zero), I::AddD(h, c.one),
                      I::SelectD(I::GtD(h, c.one), I::SubD(h, c.one), h));
  }

  // RgbToHsl of the colour bytes b, g, r (one pixel per lane), without alpha.
  static MORVEX_INLINE Hsl Forward(H blue, H green, H red, const Constants& c) {
    const D b = Unit(blue, c), g = Unit(green, c), r = Unit(red, c);
    const D min = I::MinD(I::MinD(r, g), b);
    const D max = I::MaxD(I::MaxD(r, g), b);
    const D d = I::SubD(max, min);
    const D sum = I::AddD(min, max);
    Hsl out;
    out.lightness = I::MulD(sum, c.half);
    // Gray lanes divide by 1 instead of 0 and are set to 0 afterwards, so no
    // lane raises a division exception the one-pixel form would not.
    const M gray = I::LtD(d, c.achromatic);
    const D spread =
        I::SelectD(I::LtD(out.lightness, c.half), sum, I::SubD(I::SubD(c.two, max), min));
    out.saturation = I::SelectD(gray, c.zero, I::DivD(d, I::SelectD(gray, c.one, spread)));
    // The hue needs two of dR, dG and dB, never the largest component's:
    // red sector dB - dG, green (dR + 1/3) - dB, blue (dG + 2/3) - dR. Each
    // lane picks its two components (sector tests red first); adding 0 in the
    // red sector leaves dB as it is.
    const M isRed = I::EqD(max, r), isGreen = I::EqD(max, g);
    const D first = I::SelectD(isRed, b, I::SelectD(isGreen, r, g));
    const D second = I::SelectD(isRed, g, I::SelectD(isGreen, b, r));
    const D offset = I::SelectD(isRed, c.zero, I::SelectD(isGreen, c.third, c.twoThirds));
    const typename I::DDivisor byD = I::Divisor(I::SelectD(gray, c.one, d));
    const D halfD = I::MulD(c.half, d);
    const D dFirst = I::DivideD(I::AddD(I::DivideD(I::SubD(max, first), c.bySix), halfD), byD);
    const D dSecond = I::DivideD(I::AddD(I::DivideD(I::SubD(max, second), c.bySix), halfD), byD);
    const D hue = Wrap(I::SubD(I::AddD(dFirst, offset), dSecond), c);
    out.hue = I::SelectD(gray, c.zero, hue);
    return out;
  }

  // HueToChannel, with q - p and 6 (q - p) computed once for the three hues.
  static MORVEX_INLINE D HueToChannel(D p, D q, D qp, D sixQp, D h, const Constants& c) {
    h = Wrap(h, c);
    const D rising = I::AddD(p, I::MulD(h, sixQp));
    const D falling = I::AddD(p, I::MulD(c.six, I::MulD(I::SubD(c.twoThirds, h), qp)));
    return I::SelectD(I::LtD(h, c.sixthReach), rising,
                      I::SelectD(I::LtD(h, c.half), q,
                                 I::SelectD(I::LtD(h, c.twoThirdsReach), falling, p)));
  }

  // ToByte's integer before its low 8 bits are taken.
  static MORVEX_INLINE H ToInteger(D x, const Constants& c) {
    return I::ConvertCurrentModeD(I::MulD(x, c.byteScale));
  }

  struct Integers {
    H blue, green, red;
  };

  // HslToRgb of one pixel per lane, up to the integers whose low bytes
  // ToByte stores.
  static MORVEX_INLINE Integers Backward(D h, D s, D l, const Constants& c) {
    const D q = I::SelectD(I::LtD(l, c.half), I::MulD(I::AddD(s, c.one), l),
                           I::SubD(I::AddD(l, s), I::MulD(s, l)));
    const D p = I::SubD(I::AddD(l, l), q);
    const D qp = I::SubD(q, p), sixQp = I::MulD(c.six, qp);
    const M achromatic = I::EqD(s, c.zero);
    const D r = I::SelectD(achromatic, l, HueToChannel(p, q, qp, sixQp, I::AddD(h, c.third), c));
    const D g = I::SelectD(achromatic, l, HueToChannel(p, q, qp, sixQp, h, c));
    const D b = I::SelectD(achromatic, l, HueToChannel(p, q, qp, sixQp, I::SubD(h, c.third), c));
    return {ToInteger(b, c), ToInteger(g, c), ToInteger(r, c)};
  }

  // One half of a pixel vector through HslScaleOffsetPixel, without alpha.
  static MORVEX_INLINE Integers AdjustHalf(H blue, H green, H red, const Adjustment& a,
                                           const Constants& c) {
    const Hsl hsl = Forward(blue, green, red, c);
    return Backward(I::AddD(I::MulD(hsl.hue, a.hueScale), a.hueOffset),
                    I::AddD(I::MulD(hsl.saturation, a.saturationScale), a.saturationOffset),
                    I::AddD(I::MulD(hsl.lightness, a.lightnessScale), a.lightnessOffset), c);
  }

  // Colour byte `shift / 8` of every pixel, one per 32-bit word.
  template <int kShift>
  static MORVEX_INLINE V Bytes(V pixels) {
    return I::And(I::template Srli32<kShift>(pixels), I::Set32(0xFF));
  }

  static MORVEX_INLINE V Adjust(V pixels, const Adjustment& a, const Constants& c) {
    const V b = Bytes<0>(pixels), g = Bytes<8>(pixels), r = Bytes<16>(pixels);
    const Integers lo = AdjustHalf(I::LowHalf(b), I::LowHalf(g), I::LowHalf(r), a, c);
    const Integers hi = AdjustHalf(I::HighHalf(b), I::HighHalf(g), I::HighHalf(r), a, c);
    const V low = I::Set32(0xFF);
    const V blue = I::And(I::JoinHalves(lo.blue, hi.blue), low);
    const V green = I::And(I::JoinHalves(lo.green, hi.green), low);
    const V red = I::And(I::JoinHalves(lo.red, hi.red), low);
    const V alpha = I::And(pixels, I::Set32(static_cast<std::int32_t>(0xFF000000u)));
    return I::Or(I::Or(blue, I::template Slli32<8>(green)),
                 I::Or(I::template Slli32<16>(red), alpha));
  }
};

template <class I>
void HslScaleOffsetRow(Byte* row, std::int32_t width, const HslAdjustment& adj) {
  using L = HslLanes<I>;
  const typename L::Constants c;
  const typename L::Adjustment a(adj);
  simd::WalkRow<I, kArgbImageBytes>(
      width, row,
      [&](std::ptrdiff_t x, const auto& io) {
        io.Store(row + 4 * x, L::Adjust(io.Load(row + 4 * x), a, c));
      },
      [&](std::ptrdiff_t x) {
        StoreU32(row + 4 * x, HslScaleOffsetPixel(LoadU32(row + 4 * x), adj));
      });
}

template <class I>
void HslForwardRow(const Byte* row, std::int32_t width, double* hue, double* saturation,
                   double* lightness) {
  using L = HslLanes<I>;
  using V = typename I::V;
  const typename L::Constants c;
  constexpr std::int32_t kHalf = I::kDoubles;
  std::int32_t x = 0;
  for (; x + 2 * kHalf <= width; x += 2 * kHalf) {
    const V pixels = I::Load(row + 4 * x);
    const V b = L::template Bytes<0>(pixels), g = L::template Bytes<8>(pixels),
            r = L::template Bytes<16>(pixels);
    const typename L::Hsl lo = L::Forward(I::LowHalf(b), I::LowHalf(g), I::LowHalf(r), c);
    const typename L::Hsl hi = L::Forward(I::HighHalf(b), I::HighHalf(g), I::HighHalf(r), c);
    I::StoreD(hue + x, lo.hue);
    I::StoreD(hue + x + kHalf, hi.hue);
    I::StoreD(saturation + x, lo.saturation);
    I::StoreD(saturation + x + kHalf, hi.saturation);
    I::StoreD(lightness + x, lo.lightness);
    I::StoreD(lightness + x + kHalf, hi.lightness);
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
