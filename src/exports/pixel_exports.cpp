// Entry points of the copy, lookup-table and conversion family.
#include "exports/entry.h"
#include "pixel/copy.h"

using namespace morvex;

MORVEX_ENTRY uint8_t MORVEX_CALL BitmapCopy(uint8_t* dst, int32_t dstStride, const uint8_t* src,
                                            int32_t srcStride, int32_t elementBytes,
                                            int32_t width, int32_t height) {
  const std::int64_t rowBytes = static_cast<std::int64_t>(elementBytes) * width;
  pixel::CopyRows({dst, dstStride}, {src, srcStride}, rowBytes, height);
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL ChannelCopy(uint8_t* dst, int32_t dstStride, int32_t dstStep,
                                             int32_t width, int32_t height, const uint8_t* src,
                                             int32_t srcStride, int32_t srcStep) {
  pixel::CopyChannel({dst, dstStride}, dstStep, {src, srcStride}, srcStep, width, height);
  return 1;
}
