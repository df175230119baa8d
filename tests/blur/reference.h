// A straightforward transcription of both blurs for the tests: one row and
// one column at a time, plain loops, no grouping, under the floating-point
// setting of the path being checked.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "blur/coefficients.h"
#include "frame/convert.h"
#include "frame/fpu.h"
#include "support/test_plane.h"

namespace morvex::blur::ref {

enum class Path { kVector, kScalar };

inline float Step(bool dbl, const GaussianCoefficients& k, float x, float a, float b, float c) {
  if (!dbl) return ((k.B * x + k.b1 * a) + k.b2 * b) + k.b3 * c;
  const double B = k.B, b1 = k.b1, b2 = k.b2, b3 = k.b3;
  return static_cast<float>(((B * x + b1 * a) + b2 * b) + b3 * c);
}

inline float Flush(float v) { return v < 0.00001f ? 0.0f : v; }

// Forward then backward recursion over `v`, in place.
inline void Run(std::vector<float>& v, bool dbl, const GaussianCoefficients& k, bool flushForward,
                bool flushBackward) {
  const std::size_t n = v.size();
  std::vector<float> w(n);
  float a = v[0], b = v[0], c = v[0];
  for (std::size_t i = 0; i < n; ++i) {
    w[i] = Step(dbl, k, v[i], a, b, c);
    if (flushForward) w[i] = Flush(w[i]);
    c = b;
    b = a;
    a = w[i];
  }
  a = b = c = w[n - 1];
  for (std::size_t i = n; i-- > 0;) {
    float y = Step(dbl, k, w[i], a, b, c);
    if (flushBackward) y = Flush(y);
    v[i] = y;
    c = b;
    b = a;
    a = y;
  }
}

// Rounds in the current MXCSR mode (std::nearbyint would follow the x87 unit
// in some runtimes); NaN and values beyond 32 bits give 0, the rest is clamped
// to 0..255.
inline std::uint8_t ToByte(float y) {
  const std::int32_t i = ConvertCurrentMode(y);
  return static_cast<std::uint8_t>(i < 0 ? 0 : (i > 255 ? 255 : i));
}

// Sets the floating-point setting of a path for its lifetime.
class PathSetting {
 public:
  explicit PathSetting(Path path) : saved_(ReadMxcsr()) {
    if (path == Path::kVector)
      WriteMxcsr(saved_ | 0x9900u);
    else
      WriteMxcsr(saved_ & ~0x6000u);
  }
  ~PathSetting() { WriteMxcsr(saved_); }

 private:
  std::uint32_t saved_;
};

inline GaussianCoefficients For(double sigma) {
  return ComputeGaussianCoefficients(ClampSigma(sigma));
}

struct Sigmas {
  double horizontal = 1, vertical = 1;
  std::vector<double> rows, columns;  // empty: not given
};

struct Result {
  std::vector<std::uint8_t> rows;  // the plane's row bytes afterwards
  std::vector<float> temp;         // the intermediate afterwards
};

// GaussianBlur on `plane` (format 4 or 16) as the given path defines it.
inline Result Image(const test::TestPlane& plane, int format, int width, int height,
                    const Sigmas& s, Path path) {
  const PathSetting setting(path);
  const bool dbl = path == Path::kScalar || format == 16;
  Result out{plane.RowBytes(), std::vector<float>(static_cast<std::size_t>(width) * height * 4)};
  auto input = [&](int r, int c, int ch) {
    const std::uint8_t* p = plane.Row(r) + c * format;
    if (format == 4) return static_cast<float>(p[ch]);
    float f;
    std::memcpy(&f, p + ch * 4, 4);
    return f;
  };
  for (int r = 0; r < height; ++r) {
    const GaussianCoefficients k = For(s.rows.empty() ? s.horizontal : s.rows[r]);
    for (int ch = 0; ch < 4; ++ch) {
      std::vector<float> v(width);
      for (int c = 0; c < width; ++c) v[c] = input(r, c, ch);
      Run(v, dbl, k, dbl, dbl);
      for (int c = 0; c < width; ++c)
        out.temp[(static_cast<std::size_t>(r) * width + c) * 4 + ch] = v[c];
    }
  }
  for (int c = 0; c < width; ++c) {
    const GaussianCoefficients k = For(s.columns.empty() ? s.vertical : s.columns[c]);
    for (int ch = 0; ch < 4; ++ch) {
      std::vector<float> v(height);
      for (int r = 0; r < height; ++r)
        v[r] = out.temp[(static_cast<std::size_t>(r) * width + c) * 4 + ch];
      Run(v, dbl, k, dbl, false);
      for (int r = 0; r < height; ++r) {
        std::uint8_t* p =
            out.rows.data() + static_cast<std::size_t>(r) * plane.rowBytes() + c * format;
        if (format == 4)
          p[ch] = ToByte(v[r]);
        else
          std::memcpy(p + ch * 4, &v[r], 4);
      }
    }
  }
  return out;
}

// GaussianBlurMask on `plane` (element step `format`, from byte `offset` of
// each row), always double precision under round to nearest.
inline Result Mask(const test::TestPlane& plane, int channel, int format, int width, int height,
                   const Sigmas& s, double outputScale, double outputOffset) {
  const PathSetting setting(Path::kScalar);
  Result out{plane.RowBytes(), std::vector<float>(static_cast<std::size_t>(width) * height)};
  for (int r = 0; r < height; ++r) {
    const GaussianCoefficients k = For(s.rows.empty() ? s.horizontal : s.rows[r]);
    std::vector<float> v(width);
    for (int c = 0; c < width; ++c) v[c] = plane.Row(r)[channel + c * format];
    Run(v, true, k, true, true);
    for (int c = 0; c < width; ++c) out.temp[static_cast<std::size_t>(r) * width + c] = v[c];
  }
  const float scale = static_cast<float>(outputScale), offset = static_cast<float>(outputOffset);
  for (int c = 0; c < width; ++c) {
    const GaussianCoefficients k = For(s.columns.empty() ? s.vertical : s.columns[c]);
    std::vector<float> v(height);
    for (int r = 0; r < height; ++r) v[r] = out.temp[static_cast<std::size_t>(r) * width + c];
    Run(v, true, k, true, false);
    for (int r = 0; r < height; ++r) {
      const float mapped = static_cast<float>(static_cast<double>(v[r]) * scale + offset);
      out.rows[static_cast<std::size_t>(r) * plane.rowBytes() + channel + c * format] =
          ToByte(mapped);
    }
  }
  return out;
}

}  // namespace morvex::blur::ref
