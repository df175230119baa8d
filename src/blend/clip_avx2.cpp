// ClipRestore kernel for AVX2: two float pixels per step.
#include "blend/clip_kernels.h"
#include "frame/simd/avx2.h"

namespace morvex::blend {

constinit const ClipKernels kClipKernelsAvx2 = {&ClipRow<simd::avx2::Isa>};

}  // namespace morvex::blend
