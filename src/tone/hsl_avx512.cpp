// AVX-512 kernel of HslScaleOffset: eight pixels per __m512d, branches as
// lane masks. Each lane gives the bits of HslScaleOffsetPixel; where this
// kernel reaches them by another route than the one-pixel code, the route is
// exact for every input it can meet:
//
// - Division by 6 and the two divisions by d of the hue use a reciprocal and
//   one fused correction step (Markstein): q0 = n * y, r = n - q0 * b
//   (exact, fused), q = q0 + r * y (fused) is the correctly rounded n / b
//   when y is the correctly rounded 1 / b. The forward conversion depends on
//   the pixel's three colour bytes alone, and a test compares it with the
//   one-pixel form for all 2^24 colours.
// - The segment tests 6h < 1 and 3h < 2 of HueToChannel compare h with the
//   smallest double whose product reaches the bound (a rounded product is
//   monotonic in h); 2h < 1 is exactly h < 0.5.
// - The alpha byte is kept: ToByte(a * k) gives a back for each of the 256
//   bytes (tested), and alpha does not depend on the parameters.
#include "frame/simd/avx512_intrinsics.h"  // first

#include "tone/hsl.h"

namespace morvex::tone {
namespace {

using D = __m512d;
using M = __mmask8;

constexpr double kSixthReach = FirstReaching(6.0, 1.0);      // h < this  <=>  6h < 1
constexpr double kTwoThirdsReach = FirstReaching(3.0, 2.0);  // h < this  <=>  3h < 2
static_assert(kSixthReach < 0.5 && kTwoThirdsReach > 0.5);

inline D Set(double v) { return _mm512_set1_pd(v); }
inline D Add(D a, D b) { return _mm512_add_pd(a, b); }
inline D Sub(D a, D b) { return _mm512_sub_pd(a, b); }
inline D Mul(D a, D b) { return _mm512_mul_pd(a, b); }
inline M Lt(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OS); }
inline M Gt(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_GT_OS); }
inline M Eq(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
// ifSet where the mask bit is set, else ifClear.
inline D Select(M m, D ifSet, D ifClear) { return _mm512_mask_blend_pd(m, ifClear, ifSet); }

// n / b, correctly rounded, from y = 1 / b correctly rounded.
inline D DivideBy(D n, D b, D y) {
  const D q0 = Mul(n, y);
  const D r = _mm512_fnmadd_pd(q0, b, n);
  return _mm512_fmadd_pd(r, y, q0);
}

struct Constants {
  D zero = Set(0.0), half = Set(0.5), one = Set(1.0), two = Set(2.0), six = Set(6.0);
  D sixth = Set(1.0 / 6.0);
  D k = Set(kByteToUnit), achromatic = Set(kAchromatic);
  D third = Set(kOneThird), twoThirds = Set(kTwoThirds), byteScale = Set(255.0);
  D sixthReach = Set(kSixthReach), twoThirdsReach = Set(kTwoThirdsReach);
};

struct Adjustment {
  D hueScale, saturationScale, lightnessScale, hueOffset, saturationOffset, lightnessOffset;
};

struct Hsl {
  D hue, saturation, lightness;
};

// Byte `index` of each pixel, times k.
inline D Channel(__m256i pixels, int index, const Constants& c) {
  const char z = -1, i = static_cast<char>(index);
  const __m256i pick = _mm256_setr_epi8(i, z, z, z, i + 4, z, z, z, i + 8, z, z, z, i + 12, z, z, z,  //
                                        i, z, z, z, i + 4, z, z, z, i + 8, z, z, z, i + 12, z, z, z);
  return Mul(_mm512_cvtepi32_pd(_mm256_shuffle_epi8(pixels, pick)), c.k);
}

// RgbToHsl of eight pixels, without alpha.
inline Hsl Forward(__m256i pixels, const Constants& c) {
  const D b = Channel(pixels, kBlue, c), g = Channel(pixels, kGreen, c), r = Channel(pixels, kRed, c);
  const D min = _mm512_min_pd(_mm512_min_pd(r, g), b);
  const D max = _mm512_max_pd(_mm512_max_pd(r, g), b);
  const D d = Sub(max, min);
  const D sum = Add(min, max);
  Hsl out;
  out.lightness = Mul(sum, c.half);
  const M gray = Lt(d, c.achromatic);
  const M chroma = static_cast<M>(~gray);
  // Gray lanes divide by 1 instead of 0 and are set to 0 afterwards.
  const D spread = Select(Lt(out.lightness, c.half), sum, Sub(Sub(c.two, max), min));
  out.saturation = _mm512_maskz_div_pd(chroma, d, Select(gray, c.one, spread));
  // The hue needs two of dR, dG and dB: red sector dB - dG, green
  // (dR + 1/3) - dB, blue (dG + 2/3) - dR (adding 0 leaves dB as it is).
  const M isRed = Eq(max, r);
  const M isGreen = static_cast<M>(Eq(max, g) & ~isRed);
  const D first = Select(isGreen, r, Select(isRed, b, g));
  const D second = Select(isGreen, b, Select(isRed, g, r));
  const D offset = Select(isGreen, c.third, c.twoThirds);  // not added in the red sector
  const D divisor = Select(gray, c.one, d);
  const D reciprocal = _mm512_div_pd(c.one, divisor);
  const D halfD = Mul(c.half, d);
  const D dFirst = DivideBy(Add(DivideBy(Sub(max, first), c.six, c.sixth), halfD), divisor, reciprocal);
  const D dSecond = DivideBy(Add(DivideBy(Sub(max, second), c.six, c.sixth), halfD), divisor, reciprocal);
  D hue = Sub(_mm512_mask_add_pd(dFirst, static_cast<M>(~isRed), dFirst, offset), dSecond);
  const M below = Lt(hue, c.zero), above = Gt(hue, c.one);
  hue = _mm512_mask_add_pd(hue, below, hue, c.one);
  hue = _mm512_mask_sub_pd(hue, above, hue, c.one);
  out.hue = _mm512_maskz_mov_pd(chroma, hue);
  return out;
}

// HueToChannel, with q - p and 6 (q - p) computed once for the three hues.
inline D HueToChannel(D p, D q, D qp, D sixQp, D h, const Constants& c) {
  const M below = Lt(h, c.zero), above = Gt(h, c.one);
  h = _mm512_mask_add_pd(h, below, h, c.one);
  h = _mm512_mask_sub_pd(h, above, h, c.one);
  // p, then the falling, flat and rising segments over it (each test implies the next).
  D v = _mm512_mask_add_pd(p, Lt(h, c.twoThirdsReach), p, Mul(c.six, Mul(Sub(c.twoThirds, h), qp)));
  v = _mm512_mask_mov_pd(v, Lt(h, c.half), q);
  return _mm512_mask_add_pd(v, Lt(h, c.sixthReach), p, Mul(h, sixQp));
}

// ToByte's integer before its low 8 bits are taken.
inline __m256i ToInteger(D x, const Constants& c) { return _mm512_cvtpd_epi32(Mul(x, c.byteScale)); }

inline __m256i AdjustPixels(__m256i pixels, const Adjustment& a, const Constants& c) {
  const Hsl hsl = Forward(pixels, c);
  const D h = Add(Mul(hsl.hue, a.hueScale), a.hueOffset);
  const D s = Add(Mul(hsl.saturation, a.saturationScale), a.saturationOffset);
  const D l = Add(Mul(hsl.lightness, a.lightnessScale), a.lightnessOffset);
  const D q = Select(Lt(l, c.half), Mul(Add(s, c.one), l), Sub(Add(l, s), Mul(s, l)));
  const D p = Sub(Add(l, l), q);
  const D qp = Sub(q, p), sixQp = Mul(c.six, qp);
  const M gray = Eq(s, c.zero);
  const D red = _mm512_mask_mov_pd(HueToChannel(p, q, qp, sixQp, Add(h, c.third), c), gray, l);
  const D green = _mm512_mask_mov_pd(HueToChannel(p, q, qp, sixQp, h, c), gray, l);
  const D blue = _mm512_mask_mov_pd(HueToChannel(p, q, qp, sixQp, Sub(h, c.third), c), gray, l);
  // Low byte blue, then green, red, and the pixel's own alpha on top.
  const __m256i bg = _mm256_ternarylogic_epi32(ToInteger(blue, c), _mm256_slli_epi32(ToInteger(green, c), 8),
                                               _mm256_set1_epi32(0xFF), 0xE4);
  const __m256i bgr = _mm256_ternarylogic_epi32(bg, _mm256_slli_epi32(ToInteger(red, c), 16),
                                                _mm256_set1_epi32(0xFFFF), 0xE4);
  return _mm256_ternarylogic_epi32(bgr, pixels, _mm256_set1_epi32(0xFFFFFF), 0xE4);
}

inline __m256i LoadPixels(const Byte* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
inline void StorePixels(Byte* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

}  // namespace

void HslScaleOffsetRowAvx512(Byte* row, std::size_t width, const HslAdjustment& adj) {
  const Constants c;
  const Adjustment a{Set(adj.hueScale),  Set(adj.saturationScale),  Set(adj.lightnessScale),
                     Set(adj.hueOffset), Set(adj.saturationOffset), Set(adj.lightnessOffset)};
  std::size_t x = 0;
  for (; x + 8 <= width; x += 8, row += 8 * kArgbImageBytes)
    StorePixels(row, AdjustPixels(LoadPixels(row), a, c));
  if (x < width) {
    const auto lanes = static_cast<__mmask8>((1u << (width - x)) - 1u);
    _mm256_mask_storeu_epi32(row, lanes, AdjustPixels(_mm256_maskz_loadu_epi32(lanes, row), a, c));
  }
}

void HslForwardRowAvx512(const Byte* row, std::size_t width, double* hue, double* saturation,
                         double* lightness) {
  const Constants c;
  for (std::size_t x = 0; x < width; x += 8) {
    const std::size_t n = width - x;
    const auto lanes = static_cast<__mmask8>(n >= 8 ? 0xFFu : (1u << n) - 1u);
    const Hsl hsl = Forward(_mm256_maskz_loadu_epi32(lanes, row + x * kArgbImageBytes), c);
    _mm512_mask_storeu_pd(hue + x, lanes, hsl.hue);
    _mm512_mask_storeu_pd(saturation + x, lanes, hsl.saturation);
    _mm512_mask_storeu_pd(lightness + x, lanes, hsl.lightness);
  }
}

}  // namespace morvex::tone
