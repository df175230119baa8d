// Composite row routines for the SSE2 baseline.
#include "blend/composite_kernels.h"
#include "frame/simd/sse2.h"

namespace morvex::blend {

constinit const CompositeKernels kCompositeKernelsSse2 =
    MakeCompositeKernels<CompositeRowOf<simd::sse2::Isa>::template Mode>();

}  // namespace morvex::blend
