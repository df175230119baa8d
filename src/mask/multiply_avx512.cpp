#include "frame/simd/avx512.h"
#include "mask/multiply_kernels.h"

namespace morvex::mask {

using I = simd::avx512::Isa;
constinit const MultiplyMaskKernels kMultiplyMaskKernelsAvx512 = {&MultiplyMaskRow<I>};

}  // namespace morvex::mask
