// The recursive Gaussian blur of images and masks: the per-value arithmetic
// of one recursion step, the work descriptions the passes hand to their
// kernels, and the kernels themselves (plain, SSE2, AVX2).
//
// Every kernel, whatever it runs together (several rows, several columns,
// two pixels per vector), gives exactly the bits of the one-row and
// one-column definitions BlurRowPass, BlurColumnPass, BlurMaskRowPass and
// BlurMaskColumnPass below.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "blur/coefficients.h"
#include "frame/convert.h"
#include "frame/compiler.h"
#include "frame/plane.h"

namespace morvex::blur {

// Values below this (compared in single precision, negatives included)
// become 0 on the kernels that flush; the threshold itself stays.
inline constexpr float kFlushBelow = 0.00001f;

// ---- One recursion step ----
// Each value is ((B*input + b1*first) + b2*second) + b3*third, stored as
// single; the stored value is what later steps use.

// Single-precision step: the 8-bit image on the vector path.
MORVEX_INLINE float StepSingle(const GaussianCoefficients& k, float input, float first,
                                    float second, float third) {
  return ((k.B * input + k.b1 * first) + k.b2 * second) + k.b3 * third;
}

// Double-precision step stored as single: the scalar path, the float image
// and masks.
MORVEX_INLINE float StepDouble(const GaussianCoefficients& k, float input, float first,
                                    float second, float third) {
  const double v = ((static_cast<double>(k.B) * input + static_cast<double>(k.b1) * first) +
                    static_cast<double>(k.b2) * second) +
                   static_cast<double>(k.b3) * third;
  return ToSingle(v);
}

MORVEX_INLINE float FlushSmall(float v) { return v < kFlushBelow ? 0.0f : v; }

// A converted value saturated to a byte. INT32_MIN, the conversion of NaN and
// of values beyond the 32-bit range, gives 0.
MORVEX_INLINE Byte SaturateToByte(std::int32_t v) {
  return static_cast<Byte>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// 8-bit image result: rounded in the current mode, then saturated.
MORVEX_INLINE Byte ImageByte(float y) { return SaturateToByte(ConvertCurrentMode(y)); }

// Mask result: y * scale + offset in double, stored as single, rounded in the
// current mode, then saturated.
MORVEX_INLINE Byte MaskByte(float y, float scale, float offset) {
  const float v = ToSingle(static_cast<double>(y) * scale + static_cast<double>(offset));
  return SaturateToByte(ConvertCurrentMode(v));
}

// ---- Layouts ----
// The image intermediate holds four floats (blue, green, red, alpha) per
// pixel, the mask intermediate one float per element; rows are packed. Host
// memory has no alignment promise, so both are addressed as bytes.
inline constexpr int kImageTempBytes = 16;
inline constexpr int kMaskTempBytes = 4;

// Arithmetic of the image kernels: single precision without flush (8-bit
// image, vector path), or double precision stored as single with the flush
// (8-bit image on the scalar path, float image on either path).
enum class Arithmetic { kSingle, kDouble };

// One row of the horizontal pass.
struct RowJob {
  const Byte* source;  // image or mask row; element i at i * format
  Byte* temp;          // intermediate row
  GaussianCoefficients k;
};

// Rows a row kernel is handed at most per call.
inline constexpr int kMaxRowGroup = 48;

// A strip of adjacent columns for the vertical pass.
struct ColumnStrip {
  Byte* target;              // image/mask element (0, first column)
  std::int32_t stride;       // image/mask row stride
  const Byte* temp;          // intermediate element (0, first column)
  std::ptrdiff_t tempPitch;  // intermediate row pitch in bytes
  Byte* scratch;             // height rows of `count` columns of floats
  std::int32_t height;
  std::int32_t count;             // columns in the strip, 1 .. kStrip*Columns
  const GaussianCoefficients* k;  // one set per column
};

// Columns per strip: one cache line of 8-bit pixels, and of mask
// intermediate floats; the AVX-512 image kernels take two cache lines.
inline constexpr int kStripImageColumns = 16;
inline constexpr int kStripMaskColumns = 16;
inline constexpr int kStripImageColumnsAvx512 = 32;
inline constexpr int kMaxStripColumns = 32;

// ---- One-row and one-column definitions ----

// Forward then backward recursion along one image row into the intermediate
// row; `format` 4 (bytes) or 16 (floats).
void BlurRowPass(Byte* tempRow, const Byte* imageRow, int format, std::int32_t width,
                 const GaussianCoefficients& k, Arithmetic arithmetic);

// Forward recursion down one intermediate column into `scratch` (height x 16
// bytes), backward recursion up it, results into the image column: bytes
// (format 4) or floats (format 16, double arithmetic only).
void BlurColumnPass(Byte* imageColumn, std::int32_t stride, int format, const Byte* tempColumn,
                    std::ptrdiff_t tempPitch, Byte* scratch, std::int32_t height,
                    const GaussianCoefficients& k, Arithmetic arithmetic);

// Mask row: element i is the byte at i * format; flush in both directions.
void BlurMaskRowPass(Byte* tempRow, const Byte* maskRow, int format, std::int32_t width,
                     const GaussianCoefficients& k);

// Mask column: flush forward only; each result mapped by scale and offset.
void BlurMaskColumnPass(Byte* maskColumn, std::int32_t stride, const Byte* tempColumn,
                        std::ptrdiff_t tempPitch, Byte* scratch, std::int32_t height,
                        const GaussianCoefficients& k, float scale, float offset);

// ---- Kernels over groups ----
// Row kernels take 1 .. kMaxRowGroup rows of one width; column kernels one
// strip. Scratch holds height x count x (16 or 4) bytes.

using ImageRowKernel = void (*)(const RowJob* rows, int count, std::int32_t width, int format);
using ImageColumnKernel = void (*)(const ColumnStrip& strip, int format);
using MaskRowKernel = void (*)(const RowJob* rows, int count, std::int32_t width, int format);
using MaskColumnKernel = void (*)(const ColumnStrip& strip, int format, float scale, float offset);

// Plain (any processor).
void BlurImageRowsSingleScalar(const RowJob* rows, int count, std::int32_t width, int format);
void BlurImageColumnsSingleScalar(const ColumnStrip& strip, int format);
void BlurImageRowsDoubleScalar(const RowJob* rows, int count, std::int32_t width, int format);
void BlurImageColumnsDoubleScalar(const ColumnStrip& strip, int format);
void BlurMaskRowsScalar(const RowJob* rows, int count, std::int32_t width, int format);
void BlurMaskColumnsScalar(const ColumnStrip& strip, int format, float scale, float offset);

// SSE2. The single-precision image kernels take format 4; the double ones
// format 16.
void BlurImageRowsSingleSse2(const RowJob* rows, int count, std::int32_t width, int format);
void BlurImageColumnsSingleSse2(const ColumnStrip& strip, int format);
void BlurImageRowsDoubleSse2(const RowJob* rows, int count, std::int32_t width, int format);
void BlurImageColumnsDoubleSse2(const ColumnStrip& strip, int format);
void BlurMaskRowsSse2(const RowJob* rows, int count, std::int32_t width, int format);
void BlurMaskColumnsSse2(const ColumnStrip& strip, int format, float scale, float offset);

// AVX2, same formats as SSE2.
void BlurImageRowsSingleAvx2(const RowJob* rows, int count, std::int32_t width, int format);
void BlurImageColumnsSingleAvx2(const ColumnStrip& strip, int format);
// Rows of the 8-bit image with a forward buffer of
// width x kBufferedRowBytesPerPixel bytes.
inline constexpr int kBufferedRowVectors = 4;
inline constexpr int kBufferedRowBytesPerPixel = 32 * kBufferedRowVectors;
void BlurImageRowsSingleBufferedAvx2(const RowJob* rows, int count, std::int32_t width,
                                     Byte* buffer);
void BlurImageRowsDoubleAvx2(const RowJob* rows, int count, std::int32_t width, int format);
void BlurImageColumnsDoubleAvx2(const ColumnStrip& strip, int format);
// Mask rows staged in a buffer of width x kStagedMaskRowBytesPerElement
// bytes.
inline constexpr int kStagedMaskRowVectors = 6;
inline constexpr int kStagedMaskRowBytesPerElement = 16 * kStagedMaskRowVectors;
void BlurMaskRowsStagedAvx2(const RowJob* rows, int count, std::int32_t width, int format,
                            Byte* buffer);
void BlurMaskRowsAvx2(const RowJob* rows, int count, std::int32_t width, int format);
void BlurMaskColumnsAvx2(const ColumnStrip& strip, int format, float scale, float offset);

// AVX-512. Rows of the 8-bit image with a forward buffer of
// width x kBufferedRowBytesPerPixelAvx512 bytes; column strips of up to
// kStripImageColumnsAvx512 columns.
inline constexpr int kBufferedRowVectorsAvx512 = 4;
inline constexpr int kBufferedRowBytesPerPixelAvx512 = 64 * kBufferedRowVectorsAvx512;
void BlurImageRowsSingleBufferedAvx512(const RowJob* rows, int count, std::int32_t width,
                                       Byte* buffer);
void BlurImageColumnsSingleAvx512(const ColumnStrip& strip, int format);

// Runs `count` rows as full groups of kLanes * kVectors rows, then the rest
// one vector at a time. Only lanes of one vector may repeat a row (the last
// one, to fill it): they load together and store identical values, whereas
// separate vectors updating one row in place would see each other's writes.
template <int kLanes, int kVectors, class Full, class One>
inline void InGroups(const RowJob* rows, int count, Full&& full, One&& one) {
  int j0 = 0;
  for (; j0 + kLanes * kVectors <= count; j0 += kLanes * kVectors) full(rows + j0);
  for (; j0 < count; j0 += kLanes) {
    RowJob group[kLanes];
    for (int j = 0; j < kLanes; ++j) group[j] = rows[std::min(j0 + j, count - 1)];
    one(group);
  }
}

// The walk every column kernel shares: the forward recursion down the
// strip into the scratch rows, then the backward recursion up them.
// forward(x, w1, w2, w3, w) computes scratch row w from intermediate row x
// and the three previous scratch rows; backward(w, y1, y2, y3, target)
// overwrites scratch row w with its backward values and writes the results
// to the target row. The previous rows start at `seed`, a copy of the first
// intermediate row or of the last forward row: the steady state.
template <class Forward, class Backward>
MORVEX_INLINE void WalkStrip(const ColumnStrip& s, std::ptrdiff_t rowBytes, Byte* seed,
                                  Forward&& forward, Backward&& backward) {
  // Rows ahead whose intermediate is fetched while the current one is used.
  constexpr std::ptrdiff_t kAhead = 16;
  std::memcpy(seed, s.temp, static_cast<std::size_t>(rowBytes));
  const Byte* p1 = seed;
  const Byte* p2 = seed;
  const Byte* p3 = seed;
  for (std::ptrdiff_t r = 0; r < s.height; ++r) {
    const Byte* x = s.temp + r * s.tempPitch;
    if (r + kAhead < s.height) {
      for (std::ptrdiff_t b = 0; b < rowBytes; b += 64)
        __builtin_prefetch(x + kAhead * s.tempPitch + b);
    }
    Byte* w = s.scratch + r * rowBytes;
    forward(x, p1, p2, p3, w);
    p3 = p2;
    p2 = p1;
    p1 = w;
  }
  std::memcpy(seed, p1, static_cast<std::size_t>(rowBytes));
  p1 = p2 = p3 = seed;
  for (std::ptrdiff_t r = s.height - 1; r >= 0; --r) {
    Byte* w = s.scratch + r * rowBytes;
    backward(w, p1, p2, p3, s.target + r * static_cast<std::ptrdiff_t>(s.stride));
    p3 = p2;
    p2 = p1;
    p1 = w;
  }
}

// ---- Export-side routines ----

// GaussianBlur: checks, path choice, the two passes. Returns false when
// refused (after the diagnostic line).
bool GaussianBlurImage(Byte* pixels, std::int32_t stride, std::int32_t format, std::int32_t width,
                       std::int32_t height, Byte* temp, std::int32_t tempBytes,
                       double sigmaHorizontal, double sigmaVertical, const Byte* rowSigmas,
                       const Byte* columnSigmas);

// GaussianBlurMask: the same for one 8-bit channel, with output scale and
// offset.
bool GaussianBlurMaskPlane(Byte* mask, std::int32_t stride, std::int32_t format, std::int32_t width,
                           std::int32_t height, Byte* temp, std::int32_t tempBytes,
                           double sigmaHorizontal, double sigmaVertical, double outputScale,
                           double outputOffset, const Byte* rowSigmas, const Byte* columnSigmas);

}  // namespace morvex::blur
