// Noise rows with eight generator states at a time.
#include "frame/simd/avx2.h"
#include "mask/noise_kernels.h"

namespace morvex::mask {

constinit const NoiseKernels kNoiseKernelsAvx2 = {&NoiseRow<simd::avx2::Isa>};

}  // namespace morvex::mask
