// Composite row routines for the SSE2 baseline.
#include "blend/composite_kernels.h"
#include "blend/simd_sse2.h"

namespace morvex::blend {

CompositeRowFn CompositeRowSse2(CompositeMode mode) { return CompositeRowFor<sse2::Isa>(mode); }

}  // namespace morvex::blend
