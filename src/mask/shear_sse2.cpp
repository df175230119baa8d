// Shear kernels for SSE2: four pixels per step.
#include "frame/simd/sse2.h"
#include "mask/shear_kernels.h"

namespace morvex::mask {

using I = simd::sse2::Isa;
constinit const ShearKernels kShearKernelsSse2 = {&ShearLerpRow<I>, &ShearColumnStrips<I>};

}  // namespace morvex::mask
