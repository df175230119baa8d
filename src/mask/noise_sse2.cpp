// Noise rows with four generator states at a time.
#include "frame/simd/sse2.h"
#include "mask/noise_kernels.h"

namespace morvex::mask {

constinit const NoiseKernels kNoiseKernelsSse2 = {&NoiseRow<simd::sse2::Isa>};

}  // namespace morvex::mask
