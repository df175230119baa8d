// ClipRestore kernel for AVX-512: four float pixels per step.
#include "frame/simd/avx512.h"  // first: it includes the intrinsics
#include "blend/clip_kernels.h"

namespace morvex::blend {

constinit const ClipKernels kClipKernelsAvx512 = {&ClipRow<simd::avx512::Isa>};

}  // namespace morvex::blend
