#include "mask/oracle_mask.h"

#include <cmath>
#include <cstring>

#include "frame/convert.h"

namespace morvex::oracle {
namespace {

// Every real quantity is computed in double and stored as single.
float F(double v) { return static_cast<float>(v); }

float LoadFloat(const void* p) {
  float v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
void StoreFloat(void* p, float v) { std::memcpy(p, &v, sizeof v); }

const std::uint8_t* Bytes(const float* p) { return reinterpret_cast<const std::uint8_t*>(p); }
std::uint8_t* Bytes(float* p) { return reinterpret_cast<std::uint8_t*>(p); }

float FloatAt(const float* plane, std::int32_t stride, std::int64_t x, std::int64_t y) {
  return LoadFloat(Bytes(plane) + y * stride + 4 * x);
}
std::uint8_t* FloatAddress(float* plane, std::int32_t stride, std::int64_t x, std::int64_t y) {
  return Bytes(plane) + y * stride + 4 * x;
}

struct FloatRect {
  float x, y, width, height;
};

void ClipRect(const FloatRect& clip, FloatRect& rect) {
  if (clip.x > rect.x) {
    const float d = F(static_cast<double>(clip.x) - rect.x);
    rect.x = clip.x;
    rect.width = F(static_cast<double>(rect.width) - d);
  }
  if (clip.y > rect.y) {
    const float d = F(static_cast<double>(clip.y) - rect.y);
    rect.y = clip.y;
    rect.height = F(static_cast<double>(rect.height) - d);
  }
  if (static_cast<double>(clip.x) + clip.width < static_cast<double>(rect.x) + rect.width) {
    const float over = F((static_cast<double>(rect.x) + rect.width) -
                         (static_cast<double>(clip.x) + clip.width));
    rect.width = F(static_cast<double>(rect.width) - over);
  }
  if (static_cast<double>(clip.y) + clip.height < static_cast<double>(rect.y) + rect.height) {
    const float over = F((static_cast<double>(rect.y) + rect.height) -
                         (static_cast<double>(clip.y) + clip.height));
    rect.height = F(static_cast<double>(rect.height) - over);
  }
}

// A fixed-point position as a source index and a fraction index. Positions
// below zero sample element 0 exactly; indices are limited to the last
// element (the library's documented bounds rule).
struct Split {
  std::int32_t index, fraction;
};
Split SplitPosition(std::int32_t p, std::int32_t count) {
  if (p < 0) return {0, 0};
  std::int32_t index = p / 2048;
  const std::int32_t fraction = p - 2048 * index;
  if (index > count - 1) index = count - 1;
  return {index, fraction};
}

std::int32_t WholeToInt(double whole) { return TruncateToInt32(whole); }

struct Pixel {
  std::uint8_t b[4];
};

Pixel LerpPixel(Pixel p, Pixel q, std::int32_t wp, std::int32_t wq) {
  Pixel r;
  for (int k = 0; k < 4; ++k) r.b[k] = static_cast<std::uint8_t>((p.b[k] * wp + q.b[k] * wq + 2048) / 4096);
  return r;
}

}  // namespace

void FillRamp(float* out, std::int32_t count, float low, float high) {
  const float d = F(static_cast<double>(high) - low);
  const float c = static_cast<float>(count - 1);
  for (std::int32_t i = 0; i < count; ++i) {
    const float q = F(static_cast<double>(i) / c);
    out[i] = F(static_cast<double>(low) + static_cast<double>(q) * d);
  }
}

std::uint8_t GenerateNoiseMask(float* dst, std::int32_t dstStride, std::int32_t width,
                               std::int32_t height, float low, float high, std::uint32_t seed) {
  float levels[1024];
  FillRamp(levels, 1024, low, high);
  if (height <= 0) return 1;
  std::uint32_t state = seed;
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      state = state * 214013u + 2531011u;
      const std::uint32_t r = (state >> 16) & 0x7FFF;
      StoreFloat(FloatAddress(dst, dstStride, x, y), levels[r % 1024]);
    }
  return 1;
}

std::uint8_t MultiplyMasks(float* dst, std::int32_t dstStride, const float* src,
                           std::int32_t srcStride, std::int32_t width, std::int32_t height) {
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      const float s = FloatAt(src, srcStride, x, y);
      const float d = FloatAt(dst, dstStride, x, y);
      StoreFloat(FloatAddress(dst, dstStride, x, y), F(static_cast<double>(s) * d));
    }
  return 1;
}

std::uint8_t ScaleMask(float* dst, std::int32_t dstStride, std::int32_t dstWidth,
                       std::int32_t dstHeight, float dstRectX, float dstRectY, float dstRectWidth,
                       float dstRectHeight, const float* src, std::int32_t srcStride,
                       std::int32_t srcWidth, std::int32_t srcHeight, float srcRectX,
                       float srcRectY, float srcRectWidth, float srcRectHeight, std::int32_t mode,
                       float amount) {
  float table[2048];
  for (int i = 0; i < 2048; ++i) table[i] = F(i * 0.00048828125);

  const float sx = F(static_cast<double>(dstRectWidth) / srcRectWidth);
  const float sy = F(static_cast<double>(dstRectHeight) / srcRectHeight);
  const FloatRect P{0, 0, static_cast<float>(dstWidth), static_cast<float>(dstHeight)};
  const FloatRect S{F(dstRectX - static_cast<double>(srcRectX) * sx),
                    F(dstRectY - static_cast<double>(srcRectY) * sy),
                    F(static_cast<double>(srcWidth) * sx), F(static_cast<double>(srcHeight) * sy)};
  FloatRect R{dstRectX, dstRectY, dstRectWidth, dstRectHeight};
  ClipRect(S, R);
  ClipRect(P, R);

  const float uFirst = F(srcRectX + (static_cast<double>(R.x) - dstRectX) / sx);
  const float vFirst = F(srcRectY + (static_cast<double>(R.y) - dstRectY) / sy);
  const float uEnd = F((static_cast<double>(R.x) + R.width -
                        (static_cast<double>(dstRectX) + dstRectWidth)) / sx +
                       (static_cast<double>(srcRectX) + srcRectWidth));
  const float uw = F(static_cast<double>(uEnd) - uFirst);
  const float vEnd = F((static_cast<double>(R.y) + R.height -
                        (static_cast<double>(dstRectY) + dstRectHeight)) / sy +
                       (static_cast<double>(srcRectY) + srcRectHeight));
  const float vh = F(static_cast<double>(vEnd) - vFirst);
  if (!(uw > 1 && vh > 1 && R.width > 1 && R.height > 1)) return 0;

  std::int32_t x0 = WholeToInt(std::floor(R.x));
  std::int32_t x1 = WholeToInt(std::ceil(F(static_cast<double>(R.x) + R.width)));
  std::int32_t y0 = WholeToInt(std::floor(R.y));
  std::int32_t y1 = WholeToInt(std::ceil(F(static_cast<double>(R.y) + R.height)));
  const float stepY = F((static_cast<double>(vh) - 1) / (static_cast<double>(R.height) - 1));
  const float stepX = F((static_cast<double>(uw) - 1) / (static_cast<double>(R.width) - 1));
  const std::int32_t dv = TruncateToInt32(static_cast<double>(stepY) * 2048);
  const std::int32_t du = TruncateToInt32(static_cast<double>(stepX) * 2048);
  const std::int32_t vStart = TruncateToInt32(static_cast<double>(vFirst) * 2048);
  const std::int32_t uStart = TruncateToInt32(static_cast<double>(uFirst) * 2048);
  if (y0 >= y1) return 1;

  // The span stays inside the destination plane.
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 > dstWidth) x1 = dstWidth;
  if (y1 > dstHeight) y1 = dstHeight;

  const float keep = F(1.0 - amount);
  std::uint32_t v = static_cast<std::uint32_t>(vStart);
  for (std::int32_t y = y0; y < y1; ++y, v += static_cast<std::uint32_t>(dv)) {
    const Split sy2 = SplitPosition(static_cast<std::int32_t>(v), srcHeight);
    const float wy = table[sy2.fraction];
    const float wyc = F(1.0 - wy);
    const std::int32_t upper = sy2.index;
    const std::int32_t lower = upper + 1 < srcHeight - 1 ? upper + 1 : srcHeight - 1;
    std::uint32_t u = static_cast<std::uint32_t>(uStart);
    for (std::int32_t j = x0; j < x1; ++j, u += static_cast<std::uint32_t>(du)) {
      const Split sx2 = SplitPosition(static_cast<std::int32_t>(u), srcWidth);
      const std::int32_t ix = sx2.index;
      const std::int32_t ix1 = ix + 1 < srcWidth - 1 ? ix + 1 : srcWidth - 1;
      const float wx = table[sx2.fraction];
      const float wxc = F(1.0 - wx);
      const float top = F(static_cast<double>(FloatAt(src, srcStride, ix, upper)) * wxc +
                          static_cast<double>(FloatAt(src, srcStride, ix1, upper)) * wx);
      const float bottom = F(static_cast<double>(FloatAt(src, srcStride, ix, lower)) * wxc +
                             static_cast<double>(FloatAt(src, srcStride, ix1, lower)) * wx);
      const float s = F(static_cast<double>(top) * wyc + static_cast<double>(bottom) * wy);
      std::uint8_t* out = FloatAddress(dst, dstStride, j, y);
      const float d = LoadFloat(out);
      float result = s;
      if (mode == 1) result = F(static_cast<double>(s) * amount + static_cast<double>(keep) * d);
      if (mode == 2) result = F(static_cast<double>(s) * d);
      StoreFloat(out, result);
    }
  }
  return 1;
}

std::uint8_t Shear(const std::uint8_t* src, std::int32_t srcStride, std::int32_t srcWidth,
                   std::int32_t srcHeight, std::uint8_t* dst, std::int32_t dstStride,
                   std::int32_t dstWidth, std::int32_t dstHeight, std::uint32_t direction,
                   double factor) {
  if (direction > 3) return 1;
  const bool forward = direction == 2 || direction == 3;
  const bool horizontal = direction == 1 || direction == 2;
  // A horizontal shear reads source rows 0 .. dstHeight - 1 and never
  // srcHeight. Documented bounds rule: a source without positions (or, for
  // a vertical shear, without lines) writes nothing.
  if (srcWidth < 1 || (!horizontal && srcHeight < 1)) return 1;
  const bool nonNegative = factor >= 0;
  const std::int32_t lines = horizontal ? dstHeight : dstWidth;
  const std::int64_t lSrc = horizontal ? srcWidth : srcHeight;
  const std::int64_t lDst = horizontal ? dstWidth : dstHeight;
  const std::int32_t srcLines = horizontal ? srcHeight : srcWidth;

  for (std::int32_t i = 0; i < lines; ++i) {
    // Vertical lines past the source's last column repeat that column.
    const std::int64_t si = horizontal || i < srcLines ? i : srcLines - 1;
    const auto S = [&](std::int64_t k) {
      const std::int64_t col = horizontal ? (forward ? k : srcWidth - 1 - k) : si;
      const std::int64_t row = horizontal ? si : (forward ? k : srcHeight - 1 - k);
      Pixel p;
      std::memcpy(p.b, src + row * srcStride + 4 * col, 4);
      return p;
    };
    const auto D = [&](std::int64_t j, Pixel p) {
      if (j >= lDst) return;  // writes stop at the destination's edge
      const std::int64_t col = horizontal ? (forward ? j : dstWidth - 1 - j) : i;
      const std::int64_t row = horizontal ? i : (forward ? j : dstHeight - 1 - j);
      std::memcpy(dst + row * dstStride + 4 * col, p.b, 4);
    };
    const auto Clamp = [&](std::int64_t k) { return k < lSrc - 1 ? k : lSrc - 1; };

    double s = std::fabs(static_cast<double>(i) * factor);
    if (std::isnan(s)) s = 0;
    if (s > 2147483648.0) s = 2147483648.0;
    const std::int64_t n = static_cast<std::int64_t>(std::floor(s));
    const std::int64_t m = static_cast<std::int64_t>(std::ceil(static_cast<double>(lSrc) + s));
    const std::int32_t fr = TruncateToInt32((s - static_cast<double>(n)) * 4096);
    const std::int32_t frc = 4096 - fr;
    if (nonNegative) {
      for (std::int64_t j = 0; j < n && j < lDst; ++j) D(j, S(0));
      D(n, S(0));
      for (std::int64_t j = n + 1; j < m && j < lDst; ++j) {
        const std::int64_t t = j - n - 1;
        D(j, LerpPixel(S(Clamp(t)), S(Clamp(t + 1)), fr, frc));
      }
      for (std::int64_t j = m; j < lDst; ++j) D(j, S(lSrc - 1));
    } else {
      for (std::int64_t j = 0; j < lDst; ++j) {
        const std::int64_t t = n + j;
        D(j, LerpPixel(S(Clamp(t)), S(Clamp(t + 1)), frc, fr));
      }
    }
  }
  return 1;
}

}  // namespace morvex::oracle
