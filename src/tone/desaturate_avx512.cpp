#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "tone/desaturate_kernels.h"

namespace morvex::tone {

constinit const DesaturateKernels kDesaturateKernelsAvx512 = MakeDesaturateKernels<simd::avx512::Isa>();

}  // namespace morvex::tone
