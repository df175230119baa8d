// ClipRestore kernel for the SSE2 baseline.
#include "blend/clip_kernels.h"
#include "frame/simd/sse2.h"

namespace morvex::blend {

constinit const ClipKernels kClipKernelsSse2 = {&ClipRow<simd::sse2::Isa>};

}  // namespace morvex::blend
