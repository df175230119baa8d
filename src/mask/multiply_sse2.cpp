#include "frame/simd/sse2.h"
#include "mask/multiply_kernels.h"

namespace morvex::mask {

using I = simd::sse2::Isa;
constinit const MultiplyMaskKernels kMultiplyMaskKernelsSse2 = {&MultiplyMaskRow<I>};

}  // namespace morvex::mask
