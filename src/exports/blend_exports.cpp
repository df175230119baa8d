// Entry points of the blending and compositing family.
#include "blend/blend.h"
#include "blend/clip.h"
#include "blend/composite.h"
#include "blend/multiply.h"
#include "exports/entry.h"

using namespace morvex;

MORVEX_ENTRY uint8_t MORVEX_CALL Blend(uint8_t* dst, int32_t dstStride, const uint8_t* src,
                                       int32_t srcStride, int32_t width, int32_t height,
                                       double dstWeight) {
  blend::BlendImages({dst, dstStride}, {src, srcStride}, width, height, dstWeight);
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL MaskedBlend(uint8_t* dst, int32_t dstStride, const uint8_t* mask,
                                             int32_t maskStride, const uint8_t* src,
                                             int32_t srcStride, int32_t width, int32_t height,
                                             const uint8_t* weightLut) {
  blend::MaskedBlendImages({dst, dstStride}, {mask, maskStride}, {src, srcStride}, width, height,
                           weightLut);
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL MaskedFade(uint8_t* dst, int32_t dstStride, const uint8_t* mask,
                                            int32_t maskStride, const uint8_t* src,
                                            int32_t srcStride, int32_t width, int32_t height) {
  blend::MaskedFadeImages({dst, dstStride}, {mask, maskStride}, {src, srcStride}, width, height);
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL Composite(uint8_t* dst, int32_t dstStride, const uint8_t* src,
                                           int32_t srcStride, int32_t width, int32_t height,
                                           int32_t mode, double opacity) {
  return blend::CompositeImages({dst, dstStride}, {src, srcStride}, width, height, mode, opacity)
             ? 1
             : 0;
}

MORVEX_ENTRY uint8_t MORVEX_CALL Multiply(uint8_t* dst, int32_t dstStride, int32_t width,
                                          int32_t height, double factor) {
  blend::MultiplyImage({dst, dstStride}, width, height, factor);
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL MultiplyChannel(uint8_t* dst, int32_t dstStride,
                                                 uint32_t dstChannel, const uint8_t* mask,
                                                 int32_t maskStride, uint32_t maskChannel,
                                                 int32_t width, int32_t height, double scale,
                                                 double offset) {
  return blend::MultiplyChannelImages({dst, dstStride}, dstChannel, {mask, maskStride}, maskChannel,
                                      width, height, scale, offset)
             ? 1
             : 0;
}

MORVEX_ENTRY uint8_t MORVEX_CALL MaskMultiply(uint8_t* dst, int32_t dstStride, const uint8_t* mask,
                                              int32_t maskStride, int32_t width, int32_t height,
                                              int32_t maskChannel, double scale, double offset) {
  return blend::MaskMultiplyImages({dst, dstStride}, {mask, maskStride}, width, height, maskChannel,
                                   scale, offset)
             ? 1
             : 0;
}

MORVEX_ENTRY uint8_t MORVEX_CALL ClipRestore(float* dst, int32_t dstStride, int32_t width,
                                             int32_t height, double clipLevel, double restoreMin) {
  blend::ClipRestoreImage({reinterpret_cast<Byte*>(dst), dstStride}, width, height, clipLevel,
                          restoreMin);
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL FocusPrep(float* dst, int32_t dstStride, int32_t width,
                                           int32_t height, double clipLevel, double restoreMin) {
  blend::ClipRestoreImage({reinterpret_cast<Byte*>(dst), dstStride}, width, height, clipLevel,
                          restoreMin);
  return 1;
}
