// HslScaleOffset across several pixels at once, one pixel per double lane.
//
// Written once over a lane set L (SSE2: 2 pixels per __m128d; AVX2: 4 per
// __m256d) and instantiated in each kernel file with that file's own lane
// type, so no instantiation is shared between instruction sets. Every step is
// the same IEEE operation as in hsl.h, in the same order; branches become
// compares and selects, so each lane gives the bits of one pixel at a time.
//
// L provides: D (double vector), kPixels, Set, Add, Sub, Mul, Div, Min, Max,
// Lt, Gt, Eq (all-ones lane masks), Select(mask, ifSet, ifClear), Load and
// Store (kPixels pixels as the low 32-bit lanes of an __m128i), ToDouble
// (those lanes to doubles, exact) and ToInt32 (current-mode conversion, the
// integer-indefinite value where there is no int32).
#pragma once

#include <emmintrin.h>

#include <cstddef>

#include "tone/hsl.h"

namespace morvex::tone {

template <class L>
struct HslLanes {
  using D = typename L::D;

  struct Color {
    D hue, saturation, lightness, alpha;
  };

  static D Channel(__m128i pixels, int shift) {
    const __m128i byte = _mm_and_si128(_mm_srli_epi32(pixels, shift), _mm_set1_epi32(0xFF));
    return L::Mul(L::ToDouble(byte), L::Set(kByteToUnit));
  }

  static Color RgbToHsl(__m128i pixels) {
    const D zero = L::Set(0.0), one = L::Set(1.0), half = L::Set(0.5);
    const D b = Channel(pixels, 0), g = Channel(pixels, 8), r = Channel(pixels, 16);
    const D min = L::Min(L::Min(r, g), b);
    const D max = L::Max(L::Max(r, g), b);
    const D d = L::Sub(max, min);
    Color c;
    c.lightness = L::Mul(L::Add(min, max), half);
    const D gray = L::Lt(d, L::Set(kAchromatic));
    // Gray lanes divide by 1 instead of 0 and are set to 0 afterwards, so no
    // lane raises a division exception the one-pixel form would not.
    const D dividedBy = L::Select(gray, one, d);
    const D spread = L::Select(L::Lt(c.lightness, half), L::Add(min, max),
                               L::Sub(L::Sub(L::Set(2.0), max), min));
    c.saturation = L::Select(gray, zero, L::Div(d, L::Select(gray, one, spread)));
    // The hue needs two of dR, dG and dB, never the largest component's:
    // red sector dB - dG, green (dR + 1/3) - dB, blue (dG + 2/3) - dR. Each
    // lane picks its two components (sector tests red first) and divides only
    // for those; adding 0 in the red sector leaves dB as it is.
    const D isRed = L::Eq(max, r), isGreen = L::Eq(max, g);
    const D first = L::Select(isRed, b, L::Select(isGreen, r, g));
    const D second = L::Select(isRed, g, L::Select(isGreen, b, r));
    const D offset =
        L::Select(isRed, zero, L::Select(isGreen, L::Set(kOneThird), L::Set(kTwoThirds)));
    const D halfD = L::Mul(half, d), six = L::Set(6.0);
    const D dFirst = L::Div(L::Add(L::Div(L::Sub(max, first), six), halfD), dividedBy);
    const D dSecond = L::Div(L::Add(L::Div(L::Sub(max, second), six), halfD), dividedBy);
    D hue = L::Sub(L::Add(dFirst, offset), dSecond);
    hue = L::Select(L::Lt(hue, zero), L::Add(hue, one),
                    L::Select(L::Gt(hue, one), L::Sub(hue, one), hue));
    c.hue = L::Select(gray, zero, hue);
    c.alpha = Channel(pixels, 24);
    return c;
  }

  static D HueToChannel(D p, D q, D h) {
    const D zero = L::Set(0.0), one = L::Set(1.0), six = L::Set(6.0);
    h = L::Select(L::Lt(h, zero), L::Add(h, one), L::Select(L::Gt(h, one), L::Sub(h, one), h));
    const D rising = L::Add(p, L::Mul(h, L::Mul(six, L::Sub(q, p))));
    const D falling = L::Add(p, L::Mul(six, L::Mul(L::Sub(L::Set(kTwoThirds), h), L::Sub(q, p))));
    return L::Select(L::Lt(L::Mul(six, h), one), rising,
                     L::Select(L::Lt(L::Mul(L::Set(2.0), h), one), q,
                               L::Select(L::Lt(L::Mul(L::Set(3.0), h), L::Set(2.0)), falling, p)));
  }

  // ToByte's integer before its low 8 bits are taken.
  static __m128i ToInteger(D x) { return L::ToInt32(L::Mul(x, L::Set(255.0))); }

  static __m128i HslToRgb(D h, D s, D l, D a) {
    const D one = L::Set(1.0), half = L::Set(0.5), third = L::Set(kOneThird);
    const D achromatic = L::Eq(s, L::Set(0.0));
    const D q =
        L::Select(L::Lt(l, half), L::Mul(L::Add(s, one), l), L::Sub(L::Add(l, s), L::Mul(s, l)));
    const D p = L::Sub(L::Add(l, l), q);
    const D red = L::Select(achromatic, l, HueToChannel(p, q, L::Add(h, third)));
    const D green = L::Select(achromatic, l, HueToChannel(p, q, h));
    const D blue = L::Select(achromatic, l, HueToChannel(p, q, L::Sub(h, third)));
    const __m128i low = _mm_set1_epi32(0xFF);
    const __m128i bg = _mm_or_si128(_mm_and_si128(ToInteger(blue), low),
                                    _mm_slli_epi32(_mm_and_si128(ToInteger(green), low), 8));
    const __m128i ra = _mm_or_si128(_mm_slli_epi32(_mm_and_si128(ToInteger(red), low), 16),
                                    _mm_slli_epi32(ToInteger(a), 24));
    return _mm_or_si128(bg, ra);
  }

  // The six parameters, one per lane.
  struct Adjustment {
    D hueScale, saturationScale, lightnessScale, hueOffset, saturationOffset, lightnessOffset;
  };

  // kCount consecutive groups at `pixels`: all are converted to HSL first,
  // then each is adjusted, converted back and stored. One group's chain is
  // long (two dependent divisions among it); going through each phase with
  // several independent groups lets the processor overlap them.
  template <std::size_t kCount>
  static void Run(Byte* pixels, const Adjustment& a) {
    constexpr std::size_t kGroupBytes = L::kPixels * kArgbImageBytes;
    Color c[kCount];
#pragma GCC unroll 8
    for (std::size_t k = 0; k < kCount; ++k) c[k] = RgbToHsl(L::Load(pixels + k * kGroupBytes));
#pragma GCC unroll 8
    for (std::size_t k = 0; k < kCount; ++k) {
      const D h = L::Add(L::Mul(c[k].hue, a.hueScale), a.hueOffset);
      const D s = L::Add(L::Mul(c[k].saturation, a.saturationScale), a.saturationOffset);
      const D l = L::Add(L::Mul(c[k].lightness, a.lightnessScale), a.lightnessOffset);
      L::Store(pixels + k * kGroupBytes, HslToRgb(h, s, l, c[k].alpha));
    }
  }

  // Adjusts `groups` groups of kPixels pixels starting at `row`, four groups
  // at a time.
  static void Groups(Byte* row, std::size_t groups, const HslAdjustment& adj) {
    const Adjustment a{L::Set(adj.hueScale),         L::Set(adj.saturationScale),
                       L::Set(adj.lightnessScale),   L::Set(adj.hueOffset),
                       L::Set(adj.saturationOffset), L::Set(adj.lightnessOffset)};
    constexpr std::size_t kInterleave = 4;
    constexpr std::size_t kGroupBytes = L::kPixels * kArgbImageBytes;
    std::size_t i = 0;
    for (; i + kInterleave <= groups; i += kInterleave, row += kInterleave * kGroupBytes)
      Run<kInterleave>(row, a);
    for (; i < groups; ++i, row += kGroupBytes) Run<1>(row, a);
  }
};

}  // namespace morvex::tone
