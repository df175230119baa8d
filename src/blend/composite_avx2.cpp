// Composite row routines for AVX2: eight pixels per step.
#include "blend/composite_kernels.h"
#include "blend/simd_avx2.h"

namespace morvex::blend {

CompositeRowFn CompositeRowAvx2(CompositeMode mode) { return CompositeRowFor<avx2::Isa>(mode); }

}  // namespace morvex::blend
