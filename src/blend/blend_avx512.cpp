// Blend kernels for AVX-512: sixteen pixels per step. The weight table is
// looked up in registers: 16-bit word permutes over its columns.
#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "blend/blend_kernels.h"

namespace morvex::blend {
namespace {

using I = simd::avx512::Isa;
using V = I::V;

// One column of the weight table as four blocks of 64 words, each block in
// two vectors (the two tables of a two-source word permute).
struct Column {
  V block[4][2];
};

MORVEX_INLINE Column LoadColumn(const std::uint16_t* words) {
  Column column;
  for (int b = 0; b < 4; ++b)
    for (int h = 0; h < 2; ++h) column.block[b][h] = _mm512_load_si512(words + 64 * b + 32 * h);
  return column;
}

// Word lanes in `lanes` whose index (a byte value, in the low 8 bits) lies in
// block b of 64 entries, for b = 0..3.
struct Blocks {
  __mmask32 k[4];
};
MORVEX_INLINE Blocks BlocksOf(V index, __mmask32 lanes) {
  const __mmask32 high = _mm512_test_epi16_mask(index, I::Set16(0x80));
  const __mmask32 mid = _mm512_test_epi16_mask(index, I::Set16(0x40));
  const __mmask32 low = _kandn_mask32(high, lanes), top = _kand_mask32(high, lanes);
  return {{_kandn_mask32(mid, low), _kand_mask32(mid, low), _kandn_mask32(mid, top),
           _kand_mask32(mid, top)}};
}

// column[index] for the lanes of `blocks`; other lanes keep their value in
// `index`. Each permute writes only its own block's lanes, whose index
// values are still untouched when it reads them.
MORVEX_INLINE V LookUp(const Column& column, const Blocks& blocks, V index) {
  for (int b = 0; b < 4; ++b)
    index = _mm512_mask2_permutex2var_epi16(column.block[b][0], index, blocks.k[b],
                                            column.block[b][1]);
  return index;
}

// The even words of a pixel vector hold B and R, the odd words G and A.
constexpr __mmask32 kFirstWords = 0x55555555u;   // B (even words) or G (odd words)
constexpr __mmask32 kSecondWords = 0xAAAAAAAAu;  // R (even words) or A (odd words)

void MaskedBlendLutRowAvx512(Byte* dst, const Byte* mask, const Byte* src, std::int32_t width,
                             const Byte* weightLut, const WeightColumns* columns) {
  const Column blue = LoadColumn(columns->column[kBlue]);
  const Column green = LoadColumn(columns->column[kGreen]);
  const Column red = LoadColumn(columns->column[kRed]);
  WalkRow<I, 4>(
      width, dst,
      [&](std::ptrdiff_t x, const auto& io) {
        PrefetchPlanes(dst + 4 * x, mask + 4 * x, src + 4 * x);
        const V m = io.Load(mask + 4 * x);
        const V mEven = EvenBytes<I>(m), mOdd = OddBytes<I>(m);
        const V wEven = LookUp(red, BlocksOf(mEven, kSecondWords),
                               LookUp(blue, BlocksOf(mEven, kFirstWords), mEven));
        // The alpha lanes get weight 0: they mix to the destination alpha.
        const V wOdd =
            _mm512_maskz_mov_epi16(kFirstWords, LookUp(green, BlocksOf(mOdd, kFirstWords), mOdd));
        const V s = io.Load(src + 4 * x), d = io.Load(dst + 4 * x);
        const V mixed = JoinBytes<I>(MixWords<I>(EvenBytes<I>(s), EvenBytes<I>(d), wEven),
                                     MixWords<I>(OddBytes<I>(s), OddBytes<I>(d), wOdd));
        io.Store(dst + 4 * x, I::MinU8(mixed, I::BroadcastByte3(d)));
      },
      [&](std::ptrdiff_t x) {
        MaskedBlendLutPixel(dst + 4 * x, mask + 4 * x, src + 4 * x, weightLut);
      });
}

}  // namespace

const BlendKernels kBlendKernelsAvx512 = {
    &BlendRow<I>, &MaskedBlendRow<I, MaskWeights<I>, false>, &MaskedBlendLutRowAvx512,
    &MaskedFadeRow<I>, /*lutNeedsColumns=*/true};

}  // namespace morvex::blend
