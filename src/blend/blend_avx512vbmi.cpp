// Blend kernels for AVX-512 with VBMI: those of AVX-512, except that the
// weight table's byte columns are looked up in registers by byte permutes,
// sixteen pixels (64 mask bytes) per step.
#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "blend/blend_kernels.h"

namespace morvex::blend {
namespace {

using I = simd::avx512::Isa;
using V = I::V;

// Byte lanes of channel c of every pixel.
constexpr __mmask64 kChannelLanes[3] = {0x1111111111111111ull, 0x2222222222222222ull,
                                        0x4444444444444444ull};

// Byte c of weight table entry mask.c for every colour byte of sixteen
// pixels; alpha lanes get 0. Each column is four vectors: entries 0-127 in
// the first two (one two-source permute), 128-255 in the last two. A permute
// writes only its own lanes (channel c, index below or above 128), whose
// index bytes are still untouched when it reads them.
struct LutWeightsBytePermute {
  V column[3][4];
  MORVEX_INLINE LutWeightsBytePermute(const Byte*, const WeightColumns* columns) {
    for (int c = 0; c < 3; ++c)
      for (int q = 0; q < 4; ++q) column[c][q] = _mm512_load_si512(columns->bytes[c] + 64 * q);
  }
  template <class Io>
  MORVEX_INLINE V Get(const Io& io, const Byte* mask) const {
    const V m = io.Load(mask);
    const __mmask64 high = _mm512_movepi8_mask(m);  // index bit 7
    V w = m;
    for (int c = 0; c < 3; ++c) {
      w = _mm512_mask2_permutex2var_epi8(column[c][0], w, _kandn_mask64(high, kChannelLanes[c]),
                                         column[c][1]);
      w = _mm512_mask2_permutex2var_epi8(column[c][2], w, _kand_mask64(high, kChannelLanes[c]),
                                         column[c][3]);
    }
    return I::And(w, I::Set32(0x00FFFFFF));
  }
};

}  // namespace

constinit const BlendKernels kBlendKernelsAvx512Vbmi = {
    &BlendRow<I>, &MaskedBlendRow<I, MaskWeights<I>, false>,
    &MaskedBlendRow<I, LutWeightsBytePermute, true>, &MaskedFadeRow<I>,
    /*lutNeedsColumns=*/true};

}  // namespace morvex::blend
