// ClipRestore kernel for AVX2: two float pixels per step.
#include "blend/clip_kernels.h"
#include "blend/simd_avx2.h"

namespace morvex::blend {

const ClipRowFn kClipRowAvx2 = &ClipRow<avx2::Isa>;

}  // namespace morvex::blend
