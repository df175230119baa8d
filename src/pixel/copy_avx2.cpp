// ChannelCopy kernels for AVX2.
#include "frame/simd/avx2.h"
#include "pixel/copy_kernels.h"

namespace morvex::pixel {

constinit const ChannelCopyKernels kChannelCopyKernelsAvx2 = {&ChannelCopyRow4To1<simd::avx2::Isa>, nullptr, nullptr};

}  // namespace morvex::pixel
