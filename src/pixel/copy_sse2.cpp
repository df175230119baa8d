// ChannelCopy kernels for the SSE2 baseline.
#include "frame/simd/sse2.h"
#include "pixel/copy_kernels.h"

namespace morvex::pixel {

constinit const ChannelCopyKernels kChannelCopyKernelsSse2 = {&ChannelCopyRow4To1<simd::sse2::Isa>, nullptr, nullptr};

}  // namespace morvex::pixel
