// ChannelCopy kernels for AVX-512. The steps 1 -> 4 and 4 -> 4 exist only
// here: byte-masked loads and stores touch exactly the elements, so the last
// group of a row reads nothing past its last element and scattered
// destinations keep the bytes between their elements untouched.
#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "pixel/copy_kernels.h"

namespace morvex::pixel {
namespace {

// Byte k * 4 of a 64-byte block for each of the first `n` (0..16) elements.
MORVEX_INLINE __mmask64 EveryFourth(std::int32_t n) {
  const std::uint64_t all = 0x1111111111111111ull;
  return n >= 16 ? all : all & ((std::uint64_t{1} << (4 * n)) - 1);
}
// The first `n` (0..16) bytes.
MORVEX_INLINE __mmask16 FirstBytes(std::int32_t n) {
  return static_cast<__mmask16>(n >= 16 ? 0xFFFFu : (1u << n) - 1u);
}

// Sixteen elements at s, step 4, as the low bytes of sixteen 32-bit lanes.
MORVEX_INLINE __m512i LoadSpread(const Byte* s, std::int32_t n) {
  return _mm512_maskz_loadu_epi8(EveryFourth(n), s);
}

void ChannelCopyRow1To4(Byte* dst, const Byte* src, std::int32_t width) {
  std::int32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m512i spread = _mm512_maskz_cvtepu8_epi32(0xFFFF, _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x)));
    _mm512_mask_storeu_epi8(dst + ElementOffset(x, 4), EveryFourth(16), spread);
  }
  for (; x < width; x += 16) {
    const std::int32_t n = width - x;
    const __m512i spread = _mm512_maskz_cvtepu8_epi32(0xFFFF, _mm_maskz_loadu_epi8(FirstBytes(n), src + x));
    _mm512_mask_storeu_epi8(dst + ElementOffset(x, 4), EveryFourth(n), spread);
  }
}

void ChannelCopyRow4To4(Byte* dst, const Byte* src, std::int32_t width) {
  std::int32_t x = 0;
  for (; x + 16 < width; x += 16) {
    const std::ptrdiff_t offset = ElementOffset(x, 4);
    _mm512_mask_storeu_epi8(dst + offset, EveryFourth(16), _mm512_loadu_si512(src + offset));
  }
  for (; x < width; x += 16) {
    const std::int32_t n = width - x;
    const std::ptrdiff_t offset = ElementOffset(x, 4);
    _mm512_mask_storeu_epi8(dst + offset, EveryFourth(n), LoadSpread(src + offset, n));
  }
}

}  // namespace

constinit const ChannelCopyKernels kChannelCopyKernelsAvx512 = {
    &ChannelCopyRow4To1<simd::avx512::Isa>, &ChannelCopyRow1To4, &ChannelCopyRow4To4};

}  // namespace morvex::pixel
