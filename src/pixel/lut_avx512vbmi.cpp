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

using I = simd::avx512vbmi::Isa;
using V = I::V;

class ColumnLookups {
 public:
  explicit ColumnLookups(const LutTables& tables) {
    for (int k = 0; k < 4; ++k) column_[k] = I::LoadByteColumn(tables.columns.channel[k]);
  }

  // Every byte replaced by its own channel's entry.
  MORVEX_INLINE V Channels(V pixels) const { return I::LookUpChannels(column_, pixels); }

  // Stores through io the PixelLut entries indexed by byte `byte` of each
  // pixel of v.
  template <class Io>
  MORVEX_INLINE void Store(const Io& io, Byte* dst, V v, unsigned byte) const {
    io.Store(dst, Channels(I::BroadcastByte(v, static_cast<int>(byte))));
  }

 private:
  I::ByteColumn column_[4];
};

}  // namespace

constinit const LutKernels kLutKernelsAvx512Vbmi = {&LutRow<I, ColumnLookups, false>, LutForm::kColumns};
constinit const LutKernels kLutWithAlphaClampKernelsAvx512Vbmi = {&LutRow<I, ColumnLookups, true>,
                                                                 LutForm::kColumns};
constinit const LutKernels kChannelMapKernelsAvx512Vbmi = {&ChannelMapRow<I, ColumnLookups>, LutForm::kColumns};
constinit const LutKernels kChannelMergeKernelsAvx512Vbmi = {&ChannelMergeRow<I, ColumnLookups>,
                                                            LutForm::kColumns};

}  // namespace morvex::pixel
