// The row walk of the vector kernels: whole vectors from the first aligned
// element, the ends of the row by the scalar definition or, where the
// instruction set has masked memory access, by partial vectors.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/compiler.h"
#include "frame/plane.h"

namespace morvex::simd {

// How a group's vectors are read and written: whole vectors.
template <class I>
struct WholeGroup {
  static MORVEX_INLINE typename I::V Load(const void* p) { return I::Load(p); }
  static MORVEX_INLINE void Store(void* p, typename I::V v) { I::Store(p, v); }
  static MORVEX_INLINE typename I::F LoadF(const void* p) { return I::LoadF(p); }
  static MORVEX_INLINE void StoreF(void* p, typename I::F v) { I::StoreF(p, v); }
};

// Walks the pixels of one row of kPixelBytes-byte pixels. Whole vectors start
// at the first pixel whose address in `row` is a multiple of the vector size,
// so that they never straddle two cache lines (which costs streaming kernels
// dearly); a row that no pixel boundary aligns is walked from its start.
// `group(offset, io)` handles a vector's worth of pixels through io (a
// WholeGroup); the pixels before the first aligned one and after the last
// whole vector go to `pixel(offset)`, or, on an instruction set with masked
// memory access (I::kPartialGroups), to `group` with an io that reads and
// writes only those pixels. Offsets are in pixels from the row start.
template <class I, int kPixelBytes, class Group, class Pixel>
MORVEX_INLINE void WalkRow(std::int32_t width, const Byte* row, Group&& group, Pixel&& pixel) {
  constexpr std::int32_t kVectorBytes = I::kBytes;
  constexpr std::int32_t kPixelsPerGroup = kVectorBytes / kPixelBytes;
  const auto misalignment = static_cast<std::int32_t>(
      (kVectorBytes - reinterpret_cast<std::uintptr_t>(row) % kVectorBytes) % kVectorBytes);
  std::int32_t head = misalignment % kPixelBytes == 0 ? misalignment / kPixelBytes : 0;
  if (head > width) head = width;
  const std::int32_t groupEnd = width - (width - head) % kPixelsPerGroup;
  constexpr std::int32_t kWordsPerPixel = kPixelBytes / 4;
  std::int32_t x = 0;
  if constexpr (I::kPartialGroups) {
    if (head > 0) group(std::ptrdiff_t{0}, I::Part(head * kWordsPerPixel));
    x = head;
  } else {
    for (; x < head; ++x) pixel(static_cast<std::ptrdiff_t>(x));
  }
  for (; x < groupEnd; x += kPixelsPerGroup)
    group(static_cast<std::ptrdiff_t>(x), WholeGroup<I>{});
  if constexpr (I::kPartialGroups) {
    if (x < width) group(static_cast<std::ptrdiff_t>(x), I::Part((width - x) * kWordsPerPixel));
  } else {
    for (; x < width; ++x) pixel(static_cast<std::ptrdiff_t>(x));
  }
}

}  // namespace morvex::simd
