// Reference versions of the blending exports: one pixel and one channel at a
// time, each step in the order and precision the operation is defined with.
// Deliberately slow and literal; the oracle test compares the exports with them.
#pragma once

#include <cstdint>
#include <cstring>

#include "frame/convert.h"

namespace morvex::oracle {

inline std::uint8_t* RowOf(std::uint8_t* first, std::int32_t stride, std::int32_t y) {
  return first + static_cast<std::int64_t>(y) * stride;
}
inline const std::uint8_t* RowOf(const std::uint8_t* first, std::int32_t stride, std::int32_t y) {
  return first + static_cast<std::int64_t>(y) * stride;
}

// Signed 32-bit sums that may leave the range wrap modulo 2^32 (the chosen
// behaviour for arguments outside the defined range).
inline std::int32_t Wrap(std::uint32_t v) { return static_cast<std::int32_t>(v); }
inline std::uint32_t U(std::int32_t v) { return static_cast<std::uint32_t>(v); }

// ---- Blend ----
inline std::uint8_t Blend(std::uint8_t* dst, std::int32_t dstStride, const std::uint8_t* src,
                          std::int32_t srcStride, std::int32_t width, std::int32_t height,
                          double dstWeight) {
  const std::int32_t ws = TruncateToInt32((1.0 - dstWeight) * 4096.0);
  const std::int32_t wd = TruncateToInt32(dstWeight * 4096.0);
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* d = RowOf(dst, dstStride, y);
    const std::uint8_t* s = RowOf(src, srcStride, y);
    for (std::int32_t x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        const std::int32_t v = Wrap(U(ws) * s[4 * x + c] + U(wd) * d[4 * x + c] + 2048u);
        std::int32_t q = v / 4096;
        if (q < 0) q = 0;
        if (q > d[4 * x + 3]) q = d[4 * x + 3];
        d[4 * x + c] = static_cast<std::uint8_t>(q);
      }
    }
  }
  return 1;
}

// ---- MaskedBlend ----
inline std::uint8_t MaskedBlend(std::uint8_t* dst, std::int32_t dstStride,
                                const std::uint8_t* mask, std::int32_t maskStride,
                                const std::uint8_t* src, std::int32_t srcStride,
                                std::int32_t width, std::int32_t height,
                                const std::uint8_t* weightLut) {
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* d = RowOf(dst, dstStride, y);
    const std::uint8_t* m = RowOf(mask, maskStride, y);
    const std::uint8_t* s = RowOf(src, srcStride, y);
    for (std::int32_t x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        const std::int32_t mb = m[4 * x + c];
        const std::int32_t w = weightLut == nullptr ? mb : weightLut[4 * mb + c];
        std::int32_t v = (s[4 * x + c] * w + d[4 * x + c] * (255 - w)) / 255;
        if (v > d[4 * x + 3]) v = d[4 * x + 3];
        d[4 * x + c] = static_cast<std::uint8_t>(v);
      }
    }
  }
  return 1;
}

// ---- MaskedFade ----
inline std::uint8_t MaskedFade(std::uint8_t* dst, std::int32_t dstStride, const std::uint8_t* mask,
                               std::int32_t maskStride, const std::uint8_t* src,
                               std::int32_t srcStride, std::int32_t width, std::int32_t height) {
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* d = RowOf(dst, dstStride, y);
    const std::uint8_t* m = RowOf(mask, maskStride, y);
    const std::uint8_t* s = RowOf(src, srcStride, y);
    for (std::int32_t x = 0; x < width; ++x) {
      const std::int32_t ma = m[4 * x + 3];
      const std::int32_t newA = (s[4 * x + 3] * ma + d[4 * x + 3] * (255 - ma)) / 255;
      d[4 * x + 3] = static_cast<std::uint8_t>(newA);
      for (int c = 0; c < 3; ++c) {
        const std::int32_t mc = m[4 * x + c];
        std::int32_t v = (s[4 * x + c] * mc + d[4 * x + c] * (255 - mc)) / 255;
        if (v > newA) v = newA;
        d[4 * x + c] = static_cast<std::uint8_t>(v);
      }
    }
  }
  return 1;
}

// ---- Composite ----
inline std::int32_t AlphaUnion(std::int32_t sa, std::int32_t da) {
  return ((255 - sa) * da + 255 * sa + 127) / 255;
}

// The mode's value x for channel c (3 = alpha) of one pixel, before the mix.
inline std::int32_t CompositeValue(std::int32_t mode, const std::uint8_t* s, const std::uint8_t* d,
                                   int c) {
  const std::int32_t S = s[c], D = d[c], Sa = s[3], Da = d[3];
  const bool alpha = c == 3;
  switch (mode) {
    case 1: {
      const std::int32_t x = (255 * S + (255 - Sa) * D + 127) / 255;
      return x > 255 ? 255 : x;  // only for colour above alpha; the chosen saturation
    }
    case 3:
      if (alpha) return AlphaUnion(Sa, Da);
      return S + D < 255 ? S + D : 255;
    case 4:
      return S * D / 255;
    case 5:
      if (alpha) return AlphaUnion(Sa, Da);
      if (D < 128) return 2 * D * S / 255;
      return 255 - (2 * (255 - D) * (255 - S) / 255);
    case 6:
      if (alpha) return AlphaUnion(Sa, Da);
      return 255 - ((255 - S) * (255 - D) / 255);
    case 7:
      return (S + D) / 2;
  }
  return -1;
}

inline std::int32_t OpacityByte(double opacity) {
  const double t = opacity * 255.0 + 0.5;
  // Beyond the 32-bit range: 255 when positive (the library's chosen contract).
  if (t >= 2147483648.0) return 255;
  const std::int32_t i = TruncateToInt32(t);
  if (i < 0) return 0;
  if (i > 255) return 255;
  return i;
}

inline std::uint8_t Composite(std::uint8_t* dst, std::int32_t dstStride, const std::uint8_t* src,
                              std::int32_t srcStride, std::int32_t width, std::int32_t height,
                              std::int32_t mode, double opacity) {
  if (mode != 1 && mode != 3 && mode != 4 && mode != 5 && mode != 6 && mode != 7) return 0;
  const std::int32_t o = OpacityByte(opacity);
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* d = RowOf(dst, dstStride, y);
    const std::uint8_t* s = RowOf(src, srcStride, y);
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t before[4];
      std::memcpy(before, d + 4 * x, 4);
      std::uint8_t sp[4];
      std::memcpy(sp, s + 4 * x, 4);
      std::int32_t xs[4];
      for (int c = 0; c < 4; ++c) xs[c] = CompositeValue(mode, sp, before, c);
      for (int c = 0; c < 4; ++c) {
        const std::int32_t v = o == 255 ? xs[c] : (xs[c] * o + before[c] * (255 - o)) / 255;
        d[4 * x + c] = static_cast<std::uint8_t>(v);
      }
    }
  }
  return 1;
}

// ---- Multiply ----
inline std::uint8_t Multiply(std::uint8_t* dst, std::int32_t dstStride, std::int32_t width,
                             std::int32_t height, double factor) {
  const std::int32_t k = TruncateToInt32(factor * 256.0 + 0.5);
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* d = RowOf(dst, dstStride, y);
    for (std::int32_t x = 0; x < width; ++x) {
      for (int c = 0; c < 4; ++c) {
        // Exact quotient; outside k = -1..256 it saturates (the chosen contract).
        std::int64_t q = (static_cast<std::int64_t>(d[4 * x + c]) * k + 127) / 256;
        if (q < 0) q = 0;
        if (q > 255) q = 255;
        d[4 * x + c] = static_cast<std::uint8_t>(q);
      }
    }
  }
  return 1;
}

// ---- MultiplyChannel and MaskMultiply ----
struct MaskRemap {
  bool general;
  std::int32_t ks, ko;
};

inline MaskRemap RemapFor(double scale, double offset) {
  MaskRemap r{false, 0, 0};
  r.general = scale < 0.9999 || scale > 1.0001 || offset < -0.0001 || offset > 0.0001;
  if (r.general) {
    r.ks = TruncateToInt32(scale * 1024.0);
    r.ko = TruncateToInt32(offset * 1024.0);
  }
  return r;
}

inline std::uint8_t ScaleByMask(const MaskRemap& r, std::int32_t d, std::int32_t m) {
  if (!r.general) return static_cast<std::uint8_t>((d * m + 127) / 255);
  const std::uint32_t w = U(m) * U(r.ks) + U(r.ko);
  const std::int32_t v = Wrap(U(d) * w + 130560u);
  std::int32_t q = v / 261120;
  if (q < 0) q = 0;
  if (q > 255) q = 255;
  return static_cast<std::uint8_t>(q);
}

inline std::uint8_t MultiplyChannel(std::uint8_t* dst, std::int32_t dstStride,
                                    std::uint32_t dstChannel, const std::uint8_t* mask,
                                    std::int32_t maskStride, std::uint32_t maskChannel,
                                    std::int32_t width, std::int32_t height, double scale,
                                    double offset) {
  const MaskRemap r = RemapFor(scale, offset);
  if (dstChannel > 3 || maskChannel > 3) return 0;
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* d = RowOf(dst, dstStride, y);
    const std::uint8_t* m = RowOf(mask, maskStride, y);
    for (std::int32_t x = 0; x < width; ++x)
      d[4 * x + dstChannel] = ScaleByMask(r, d[4 * x + dstChannel], m[4 * x + maskChannel]);
  }
  return 1;
}

inline std::uint8_t MaskMultiply(std::uint8_t* dst, std::int32_t dstStride,
                                 const std::uint8_t* mask, std::int32_t maskStride,
                                 std::int32_t width, std::int32_t height,
                                 std::int32_t maskChannel, double scale, double offset) {
  const MaskRemap r = RemapFor(scale, offset);
  if (maskChannel >= 4) return 0;
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* d = RowOf(dst, dstStride, y);
    const std::uint8_t* m = RowOf(mask, maskStride, y);
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t mp[4];
      std::memcpy(mp, m + 4 * x, 4);  // mask may be dst: read before writing
      for (int c = 0; c < 4; ++c) {
        const std::int32_t mb = maskChannel < 0 ? mp[c] : mp[maskChannel];
        d[4 * x + c] = ScaleByMask(r, d[4 * x + c], mb);
      }
    }
  }
  return 1;
}

// ---- ClipRestore / FocusPrep ----
inline std::uint8_t ClipRestore(float* dst, std::int32_t dstStride, std::int32_t width,
                                std::int32_t height, double clipLevel, double restoreMin) {
  const float t = static_cast<float>(clipLevel * 255.0);
  const float f = static_cast<float>(restoreMin * 255.0);
  auto* base = reinterpret_cast<std::uint8_t*>(dst);
  for (std::int32_t y = 0; y < height; ++y) {
    std::uint8_t* row = RowOf(base, dstStride, y);
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* px = row + 16 * static_cast<std::int64_t>(x);
      float a;
      std::memcpy(&a, px + 12, 4);
      // V is a copy of F or of A (bits, not a float maximum).
      std::uint32_t v, fBits, aBits;
      std::memcpy(&fBits, &f, 4);
      std::memcpy(&aBits, px + 12, 4);
      if (a < f)
        v = fBits;
      else
        v = aBits;
      float c[3];
      std::memcpy(c, px, 12);
      for (int i = 0; i < 3; ++i)
        if (c[i] > t) std::memcpy(px + 4 * i, &v, 4);
    }
  }
  return 1;
}

}  // namespace morvex::oracle
