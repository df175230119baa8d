// Shear kernels for AVX2: eight pixels per step.
#include "frame/simd/avx2.h"
#include "mask/shear_kernels.h"

namespace morvex::mask {

using I = simd::avx2::Isa;
constinit const ShearKernels kShearKernelsAvx2 = {&ShearLerpRow<I>, &ShearColumnStrips<I>};

}  // namespace morvex::mask
