// Shear kernels for AVX-512: sixteen pixels per step.
#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "mask/shear_kernels.h"

namespace morvex::mask {

using I = simd::avx512::Isa;
constinit const ShearKernels kShearKernelsAvx512 = {&ShearLerpRow<I>, &ShearColumnStrips<I>};

}  // namespace morvex::mask
