// Blend kernels for AVX-512 with VBMI: those of AVX-512, except that the
// weight table's byte columns are looked up in registers by byte permutes,
// sixteen pixels (64 mask bytes) per step.
#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "blend/blend_kernels.h"

namespace morvex::blend {
namespace {

// Its own Isa type: the kernels shared with AVX-512 are instantiated here
// under names of their own, so the linker cannot keep this file's copies for
// processors without VBMI.
using I = simd::avx512vbmi::Isa;
using V = I::V;

// Byte c of weight table entry mask.c for every colour byte of sixteen
// pixels; alpha lanes get 0.
struct LutWeightsBytePermute {
  I::ByteColumn column[3];
  MORVEX_INLINE LutWeightsBytePermute(const Byte*, const WeightColumns* columns) {
    for (int c = 0; c < 3; ++c) column[c] = I::LoadByteColumn(columns->bytes[c]);
  }
  template <class Io>
  MORVEX_INLINE V Get(const Io& io, const Byte* mask) const {
    return I::And(I::LookUpChannels(column, io.Load(mask)), I::Set32(0x00FFFFFF));
  }
};

}  // namespace

constinit const BlendKernels kBlendKernelsAvx512Vbmi = {
    &BlendRow<I>, &MaskedBlendRow<I, MaskWeights<I>, false>,
    &MaskedBlendRow<I, LutWeightsBytePermute, true>, &MaskedFadeRow<I>,
    /*lutNeedsColumns=*/true};

}  // namespace morvex::blend
