// Format conversion kernels for AVX2. ConvertARGBToARGBFloat has no
// streaming form here; the conversions back to bytes have one.
#include "frame/simd/avx2.h"
#include "pixel/conversion_kernels.h"

namespace morvex::pixel {

namespace {
using I = simd::avx2::Isa;
}  // namespace

constinit const ConvertKernels kArgbToArgbFloatKernelsAvx2 = {&ArgbToArgbFloatRow<I, false>};
constinit const ConvertKernels kArgbFloatToArgbKernelsAvx2 = {&ArgbFloatToArgbRow<I, false>, &ArgbFloatToArgbRow<I, true>};
constinit const ConvertKernels kFloatMaskToArgbKernelsAvx2 = {&FloatMaskToArgbRow<I, false>, &FloatMaskToArgbRow<I, true>};

}  // namespace morvex::pixel
