// Entry points of the copy, lookup-table and conversion family.
#include "exports/entry.h"
#include "pixel/conversion.h"
#include "pixel/copy.h"
#include "pixel/lut.h"

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

MORVEX_ENTRY uint8_t MORVEX_CALL Lut(uint8_t* image, int32_t stride, int32_t width, int32_t height,
                                     const uint8_t* table) {
  pixel::ApplyLut({image, stride}, width, height, table);
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL LutWithAlphaClamp(uint8_t* image, int32_t stride, int32_t width,
                                                   int32_t height, const uint8_t* table) {
  pixel::ApplyLutWithAlphaClamp({image, stride}, width, height, table);
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL ChannelMap(uint8_t* image, int32_t stride, int32_t channel,
                                            int32_t width, int32_t height, const uint8_t* table) {
  return pixel::MapChannel({image, stride}, channel, width, height, table) ? 1 : 0;
}

MORVEX_ENTRY uint8_t MORVEX_CALL ChannelMapEx(uint8_t* dst, int32_t dstStride, const uint8_t* src,
                                              int32_t srcStride, int32_t channel, int32_t width,
                                              int32_t height, const uint8_t* table) {
  return pixel::MapChannelTo({dst, dstStride}, {src, srcStride}, channel, width, height, table)
             ? 1
             : 0;
}

MORVEX_ENTRY uint8_t MORVEX_CALL ChannelMergeLut(uint8_t* image, int32_t stride,
                                                 int32_t channelCount, int32_t width,
                                                 int32_t height, const uint8_t* table) {
  pixel::MergeChannels({image, stride}, channelCount, width, height, table);
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL ConvertARGBToARGBFloat(float* dst, int32_t dstStride,
                                                        const uint8_t* src, int32_t srcStride,
                                                        int32_t width, int32_t height) {
  pixel::ConvertArgbToArgbFloat({reinterpret_cast<Byte*>(dst), dstStride}, {src, srcStride}, width,
                                height);
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL ConvertARGBFloatToARGB(uint8_t* dst, int32_t dstStride,
                                                        const float* src, int32_t srcStride,
                                                        int32_t width, int32_t height) {
  pixel::ConvertArgbFloatToArgb({dst, dstStride}, {reinterpret_cast<const Byte*>(src), srcStride},
                                width, height);
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL ConvertChannelToFloatMask(float* dst, int32_t dstStride,
                                                           const uint8_t* src, int32_t srcStride,
                                                           int32_t channel, int32_t width,
                                                           int32_t height, const float* table) {
  pixel::ConvertChannelToFloatMask({reinterpret_cast<Byte*>(dst), dstStride}, {src, srcStride},
                                   channel, width, height, reinterpret_cast<const Byte*>(table));
  return 1;
}

MORVEX_ENTRY uint8_t MORVEX_CALL ConvertFloatMaskToARGB(uint8_t* dst, int32_t dstStride,
                                                        const float* src, int32_t srcStride,
                                                        int32_t width, int32_t height) {
  pixel::ConvertFloatMaskToArgb({dst, dstStride}, {reinterpret_cast<const Byte*>(src), srcStride},
                                width, height);
  return 1;
}
