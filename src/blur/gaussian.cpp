// The export-side routines of the two blurs: argument tests in their order,
// the column scratch, the floating-point setting of the chosen path, and the
// two passes handed to the kernels in groups of rows and strips of columns.
#include "blur/gaussian.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "frame/cpu_features.h"
#include "frame/diagnostics.h"
#include "frame/fpu.h"

namespace morvex::blur {
namespace {

// Whether width x elementBytes x height fits in tempBytes, with the exact
// product: |width x height| < 2^62, so the comparison is made against
// floor(tempBytes / elementBytes) instead of multiplying further.
bool TempLargeEnough(std::int32_t width, std::int32_t height, std::int32_t elementBytes,
                     std::int32_t tempBytes) {
  const std::int64_t elements = static_cast<std::int64_t>(width) * height;
  std::int64_t limit = tempBytes / elementBytes;
  if (tempBytes % elementBytes != 0 && tempBytes < 0) --limit;  // floor toward -infinity
  return elements <= limit;
}

// Scratch of the call: the column scratch, which the vertical pass needs,
// and optionally a row buffer for the horizontal pass. The passes run one
// after the other, so both share one region: a bounded buffer in the call's
// frame, or heap memory when the region needs more, taken before anything is
// written so a failed allocation can still refuse the call cleanly. Without
// memory for the optional buffer the call goes on without it.
class WorkBuffers {
 public:
  WorkBuffers(std::size_t required, std::size_t optional) {
    const std::size_t both = std::max(required, optional);
    if (both <= sizeof local_) {
      column_ = local_;
      rows_ = optional != 0 ? local_ : nullptr;
      return;
    }
    if (optional != 0) {
      column_ = rows_ = Allocate(both);
      if (column_ != nullptr) return;
    }
    column_ = required <= sizeof local_ ? local_ : Allocate(required);
  }
  ~WorkBuffers() { std::free(heap_); }
  WorkBuffers(const WorkBuffers&) = delete;
  WorkBuffers& operator=(const WorkBuffers&) = delete;

  Byte* column() const { return column_; }
  Byte* rows() const { return rows_; }

 private:
  // Heap memory starting on a cache line, so that whole-vector accesses do
  // not straddle lines.
  Byte* Allocate(std::size_t bytes) {
    if (bytes > SIZE_MAX - kLine) return nullptr;
    heap_ = static_cast<Byte*>(std::malloc(bytes + kLine));
    if (heap_ == nullptr) return nullptr;
    return heap_ + (kLine - reinterpret_cast<std::uintptr_t>(heap_) % kLine) % kLine;
  }

  static constexpr std::size_t kLine = 64;
  alignas(64) Byte local_[32 * 1024];
  Byte* heap_ = nullptr;
  Byte* column_ = nullptr;
  Byte* rows_ = nullptr;
};

// Row buffers beyond this are not worth their memory.
constexpr std::size_t kMaxRowBufferBytes = std::size_t{64} << 20;

// The vector path's setting: flush to zero, and the precision, underflow and
// denormal exceptions masked; every other bit, rounding included, as the host
// left it. The whole register is written back, so flags raised inside do not
// remain.
class VectorPathMxcsr {
 public:
  VectorPathMxcsr() : saved_(ReadMxcsr()) {
    WriteMxcsr(saved_ | 0x8000u | 0x1000u | 0x0800u | 0x0100u);
  }
  ~VectorPathMxcsr() { WriteMxcsr(saved_); }
  VectorPathMxcsr(const VectorPathMxcsr&) = delete;
  VectorPathMxcsr& operator=(const VectorPathMxcsr&) = delete;

 private:
  std::uint32_t saved_;
};

GaussianCoefficients CoefficientsFor(double sigma) {
  return ComputeGaussianCoefficients(ClampSigma(sigma));
}

// Per-row or per-column sigma: element i of a host array of doubles, or the
// uniform set.
GaussianCoefficients CoefficientsAt(const Byte* sigmas, std::int32_t i,
                                    const GaussianCoefficients& uniform) {
  if (sigmas == nullptr) return uniform;
  return CoefficientsFor(LoadF64(sigmas + ElementOffset(i, 8)));
}

struct Plan {
  Byte* target;
  std::int32_t stride;
  std::int32_t format;  // element step of the image or mask
  std::int32_t width;
  std::int32_t height;
  Byte* temp;
  int tempElementBytes;
  double sigmaHorizontal;
  double sigmaVertical;
  const Byte* rowSigmas;
  const Byte* columnSigmas;
  Byte* scratch;
  int stripColumns;
  Byte* rowBuffer;  // optional
  BlurPasses passes;
};

template <class RowKernel>
void HorizontalPass(const Plan& p, RowKernel&& runRows) {
  const GaussianCoefficients uniform = CoefficientsFor(p.sigmaHorizontal);
  const std::ptrdiff_t tempPitch = static_cast<std::ptrdiff_t>(p.width) * p.tempElementBytes;
  const Rows image{p.target, p.stride};
  RowJob jobs[kMaxRowGroup];
  for (std::int32_t r0 = 0; r0 < p.height; r0 += kMaxRowGroup) {
    const int count = static_cast<int>(std::min<std::int32_t>(kMaxRowGroup, p.height - r0));
    for (int j = 0; j < count; ++j) {
      const std::int32_t r = r0 + j;
      jobs[j] = {image.RowAt(r), p.temp + static_cast<std::ptrdiff_t>(r) * tempPitch,
                 CoefficientsAt(p.rowSigmas, r, uniform)};
    }
    runRows(jobs, count);
  }
}

template <class ColumnKernel>
void VerticalPass(const Plan& p, ColumnKernel&& runStrip) {
  const GaussianCoefficients uniform = CoefficientsFor(p.sigmaVertical);
  GaussianCoefficients k[kMaxStripColumns];
  for (std::int32_t c0 = 0; c0 < p.width; c0 += p.stripColumns) {
    const int count = static_cast<int>(std::min<std::int32_t>(p.stripColumns, p.width - c0));
    for (int j = 0; j < count; ++j) k[j] = CoefficientsAt(p.columnSigmas, c0 + j, uniform);
    ColumnStrip strip;
    strip.target = p.target + ElementOffset(c0, p.format);
    strip.stride = p.stride;
    strip.temp = p.temp + ElementOffset(c0, p.tempElementBytes);
    strip.tempPitch = static_cast<std::ptrdiff_t>(p.width) * p.tempElementBytes;
    strip.scratch = p.scratch;
    strip.height = p.height;
    strip.count = count;
    strip.k = k;
    strip.aheadColumns =
        StripAheadColumns(p.width, p.height, c0, p.stripColumns, p.tempElementBytes);
    runStrip(strip);
  }
}

// Everything between the floating-point setting and its restoration; kept
// out of line so no part of it is evaluated before the setting is in force.
__attribute__((noinline)) void RunImageBlur(const Plan& p, const ImageKernels& kernels) {
  if (p.passes != BlurPasses::kVertical) {
    HorizontalPass(p, [&](const RowJob* jobs, int count) {
      kernels.rows(jobs, count, p.width, p.format, p.rowBuffer);
    });
  }
  if (p.passes != BlurPasses::kHorizontal)
    VerticalPass(p, [&](const ColumnStrip& strip) { kernels.columns(strip, p.format); });
}

__attribute__((noinline)) void RunMaskBlur(const Plan& p, const MaskKernels& kernels,
                                           double outputScale, double outputOffset) {
  if (p.passes != BlurPasses::kVertical) {
    HorizontalPass(p, [&](const RowJob* jobs, int count) {
      kernels.rows(jobs, count, p.width, p.format, p.rowBuffer);
    });
  }
  const float scale = ToSingle(outputScale);
  const float offset = ToSingle(outputOffset);
  if (p.passes != BlurPasses::kHorizontal) {
    VerticalPass(
        p, [&](const ColumnStrip& strip) { kernels.columns(strip, p.format, scale, offset); });
  }
}

// The vector path is the single-precision table's choice of a vector entry
// (a processor with SSE2). It runs the 8-bit image in single precision; the
// float image, and the 8-bit image on the scalar path, run in double.
const ImageKernels& ImageKernelsFor(std::uint32_t flags, bool vectorPath, int format) {
  if (vectorPath && format == 4) return kImageSingleKernelTable.For(flags);
  return kImageDoubleKernelTable.For(flags);
}

// The scratch of a call for a record: the column scratch of one strip, and
// the row buffer where the record asks for one. The buffer is only taken for
// rows of reasonable width, and its size computed only then, so it cannot
// wrap on 32-bit targets.
template <class Kernels>
struct CallScratch {
  CallScratch(const Kernels& kernels, std::int32_t width, std::int32_t height, int elementBytes)
      : stripColumns(static_cast<int>(std::min<std::int32_t>(kernels.stripColumns, width))),
        buffers(static_cast<std::size_t>(height) * stripColumns * elementBytes,
                kernels.bufferBytes != 0 &&
                        static_cast<std::size_t>(width) <= kMaxRowBufferBytes / kernels.bufferBytes
                    ? static_cast<std::size_t>(width) * kernels.bufferBytes
                    : 0) {}
  int stripColumns;
  WorkBuffers buffers;
};

// What tells the two exports apart in their common steps.
struct Export {
  const char* tempTooSmall;   // diagnostic of a short intermediate
  const char* unknownFormat;  // diagnostic of a format the export lacks
  int tempElementBytes;
  std::int32_t formats[2];  // the formats the export has
};

constexpr Export kImageBlur{"GaussianBlur: we need a bigger temporary buffer",
                            "GaussianBlur: unimplemented or unknown format", kImageTempBytes,
                            {4, 16}};
constexpr Export kMaskBlur{"GaussianBlurMask: we need a bigger temporary buffer",
                           "GaussianBlurMask: unimplemented or unknown format", kMaskTempBytes,
                           {1, 4}};

// The arguments of a call, as the host gave them.
struct Call {
  Byte* target;
  std::int32_t stride, format, width, height;
  Byte* temp;
  std::int32_t tempBytes;
  double sigmaHorizontal, sigmaVertical;
  const Byte* rowSigmas;
  const Byte* columnSigmas;
  BlurPasses passes;
};

// The steps both exports share, in their order: the size test, the format
// test, the empty region, the choice of kernels (`choose`), the call's
// scratch, then `run` with the plan.
template <class Choose, class Run>
bool RunCall(const Export& e, const Call& c, Choose&& choose, Run&& run) {
  if (!TempLargeEnough(c.width, c.height, e.tempElementBytes, c.tempBytes)) {
    WriteDiagnostic(e.tempTooSmall);
    return false;
  }
  if (c.format != e.formats[0] && c.format != e.formats[1]) {
    WriteDiagnostic(e.unknownFormat);
    return false;
  }
  if (c.width <= 0 || c.height <= 0) return true;

  const auto& kernels = choose();
  const CallScratch scratch(kernels, c.width, c.height, e.tempElementBytes);
  if (scratch.buffers.column() == nullptr) {
    WriteDiagnostic(e.tempTooSmall);
    return false;
  }
  const Plan plan{c.target, c.stride, c.format, c.width, c.height, c.temp, e.tempElementBytes,
                  c.sigmaHorizontal, c.sigmaVertical, c.rowSigmas, c.columnSigmas,
                  scratch.buffers.column(), scratch.stripColumns, scratch.buffers.rows(),
                  c.passes};
  run(plan, kernels);
  return true;
}

}  // namespace

constinit const KernelTable<ImageKernels> kImageSingleKernelTable(
    "gaussian.image", &kImageSingleKernelsScalar, &kImageSingleKernelsSse2,
    &kImageSingleKernelsAvx2, &kImageSingleKernelsAvx512);
constinit const KernelTable<ImageKernels> kImageDoubleKernelTable(
    "gaussian.float", &kImageDoubleKernelsScalar, &kImageDoubleKernelsSse2,
    &kImageDoubleKernelsAvx2, &kImageDoubleKernelsAvx512);
constinit const KernelTable<MaskKernels> kMaskKernelTable("gaussian.mask", &kMaskKernelsScalar,
                                                          &kMaskKernelsSse2, &kMaskKernelsAvx2,
                                                          &kMaskKernelsAvx512);

bool GaussianBlurImage(Byte* pixels, std::int32_t stride, std::int32_t format, std::int32_t width,
                       std::int32_t height, Byte* temp, std::int32_t tempBytes,
                       double sigmaHorizontal, double sigmaVertical, const Byte* rowSigmas,
                       const Byte* columnSigmas, BlurPasses passes) {
  bool vectorPath = false;
  return RunCall(
      kImageBlur,
      {pixels, stride, format, width, height, temp, tempBytes, sigmaHorizontal, sigmaVertical,
       rowSigmas, columnSigmas, passes},
      [&]() -> const ImageKernels& {
        const std::uint32_t flags = CpuFeatureFlags();
        vectorPath = kImageSingleKernelTable.Chosen(flags) != InstructionSet::kScalar;
        return ImageKernelsFor(flags, vectorPath, format);
      },
      [&](const Plan& plan, const ImageKernels& kernels) {
        if (vectorPath) {
          const VectorPathMxcsr setting;
          RunImageBlur(plan, kernels);
        } else {
          const RoundToNearestBracket bracket;
          RunImageBlur(plan, kernels);
        }
      });
}

bool GaussianBlurMaskPlane(Byte* mask, std::int32_t stride, std::int32_t format, std::int32_t width,
                           std::int32_t height, Byte* temp, std::int32_t tempBytes,
                           double sigmaHorizontal, double sigmaVertical, double outputScale,
                           double outputOffset, const Byte* rowSigmas, const Byte* columnSigmas,
                           BlurPasses passes) {
  return RunCall(
      kMaskBlur,
      {mask, stride, format, width, height, temp, tempBytes, sigmaHorizontal, sigmaVertical,
       rowSigmas, columnSigmas, passes},
      [&]() -> const MaskKernels& { return kMaskKernelTable.For(CpuFeatureFlags()); },
      [&](const Plan& plan, const MaskKernels& kernels) {
        const RoundToNearestBracket bracket;
        RunMaskBlur(plan, kernels, outputScale, outputOffset);
      });
}

}  // namespace morvex::blur
