// Composite row routines for AVX2: eight pixels per step.
#include "blend/composite_kernels.h"
#include "frame/simd/avx2.h"

namespace morvex::blend {

constinit const CompositeKernels kCompositeKernelsAvx2 =
    MakeCompositeKernels<CompositeRowOf<simd::avx2::Isa>::template Mode>();

}  // namespace morvex::blend
