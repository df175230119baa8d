// Noise rows with sixteen generator states at a time.
#include "frame/simd/avx512.h"
#include "mask/noise_kernels.h"

namespace morvex::mask {

constinit const NoiseKernels kNoiseKernelsAvx512 = {&NoiseRow<simd::avx512::Isa>};

}  // namespace morvex::mask
