// Composite row routines for AVX-512: sixteen pixels per step.
#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "blend/composite_kernels.h"

namespace morvex::blend {

constinit const CompositeKernels kCompositeKernelsAvx512 =
    MakeCompositeKernels<CompositeRowOf<simd::avx512::Isa>::template Mode>();

}  // namespace morvex::blend
