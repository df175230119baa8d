// Vector row kernels of the format conversions, written once over frame/simd
// and instantiated per instruction set: groups of I::kBytes / 4 elements,
// the remaining elements through the per-element definitions.
//
// Back to bytes, ToI32 rounds in the MXCSR mode exactly as the scalar
// conversion does and gives 0x80000000 for values without an integer;
// the signed 32->16 and unsigned 16->8 saturating packs then clamp to 0..255,
// which maps that value to 0 like the scalar clamp.
#pragma once

#include <cstdint>

#include "pixel/conversion.h"

namespace morvex::pixel {

// Whole-vector stores: plain, or non-temporal at multiples of I::kBytes.
template <class I, bool kStream>
struct GroupStores {
  static MORVEX_INLINE void Store(void* p, typename I::V v) {
    if constexpr (kStream)
      I::Stream(p, v);
    else
      I::Store(p, v);
  }
  static MORVEX_INLINE void StoreF(void* p, typename I::F v) {
    if constexpr (kStream)
      I::StreamF(p, v);
    else
      I::StoreF(p, v);
  }
};

// group(out, in) for each whole group of I::kBytes / 4 elements,
// element(out, in) for the others, with the pointers of the group's or the
// element's first destination and source bytes. Streaming rows start their
// groups at the first element whose destination is vector-aligned.
template <class I, bool kStream, int kDstBytes, int kSrcBytes, class Group, class Element>
MORVEX_INLINE void WalkGroups(Byte* dst, const Byte* src, std::int32_t width, Group&& group,
                              Element&& element) {
  constexpr std::int32_t kGroup = I::kBytes / 4;
  const auto out = [&](std::int32_t x) { return dst + ElementOffset(x, kDstBytes); };
  const auto in = [&](std::int32_t x) { return src + ElementOffset(x, kSrcBytes); };
  std::int32_t x = 0;
  if constexpr (kStream) {
    for (; x < width && reinterpret_cast<std::uintptr_t>(out(x)) % I::kBytes != 0; ++x)
      element(out(x), in(x));
  }
  for (; x <= width - kGroup; x += kGroup) group(out(x), in(x));
  for (; x < width; ++x) element(out(x), in(x));
}

// A group: kBytes source bytes, widened to four vectors of floats.
template <class I, bool kStream>
void ArgbToArgbFloatRow(Byte* dst, const Byte* src, std::int32_t width) {
  WalkGroups<I, kStream, kArgbFloatImageBytes, kArgbImageBytes>(
      dst, src, width,
      [](Byte* out, const Byte* in) {
        for (int k = 0; k < 4; ++k)
          GroupStores<I, kStream>::StoreF(out + I::kBytes * k,
                                          I::ToF(I::LoadBytes32(in + I::kBytes / 4 * k)));
      },
      [](Byte* out, const Byte* in) { ArgbToArgbFloatPixel(out, in); });
}

// A group: four vectors of floats rounded and narrowed to one vector of bytes
// (PackBytePixels: saturating packs, back in memory order).
template <class I, bool kStream>
void ArgbFloatToArgbRow(Byte* dst, const Byte* src, std::int32_t width) {
  WalkGroups<I, kStream, kArgbImageBytes, kArgbFloatImageBytes>(
      dst, src, width,
      [](Byte* out, const Byte* in) {
        const auto floats = [&](int k) { return I::LoadF(in + I::kBytes * k); };
        GroupStores<I, kStream>::Store(out, I::PackBytePixels(floats(0), floats(1), floats(2), floats(3)));
      },
      [](Byte* out, const Byte* in) { ArgbFloatToArgbPixel(out, in); });
}

// A group: one vector of mask values rounded, narrowed and each byte repeated
// four times; all of it stays inside each 128-bit lane.
template <class I, bool kStream>
void FloatMaskToArgbRow(Byte* dst, const Byte* src, std::int32_t width) {
  using V = typename I::V;
  WalkGroups<I, kStream, kArgbImageBytes, kFloatMaskBytes>(
      dst, src, width,
      [](Byte* out, const Byte* in) {
        const V values = I::ToI32(I::LoadF(in));
        const V words = I::PackS32(values, values);
        const V bytes = I::PackUS16(words, words);  // each lane's four values in its low word
        const V pairs = I::UnpackLo8(bytes, bytes);
        GroupStores<I, kStream>::Store(out, I::UnpackLo16(pairs, pairs));
      },
      [](Byte* out, const Byte* in) { FloatMaskToArgbElement(out, in); });
}

}  // namespace morvex::pixel
