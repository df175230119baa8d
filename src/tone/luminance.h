// Integer luminance of an ARGB pixel, shared by Desaturate and Histogram.
#pragma once

#include <cstdint>

#include "frame/plane.h"
#include "frame/compiler.h"

namespace morvex::tone {

// BT.601 luma weights (0.299, 0.587, 0.114) in units of 1/65536. Red and
// green are the scaled values cut to integers; blue takes the remainder from
// the stored red and green, so the three add up to exactly 65536. A constant
// computed at compile time: nothing to initialise, nothing to race on.
struct LuminanceWeights {
  std::int32_t red;
  std::int32_t green;
  std::int32_t blue;

  static constexpr LuminanceWeights Make() {
    LuminanceWeights w{19595, 38469, 0};
    w.blue = 65536 - w.green - w.red;
    return w;
  }
};

inline constexpr LuminanceWeights kLuminanceWeights = LuminanceWeights::Make();
static_assert(kLuminanceWeights.red + kLuminanceWeights.green + kLuminanceWeights.blue == 65536);

// Luminance of the pixel whose byte 0 (blue) `pixel` points at: the weighted
// sum plus one half, divided by 65536 toward zero. The sum lies in
// 32768 .. 16744448, so the result is 0..255 and never exceeds the largest of
// the three colour bytes.
MORVEX_INLINE std::int32_t Luminance(const Byte* pixel) {
  constexpr LuminanceWeights w = kLuminanceWeights;
  const std::int32_t s =
      w.red * pixel[kRed] + w.green * pixel[kGreen] + w.blue * pixel[kBlue] + 32768;
  return s >> 16;  // s is positive: the shift is the truncating division
}

// Luminance of every pixel of a vector (frame/simd, any instruction set), in
// its 32-bit lane. The even bytes (blue, red) as words take their weights in
// one multiply-add; green's weight does not fit a signed word, so the odd
// words (green, alpha) take (weight - 65536, 0) and green << 16 is added.
// Every sum is an exact integer: the lanes give Luminance() pixel by pixel.
template <class I>
MORVEX_INLINE typename I::V LuminanceLanes(typename I::V pixels) {
  using V = typename I::V;
  constexpr LuminanceWeights w = kLuminanceWeights;
  static_assert(w.blue <= 32767 && w.red <= 32767 && w.green - 65536 >= -32768);
  const V blueRed = I::Madd16(I::And(pixels, I::Set16(0xFF)), I::Set32((w.red << 16) | w.blue));
  const V green = I::Madd16(I::template Srli16<8>(pixels), I::Set32((w.green - 65536) & 0xFFFF));
  const V green16 = I::template Slli32<8>(I::And(pixels, I::Set32(0xFF00)));
  const V sum = I::Add32(I::Add32(blueRed, green), I::Add32(green16, I::Set32(32768)));
  return I::template Srli32<16>(sum);
}

}  // namespace morvex::tone
