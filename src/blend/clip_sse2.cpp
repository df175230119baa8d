// ClipRestore kernel for the SSE2 baseline.
#include "blend/clip_kernels.h"
#include "blend/simd_sse2.h"

namespace morvex::blend {

const ClipRowFn kClipRowSse2 = &ClipRow<sse2::Isa>;

}  // namespace morvex::blend
