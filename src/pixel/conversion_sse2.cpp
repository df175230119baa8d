// Format conversion kernels for the SSE2 baseline. ConvertARGBToARGBFloat has no
// streaming form here; the conversions back to bytes have one.
#include "frame/simd/sse2.h"
#include "pixel/conversion_kernels.h"

namespace morvex::pixel {

namespace {
using I = simd::sse2::Isa;
}  // namespace

constinit const ConvertKernels kArgbToArgbFloatKernelsSse2 = {&ArgbToArgbFloatRow<I, false>};
constinit const ConvertKernels kArgbFloatToArgbKernelsSse2 = {&ArgbFloatToArgbRow<I, false>, &ArgbFloatToArgbRow<I, true>};
constinit const ConvertKernels kFloatMaskToArgbKernelsSse2 = {&FloatMaskToArgbRow<I, false>, &FloatMaskToArgbRow<I, true>};

}  // namespace morvex::pixel
