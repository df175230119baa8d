// Slow reference versions of the copy, lookup-table and conversion exports:
// one element at a time, written straight from the operations' definitions and
// sharing no code with the library's routines. Every multi-byte value goes
// through memcpy (support/oracle_memory.h), so planes, tables and strides may
// have any alignment.
//
// Each function returns the export's result and, for refusals, the diagnostic
// line the export must write (empty when none).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "frame/convert.h"
#include "support/oracle_memory.h"
#include "support/oracle_outcome.h"

namespace morvex::oracle {

// ---- Copies ----

inline Outcome BitmapCopy(std::uint8_t* dst, std::int32_t dstStride, const std::uint8_t* src,
                          std::int32_t srcStride, std::int32_t elementBytes, std::int32_t width,
                          std::int32_t height) {
  if (height <= 0) return {};
  const std::int64_t bytes = static_cast<std::int64_t>(elementBytes) * width;
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int64_t i = 0; i < bytes; ++i) dst[i] = src[i];
    dst = Advance(dst, dstStride);
    src = Advance(src, srcStride);
  }
  return {};
}

// Byte by byte in increasing x, row after row: overlapping planes see the
// bytes already written.
inline Outcome ChannelCopy(std::uint8_t* dst, std::int32_t dstStride, std::int32_t dstStep,
                           std::int32_t width, std::int32_t height, const std::uint8_t* src,
                           std::int32_t srcStride, std::int32_t srcStep) {
  if (height <= 0) return {};
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) dst[At(x, dstStep)] = src[At(x, srcStep)];
    dst = Advance(dst, dstStride);
    src = Advance(src, srcStride);
  }
  return {};
}

// ---- Lookup tables ----

inline Outcome Lut(std::uint8_t* image, std::int32_t stride, std::int32_t width,
                   std::int32_t height, const std::uint8_t* table) {
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* p = image + At(x, 4);
      for (int k = 0; k < 4; ++k) p[k] = table[4 * p[k] + k];
    }
    image = Advance(image, stride);
  }
  return {};
}

inline Outcome LutWithAlphaClamp(std::uint8_t* image, std::int32_t stride, std::int32_t width,
                                 std::int32_t height, const std::uint8_t* table) {
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* p = image + At(x, 4);
      const std::uint8_t b = p[0], g = p[1], r = p[2], a = p[3];
      const unsigned alpha = table[4 * a + 3];
      const unsigned nb = table[4 * b + 0], ng = table[4 * g + 1], nr = table[4 * r + 2];
      p[0] = static_cast<std::uint8_t>(nb < alpha ? nb : alpha);
      p[1] = static_cast<std::uint8_t>(ng < alpha ? ng : alpha);
      p[2] = static_cast<std::uint8_t>(nr < alpha ? nr : alpha);
      p[3] = static_cast<std::uint8_t>(alpha);
    }
    image = Advance(image, stride);
  }
  return {};
}

inline constexpr const char* kInvalidChannel = "ChannelMap: invalid channel value";

inline Outcome ChannelMapEx(std::uint8_t* dst, std::int32_t dstStride, const std::uint8_t* src,
                            std::int32_t srcStride, std::int32_t channel, std::int32_t width,
                            std::int32_t height, const std::uint8_t* table) {
  if (static_cast<std::uint32_t>(channel) > 3) return {0, kInvalidChannel};
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint8_t v = src[At(x, 4) + channel];
      WriteWord(dst + At(x, 4), ReadWord(table + 4 * v));
    }
    dst = Advance(dst, dstStride);
    src = Advance(src, srcStride);
  }
  return {};
}

inline Outcome ChannelMap(std::uint8_t* image, std::int32_t stride, std::int32_t channel,
                          std::int32_t width, std::int32_t height, const std::uint8_t* table) {
  return ChannelMapEx(image, stride, image, stride, channel, width, height, table);
}

// channelCount is not tested: 0 or less sums nothing; a count above 4 sums
// the four bytes of the pixel (never a byte outside it).
inline Outcome ChannelMergeLut(std::uint8_t* image, std::int32_t stride,
                               std::int32_t channelCount, std::int32_t width,
                               std::int32_t height, const std::uint8_t* table) {
  const int count = channelCount <= 0 ? 0 : channelCount > 4 ? 4 : channelCount;
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* p = image + At(x, 4);
      int s = 0;
      for (int k = 0; k < count; ++k) s += p[k];
      if (s > 255) s = 255;
      WriteWord(p, ReadWord(table + 4 * s));
    }
    image = Advance(image, stride);
  }
  return {};
}

// ---- Format conversions ----

inline Outcome ConvertARGBToARGBFloat(std::uint8_t* dst, std::int32_t dstStride,
                                      const std::uint8_t* src, std::int32_t srcStride,
                                      std::int32_t width, std::int32_t height) {
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x)
      for (int k = 0; k < 4; ++k)
        WriteFloat(dst + At(x, 16) + 4 * k, static_cast<float>(src[At(x, 4) + k]));
    dst = Advance(dst, dstStride);
    src = Advance(src, srcStride);
  }
  return {};
}

// Current-mode conversion (nearest inside the bracket), then the clamp; the
// integer-indefinite value of NaN and out-of-range floats clamps to 0.
inline std::uint8_t RoundAndClamp(float v) {
  const std::int32_t i = ConvertCurrentMode(v);
  if (i < 0) return 0;
  if (i > 255) return 255;
  return static_cast<std::uint8_t>(i);
}

[[gnu::noinline]] inline Outcome ConvertARGBFloatToARGB(std::uint8_t* dst, std::int32_t dstStride,
                                                        const std::uint8_t* src,
                                                        std::int32_t srcStride, std::int32_t width,
                                                        std::int32_t height) {
  const NearestBracket bracket;
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x)
      for (int k = 0; k < 4; ++k) dst[At(x, 4) + k] = RoundAndClamp(ReadFloat(src + At(x, 16) + 4 * k));
    dst = Advance(dst, dstStride);
    src = Advance(src, srcStride);
  }
  return {};
}

// Only the low two bits of channel select the byte.
inline Outcome ConvertChannelToFloatMask(std::uint8_t* dst, std::int32_t dstStride,
                                         const std::uint8_t* src, std::int32_t srcStride,
                                         std::int32_t channel, std::int32_t width,
                                         std::int32_t height, const std::uint8_t* table) {
  const int c = static_cast<int>(static_cast<std::uint32_t>(channel) & 3u);
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint8_t v = src[At(x, 4) + c];
      std::memcpy(dst + At(x, 4), table + 4 * v, 4);
    }
    dst = Advance(dst, dstStride);
    src = Advance(src, srcStride);
  }
  return {};
}

[[gnu::noinline]] inline Outcome ConvertFloatMaskToARGB(std::uint8_t* dst, std::int32_t dstStride,
                                                        const std::uint8_t* src,
                                                        std::int32_t srcStride, std::int32_t width,
                                                        std::int32_t height) {
  const NearestBracket bracket;
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint8_t v = RoundAndClamp(ReadFloat(src + At(x, 4)));
      for (int k = 0; k < 4; ++k) dst[At(x, 4) + k] = v;
    }
    dst = Advance(dst, dstStride);
    src = Advance(src, srcStride);
  }
  return {};
}

}  // namespace morvex::oracle
