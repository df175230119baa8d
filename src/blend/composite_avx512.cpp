// Composite row routines for AVX-512: sixteen pixels per step.
#include "blend/simd_avx512.h"  // first: it includes the intrinsics
#include "blend/composite_kernels.h"

namespace morvex::blend {

CompositeRowFn CompositeRowAvx512(CompositeMode mode) { return CompositeRowFor<avx512::Isa>(mode); }

}  // namespace morvex::blend
