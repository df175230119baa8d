// The blur kernels for the SSE2 baseline: one pixel (or four mask elements)
// per vector.
#include "blur/gaussian_kernels.h"
#include "frame/simd/sse2.h"

namespace morvex::blur {

using simd::sse2::Isa;

constinit const ImageKernels kImageSingleKernelsSse2 = MakeImageSingleKernels<Isa, 4, 16>();
constinit const ImageKernels kImageDoubleKernelsSse2 = MakeImageDoubleKernels<Isa, 2, 16>();
constinit const MaskKernels kMaskKernelsSse2 = MakeMaskKernels<Isa, 2, 4>();

}  // namespace morvex::blur
