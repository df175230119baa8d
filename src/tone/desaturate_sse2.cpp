#include "frame/simd/sse2.h"  // first: it includes the intrinsics
#include "tone/desaturate_kernels.h"

namespace morvex::tone {

constinit const DesaturateKernels kDesaturateKernelsSse2 = MakeDesaturateKernels<simd::sse2::Isa>();

}  // namespace morvex::tone
