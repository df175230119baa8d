// The recursive Gaussian blur of images and masks: the per-value arithmetic
// of one recursion step, the work descriptions the passes hand to their
// kernels, and the kernel records with their tables (plain, SSE2, AVX2 and
// AVX-512 entries; the vector kernels are written once, over frame/simd, in
// gaussian_kernels.h).
//
// Every kernel, whatever it runs together (several rows, several columns,
// two pixels per vector), gives exactly the bits of the one-row and
// one-column definitions BlurRowPass, BlurColumnPass, BlurMaskRowPass and
// BlurMaskColumnPass below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "blur/coefficients.h"
#include "frame/convert.h"
#include "frame/compiler.h"
#include "frame/dispatch.h"
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
inline constexpr int kMaxRowGroup = 64;

// A strip of adjacent columns for the vertical pass.
struct ColumnStrip {
  Byte* target;              // image/mask element (0, first column)
  std::int32_t stride;       // image/mask row stride
  const Byte* temp;          // intermediate element (0, first column)
  std::ptrdiff_t tempPitch;  // intermediate row pitch in bytes
  Byte* scratch;             // height rows of `count` columns of floats
  std::int32_t height;
  std::int32_t count;             // columns in the strip, 1 .. the record's width
  const GaussianCoefficients* k;  // one set per column
  // Columns of each intermediate row fetched ahead from the strip's first:
  // the strip's own (0 or fewer), or more to take the next strip's along (it
  // then finds its rows in the caches).
  std::int32_t aheadColumns = 0;
};

// Columns per strip at most (each record names its own strip width).
inline constexpr int kMaxStripColumns = 64;

// Rows ahead of the current one whose intermediate a column kernel fetches.
inline constexpr int kColumnPrefetchRows = 16;

// The aheadColumns of the strip starting at column c0 of a region `width`
// columns wide: every other strip fetches the next one's intermediate along
// with its own, so that wider runs of each row come from memory at once,
// where two strips' columns of the intermediate fit the caches a core has to
// itself until the next strip runs (at 1080 rows the pass takes about a
// tenth less time; at 4096, where they do not fit, the extra fetches cost
// time). 0: the strip's own.
inline std::int32_t StripAheadColumns(std::int32_t width, std::int32_t height, std::int32_t c0,
                                      int stripColumns, int elementBytes) {
  const bool pairsFit = static_cast<std::int64_t>(height) * 2 * stripColumns * elementBytes <=
                        (std::int64_t{2} << 20);
  if (!pairsFit || c0 / stripColumns % 2 != 0 || width - c0 <= stripColumns) return 0;
  return width - c0 < 2 * stripColumns ? width - c0 : 2 * stripColumns;
}

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

// ---- Kernels over groups, and their tables ----
// Row kernels take 1 .. kMaxRowGroup rows of one width; column kernels one
// strip. Scratch holds height x count x (16 or 4) bytes. A row kernel is
// given a row buffer of width x bufferBytes bytes where its record asks for
// one and the memory exists, or null (it then does without).

using ImageRowKernel = void (*)(const RowJob* rows, int count, std::int32_t width, int format,
                                Byte* buffer);
using ImageColumnKernel = void (*)(const ColumnStrip& strip, int format);
using MaskRowKernel = void (*)(const RowJob* rows, int count, std::int32_t width, int format,
                               Byte* buffer);
using MaskColumnKernel = void (*)(const ColumnStrip& strip, int format, float scale, float offset);

struct ImageKernels {
  ImageRowKernel rows;
  std::size_t bufferBytes;  // row buffer bytes per pixel of a row; 0: none
  ImageColumnKernel columns;
  int stripColumns;  // 1 .. kMaxStripColumns
};

struct MaskKernels {
  MaskRowKernel rows;
  std::size_t bufferBytes;  // row buffer bytes per element of a row; 0: none
  MaskColumnKernel columns;
  int stripColumns;
};

// The 8-bit image on the vector path (single precision, no flush). The
// scalar entry is that arithmetic's plain definition, which the kernel tests
// hold the vector entries to; a processor with SSE2 takes the vector path.
extern const ImageKernels kImageSingleKernelsScalar;
extern const ImageKernels kImageSingleKernelsSse2;
extern const ImageKernels kImageSingleKernelsAvx2;
extern const ImageKernels kImageSingleKernelsAvx512;
extern const KernelTable<ImageKernels> kImageSingleKernelTable;

// Double precision stored as single, with the flush: the float image on
// every path, and the 8-bit image on the scalar path (the scalar entry takes
// either format, the vector entries format 16).
extern const ImageKernels kImageDoubleKernelsScalar;
extern const ImageKernels kImageDoubleKernelsSse2;
extern const ImageKernels kImageDoubleKernelsAvx2;
extern const ImageKernels kImageDoubleKernelsAvx512;
extern const KernelTable<ImageKernels> kImageDoubleKernelTable;

extern const MaskKernels kMaskKernelsScalar;
extern const MaskKernels kMaskKernelsSse2;
extern const MaskKernels kMaskKernelsAvx2;
extern const MaskKernels kMaskKernelsAvx512;
extern const KernelTable<MaskKernels> kMaskKernelTable;

// The plain kernels (any processor); the mask one is also what the vector
// mask row kernels fall back to without a row buffer.
void BlurImageRowsSingleScalar(const RowJob* rows, int count, std::int32_t width, int format,
                               Byte* buffer);
void BlurImageColumnsSingleScalar(const ColumnStrip& strip, int format);
void BlurImageRowsDoubleScalar(const RowJob* rows, int count, std::int32_t width, int format,
                               Byte* buffer);
void BlurImageColumnsDoubleScalar(const ColumnStrip& strip, int format);
void BlurMaskRowsScalar(const RowJob* rows, int count, std::int32_t width, int format,
                        Byte* buffer);
void BlurMaskColumnsScalar(const ColumnStrip& strip, int format, float scale, float offset);

// ---- Export-side routines ----

// Which passes a call runs: both for the exports; one alone for the
// benchmarks that time each pass.
enum class BlurPasses { kBoth, kHorizontal, kVertical };

// GaussianBlur: checks, path choice, the two passes. Returns false when
// refused (after the diagnostic line).
bool GaussianBlurImage(Byte* pixels, std::int32_t stride, std::int32_t format, std::int32_t width,
                       std::int32_t height, Byte* temp, std::int32_t tempBytes,
                       double sigmaHorizontal, double sigmaVertical, const Byte* rowSigmas,
                       const Byte* columnSigmas, BlurPasses passes = BlurPasses::kBoth);

// GaussianBlurMask: the same for one 8-bit channel, with output scale and
// offset.
bool GaussianBlurMaskPlane(Byte* mask, std::int32_t stride, std::int32_t format, std::int32_t width,
                           std::int32_t height, Byte* temp, std::int32_t tempBytes,
                           double sigmaHorizontal, double sigmaVertical, double outputScale,
                           double outputOffset, const Byte* rowSigmas, const Byte* columnSigmas,
                           BlurPasses passes = BlurPasses::kBoth);

}  // namespace morvex::blur
