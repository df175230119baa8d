#include "frame/simd/avx2.h"
#include "mask/multiply_kernels.h"

namespace morvex::mask {

using I = simd::avx2::Isa;
constinit const MultiplyMaskKernels kMultiplyMaskKernelsAvx2 = {&MultiplyMaskRow<I>};

}  // namespace morvex::mask
