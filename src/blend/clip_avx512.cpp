// ClipRestore kernel for AVX-512: four float pixels per step.
#include "blend/simd_avx512.h"  // first: it includes the intrinsics
#include "blend/clip_kernels.h"

namespace morvex::blend {

const ClipRowFn kClipRowAvx512 = &ClipRow<avx512::Isa>;

}  // namespace morvex::blend
