// Entry points of the local and radial filter family.
#include "exports/entry.h"
#include "filters/blur3x3.h"
#include "filters/edge_detect.h"
#include "filters/radial_blur.h"

using namespace morvex;

MORVEX_ENTRY uint8_t MORVEX_CALL Blur3x3(uint8_t* dst, int32_t dstStride, const uint8_t* src,
                                         int32_t srcStride, int32_t width, int32_t height) {
  filters::Blur3x3Plane({dst, dstStride}, {src, srcStride}, width, height);
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL EdgeDetect(uint8_t* dst, int32_t dstStride, const uint8_t* src,
                                            int32_t srcStride, int32_t width, int32_t height,
                                            uint32_t singleChannel, double threshold) {
  filters::EdgeDetectPlane({dst, dstStride}, {src, srcStride}, width, height,
                           LowByteSet(singleChannel), threshold);
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL RadialBlurMask(uint8_t* dst, int32_t dstStride, int32_t dstStep,
                                                const uint8_t* src, int32_t srcStride,
                                                int32_t srcStep, int32_t width, int32_t height,
                                                double centerX, double centerY, double scaleX,
                                                double scaleY, double gain) {
  filters::RadialBlurPlane(dst, dstStride, dstStep, {src, srcStride, srcStep, width, height},
                           centerX, centerY, scaleX, scaleY, gain);
  return 1;
}
