// Lookup-table kernels for AVX-512 VBMI. The one difference from the other
// instruction sets is the lookup: the table is held in registers as four
// columns of 256 bytes (byte k of every entry) and looked up sixteen pixels
// at a time by byte permutes instead of one table load per byte. For a
// PixelLut, each byte of a pixel is given its pixel's index first, so the
// four columns put the entry's four bytes back together.
#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "pixel/lut_kernels.h"

namespace morvex::pixel {
namespace {

using I = simd::avx512::Isa;
using V = I::V;

// Byte k of each pixel: bits k, k + 4, k + 8, ... of a 64-lane mask.
constexpr __mmask64 kChannelLanes = 0x1111111111111111ull;

class ColumnLookups {
 public:
  explicit ColumnLookups(const LutTables& tables) {
    for (int k = 0; k < 4; ++k)
      for (int q = 0; q < 4; ++q) part_[k][q] = _mm512_load_si512(tables.columns.channel[k] + 64 * q);
  }

  // Every byte replaced by its own channel's entry. A two-table permute
  // indexes 128 entries with the low seven bits; the lanes of one channel and
  // one half of the table are written per step, and every other lane keeps
  // its byte, which later steps still read as their index.
  MORVEX_INLINE V Channels(V pixels) const {
    const __mmask64 high = _mm512_movepi8_mask(pixels);
    V r = pixels;
    for (int k = 0; k < 4; ++k) {
      const __mmask64 lanes = kChannelLanes << k;
      r = _mm512_mask2_permutex2var_epi8(part_[k][0], r, lanes & ~high, part_[k][1]);
      r = _mm512_mask2_permutex2var_epi8(part_[k][2], r, lanes & high, part_[k][3]);
    }
    return r;
  }

  // Stores through io the PixelLut entries indexed by byte `byte` of each
  // pixel of v.
  template <class Io>
  MORVEX_INLINE void Store(const Io& io, Byte* dst, V v, unsigned byte) const {
    io.Store(dst, Channels(I::BroadcastByte(v, static_cast<int>(byte))));
  }

 private:
  V part_[4][4];  // column k in four vectors of 64 entries
};

}  // namespace

constinit const LutKernels kLutKernelsAvx512Vbmi = {&LutRow<I, ColumnLookups, false>, LutForm::kColumns};
constinit const LutKernels kLutWithAlphaClampKernelsAvx512Vbmi = {&LutRow<I, ColumnLookups, true>,
                                                                 LutForm::kColumns};
constinit const LutKernels kChannelMapKernelsAvx512Vbmi = {&ChannelMapRow<I, ColumnLookups>, LutForm::kColumns};
constinit const LutKernels kChannelMergeKernelsAvx512Vbmi = {&ChannelMergeRow<I, ColumnLookups>,
                                                            LutForm::kColumns};

}  // namespace morvex::pixel
