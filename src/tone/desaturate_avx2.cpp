#include "frame/simd/avx2.h"  // first: it includes the intrinsics
#include "tone/desaturate_kernels.h"

namespace morvex::tone {

constinit const DesaturateKernels kDesaturateKernelsAvx2 = MakeDesaturateKernels<simd::avx2::Isa>();

}  // namespace morvex::tone
