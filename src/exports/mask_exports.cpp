// Entry points of the mask generation and geometry family.
#include "exports/entry.h"
#include "mask/multiply.h"
#include "mask/noise.h"
#include "mask/scale.h"
#include "mask/shear.h"

using namespace morvex;

MORVEX_ENTRY uint8_t MORVEX_CALL GenerateNoiseMask(float* dst, int32_t dstStride, int32_t width,
                                                   int32_t height, float low, float high,
                                                   uint32_t seed) {
  mask::GenerateNoise({reinterpret_cast<Byte*>(dst), dstStride}, width, height, low, high, seed);
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL MultiplyMasks(float* dst, int32_t dstStride, const float* src,
                                               int32_t srcStride, int32_t width, int32_t height) {
  mask::MultiplyMaskPlanes({reinterpret_cast<Byte*>(dst), dstStride},
                           {reinterpret_cast<const Byte*>(src), srcStride}, width, height);
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL ScaleMask(float* dst, int32_t dstStride, int32_t dstWidth,
                                           int32_t dstHeight, float dstRectX, float dstRectY,
                                           float dstRectWidth, float dstRectHeight,
                                           const float* src, int32_t srcStride, int32_t srcWidth,
                                           int32_t srcHeight, float srcRectX, float srcRectY,
                                           float srcRectWidth, float srcRectHeight, int32_t mode,
                                           float amount) {
  const bool done = mask::ScaleMaskPlanes(
      {reinterpret_cast<Byte*>(dst), dstStride, dstWidth, dstHeight},
      {dstRectX, dstRectY, dstRectWidth, dstRectHeight},
      {reinterpret_cast<const Byte*>(src), srcStride, srcWidth, srcHeight},
      {srcRectX, srcRectY, srcRectWidth, srcRectHeight}, mode, amount);
  return done ? 1 : 0;
}

MORVEX_ENTRY uint8_t MORVEX_CALL Shear(const uint8_t* src, int32_t srcStride, int32_t srcWidth,
                                       int32_t srcHeight, uint8_t* dst, int32_t dstStride,
                                       int32_t dstWidth, int32_t dstHeight, uint32_t direction,
                                       double factor) {
  mask::ShearPlanes(src, srcStride, srcWidth, srcHeight, dst, dstStride, dstWidth, dstHeight,
                    direction, factor);
  return 1;
}
