#include "blur/oracle_blur.h"

#include <xmmintrin.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "frame/convert.h"
#include "frame/fpu.h"

namespace morvex::test::oracle {
namespace {

constexpr float kFlushBelow = 0.00001f;

float LoadFloat(const void* p) {
  float v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
void StoreFloat(void* p, float v) { std::memcpy(p, &v, sizeof v); }
double LoadDouble(const double* base, std::int32_t index) {
  double v;
  std::memcpy(&v, reinterpret_cast<const std::uint8_t*>(base) + std::ptrdiff_t{index} * 8, sizeof v);
  return v;
}

std::uint8_t* RowStart(std::uint8_t* first, std::int32_t stride, std::int32_t row) {
  return first + static_cast<std::ptrdiff_t>(row) * stride;
}
std::uint8_t* TempElement(float* temp, std::int32_t width, std::int32_t row, std::int32_t column,
                          std::int32_t elementBytes) {
  const std::ptrdiff_t index = static_cast<std::ptrdiff_t>(row) * width + column;
  return reinterpret_cast<std::uint8_t*>(temp) + index * elementBytes;
}

// width * unit * height > tempBytes, with the product taken exactly.
bool NeedsMoreThan(std::int32_t width, std::int32_t unit, std::int32_t height,
                   std::int32_t tempBytes) {
  const std::int64_t a = std::int64_t{width} * unit;
  const std::int64_t b = height;
  if (a == 0 || b == 0) return 0 > tempBytes;
  const bool negative = (a < 0) != (b < 0);
  const std::uint64_t ma = a < 0 ? static_cast<std::uint64_t>(-a) : static_cast<std::uint64_t>(a);
  const std::uint64_t mb = b < 0 ? static_cast<std::uint64_t>(-b) : static_cast<std::uint64_t>(b);
  if (ma > (std::uint64_t{1} << 62) / mb) return !negative;  // far beyond any int32
  const std::int64_t magnitude = static_cast<std::int64_t>(ma * mb);
  return (negative ? -magnitude : magnitude) > tempBytes;
}

std::uint8_t Saturate(std::int32_t v) {
  return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// One recursion step: ((B*input + b1*first) + b2*second) + b3*third.
float StepDouble(const Coefficients& k, float input, float first, float second, float third) {
  const double v = ((static_cast<double>(k.B) * input + static_cast<double>(k.b1) * first) +
                    static_cast<double>(k.b2) * second) +
                   static_cast<double>(k.b3) * third;
  return static_cast<float>(v);
}
float StepSingle(const Coefficients& k, float input, float first, float second, float third) {
  float v = k.B * input;
  v = v + k.b1 * first;
  v = v + k.b2 * second;
  v = v + k.b3 * third;
  return v;
}

struct Arithmetic {
  bool single;  // single precision (vector kernels) or double stored as single
  float Step(const Coefficients& k, float input, float a, float b, float c) const {
    return single ? StepSingle(k, input, a, b, c) : StepDouble(k, input, a, b, c);
  }
};

float MaybeFlush(float v, bool flush) { return flush && v < kFlushBelow ? 0.0f : v; }

void Forward(const std::vector<float>& x, std::vector<float>& w, std::int32_t n,
             const Coefficients& k, Arithmetic arithmetic, bool flush) {
  float w1 = x[0], w2 = x[0], w3 = x[0];
  for (std::int32_t i = 0; i < n; ++i) {
    const float v = MaybeFlush(arithmetic.Step(k, x[i], w1, w2, w3), flush);
    w[i] = v;
    w3 = w2;
    w2 = w1;
    w1 = v;
  }
}

void Backward(const std::vector<float>& w, std::vector<float>& y, std::int32_t n,
              const Coefficients& k, Arithmetic arithmetic, bool flush) {
  float y1 = w[n - 1], y2 = w[n - 1], y3 = w[n - 1];
  for (std::int32_t i = n - 1; i >= 0; --i) {
    const float v = MaybeFlush(arithmetic.Step(k, w[i], y1, y2, y3), flush);
    y[i] = v;
    y3 = y2;
    y2 = y1;
    y1 = v;
  }
}

Coefficients SetFor(const double* sigmas, std::int32_t index, const Coefficients& uniform) {
  return sigmas ? GaussianCoefficients(ClampSigma(LoadDouble(sigmas, index))) : uniform;
}

[[gnu::noinline]] void BlurImage(std::uint8_t* pixels, std::int32_t stride, std::int32_t format,
                                 std::int32_t width, std::int32_t height, float* temp,
                                 double sigmaHorizontal, double sigmaVertical,
                                 const double* rowSigmas, const double* columnSigmas,
                                 bool vectorPath) {
  const Coefficients horizontal = GaussianCoefficients(ClampSigma(sigmaHorizontal));
  const Coefficients vertical = GaussianCoefficients(ClampSigma(sigmaVertical));
  const bool vectorKernels = vectorPath && format == 4;
  const Arithmetic arithmetic{vectorKernels};
  const bool flush = !vectorKernels;

  const std::size_t longest = static_cast<std::size_t>(width > height ? width : height);
  std::vector<float> x(longest), w(longest), y(longest);

  for (std::int32_t r = 0; r < height; ++r) {
    const Coefficients k = SetFor(rowSigmas, r, horizontal);
    const std::uint8_t* row = RowStart(pixels, stride, r);
    for (int ch = 0; ch < 4; ++ch) {
      for (std::int32_t i = 0; i < width; ++i) {
        const std::uint8_t* pixel = row + static_cast<std::ptrdiff_t>(i) * format;
        x[i] = format == 4 ? static_cast<float>(pixel[ch]) : LoadFloat(pixel + ch * 4);
      }
      Forward(x, w, width, k, arithmetic, flush);
      Backward(w, y, width, k, arithmetic, flush);
      for (std::int32_t i = 0; i < width; ++i) StoreFloat(TempElement(temp, width, r, i, 16) + ch * 4, y[i]);
    }
  }

  for (std::int32_t c = 0; c < width; ++c) {
    const Coefficients k = SetFor(columnSigmas, c, vertical);
    for (int ch = 0; ch < 4; ++ch) {
      for (std::int32_t r = 0; r < height; ++r) x[r] = LoadFloat(TempElement(temp, width, r, c, 16) + ch * 4);
      Forward(x, w, height, k, arithmetic, flush);
      Backward(w, y, height, k, arithmetic, false);
      for (std::int32_t r = height - 1; r >= 0; --r) {
        std::uint8_t* pixel = RowStart(pixels, stride, r) + static_cast<std::ptrdiff_t>(c) * format;
        if (format == 16) {
          StoreFloat(pixel + ch * 4, y[r]);
        } else {
          // The current mode: the caller's on the vector path, nearest under
          // the bracket on the scalar path. NaN and out-of-range give
          // INT32_MIN, which saturates to 0.
          pixel[ch] = Saturate(ConvertCurrentMode(y[r]));
        }
      }
    }
  }
}

[[gnu::noinline]] void BlurMask(std::uint8_t* mask, std::int32_t stride, std::int32_t format,
                                std::int32_t width, std::int32_t height, float* temp,
                                double sigmaHorizontal, double sigmaVertical, double outputScale,
                                double outputOffset, const double* rowSigmas,
                                const double* columnSigmas) {
  const Coefficients horizontal = GaussianCoefficients(ClampSigma(sigmaHorizontal));
  const Coefficients vertical = GaussianCoefficients(ClampSigma(sigmaVertical));
  const Arithmetic arithmetic{false};
  const std::size_t longest = static_cast<std::size_t>(width > height ? width : height);
  std::vector<float> x(longest), w(longest), y(longest);

  for (std::int32_t r = 0; r < height; ++r) {
    const Coefficients k = SetFor(rowSigmas, r, horizontal);
    const std::uint8_t* row = RowStart(mask, stride, r);
    for (std::int32_t i = 0; i < width; ++i) x[i] = static_cast<float>(row[static_cast<std::ptrdiff_t>(i) * format]);
    Forward(x, w, width, k, arithmetic, true);
    Backward(w, y, width, k, arithmetic, true);
    for (std::int32_t i = 0; i < width; ++i) StoreFloat(TempElement(temp, width, r, i, 4), y[i]);
  }

  const float scale = static_cast<float>(outputScale);
  const float offset = static_cast<float>(outputOffset);
  for (std::int32_t c = 0; c < width; ++c) {
    const Coefficients k = SetFor(columnSigmas, c, vertical);
    for (std::int32_t r = 0; r < height; ++r) x[r] = LoadFloat(TempElement(temp, width, r, c, 4));
    Forward(x, w, height, k, arithmetic, true);
    Backward(w, y, height, k, arithmetic, false);
    for (std::int32_t r = height - 1; r >= 0; --r) {
      const float v = static_cast<float>(static_cast<double>(y[r]) * scale + static_cast<double>(offset));
      RowStart(mask, stride, r)[static_cast<std::ptrdiff_t>(c) * format] = Saturate(ConvertCurrentMode(v));
    }
  }
}

// Flush to zero and the precision, underflow and denormal exception masks on
// top of the caller's MXCSR; the whole register comes back afterwards.
class VectorPathState {
 public:
  VectorPathState() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8000u | 0x1000u | 0x0800u | 0x0100u); }
  ~VectorPathState() { _mm_setcsr(saved_); }

 private:
  unsigned saved_;
};

}  // namespace

float ClampSigma(double value) {
  if (value < 0.5) {
    value = 0.5;
  } else if (value > 54.0) {
    value = 54.0;
  }
  return static_cast<float>(value);
}

float GaussianQ(float sigma) {
  if (sigma < 0.5f) sigma = 0.5f;
  if (sigma > 54.0f) sigma = 54.0f;
  double q;
  if (sigma < 2.5f) {
    const float s = static_cast<float>(std::sqrt(1.0 - 0.26891 * static_cast<double>(sigma)));
    q = static_cast<double>(3.97156f) - static_cast<double>(4.14554f) * static_cast<double>(s);
  } else {
    q = static_cast<double>(0.97588f) * static_cast<double>(sigma) - static_cast<double>(0.9633f);
  }
  return static_cast<float>(q);
}

Coefficients GaussianCoefficients(float sigma) {
  const double q = GaussianQ(sigma);
  const double q2 = static_cast<float>(q * q);
  const double q3 = static_cast<float>(q2 * q);
  const double b0 = static_cast<float>(((2.44413 * q + 1.57825) + 1.4281 * q2) + 0.422205 * q3);
  const double r1 = static_cast<float>((2.44413 * q + 2.85619 * q2) + 1.26661 * q3);
  const double r2 = static_cast<float>(-(1.4281 * q2 + 1.2666 * q3));
  const double r3 = static_cast<float>(0.422205 * q3);
  Coefficients k;
  k.b1 = static_cast<float>(r1 / b0);
  k.b2 = static_cast<float>(r2 / b0);
  k.b3 = static_cast<float>(r3 / b0);
  k.B = static_cast<float>(1.0 - ((static_cast<double>(k.b1) + k.b2) + k.b3));
  return k;
}

Outcome GaussianBlur(std::uint8_t* pixels, std::int32_t stride, std::int32_t format,
                     std::int32_t width, std::int32_t height, float* temp, std::int32_t tempBytes,
                     double sigmaHorizontal, double sigmaVertical, const double* rowSigmas,
                     const double* columnSigmas, bool vectorPath) {
  if (NeedsMoreThan(width, 16, height, tempBytes)) return {0, "GaussianBlur: we need a bigger temporary buffer"};
  if (format != 4 && format != 16) return {0, "GaussianBlur: unimplemented or unknown format"};
  if (width <= 0 || height <= 0) return {1, ""};
  if (vectorPath) {
    const VectorPathState state;
    BlurImage(pixels, stride, format, width, height, temp, sigmaHorizontal, sigmaVertical, rowSigmas,
              columnSigmas, true);
  } else {
    const RoundToNearestBracket bracket;
    BlurImage(pixels, stride, format, width, height, temp, sigmaHorizontal, sigmaVertical, rowSigmas,
              columnSigmas, false);
  }
  return {1, ""};
}

Outcome GaussianBlurMask(std::uint8_t* mask, std::int32_t stride, std::int32_t format,
                         std::int32_t width, std::int32_t height, float* temp,
                         std::int32_t tempBytes, double sigmaHorizontal, double sigmaVertical,
                         double outputScale, double outputOffset, const double* rowSigmas,
                         const double* columnSigmas) {
  if (NeedsMoreThan(width, 4, height, tempBytes)) return {0, "GaussianBlurMask: we need a bigger temporary buffer"};
  if (format != 1 && format != 4) return {0, "GaussianBlurMask: unimplemented or unknown format"};
  if (width <= 0 || height <= 0) return {1, ""};
  const RoundToNearestBracket bracket;
  BlurMask(mask, stride, format, width, height, temp, sigmaHorizontal, sigmaVertical, outputScale,
           outputOffset, rowSigmas, columnSigmas);
  return {1, ""};
}

}  // namespace morvex::test::oracle
