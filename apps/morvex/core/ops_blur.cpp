// Gaussian blur of images and of one channel (GaussianBlur, GaussianBlurMask).
#include <sys/mman.h>

#include <memory>
#include <new>
#include <utility>

#include "core/args.h"
#include "core/ops.h"
#include "morvex/native.h"

namespace morvex::cli {

std::vector<double> SigmaRamp(bool on, double from, double to, std::int32_t count) {
  std::vector<double> sigmas;
  if (!on) return sigmas;
  for (std::int32_t i = 0; i < count; ++i)
    sigmas.push_back(count > 1 ? from + (to - from) * i / (count - 1) : from);
  return sigmas;
}

namespace {

// The blur's intermediate, uninitialised (the export writes it before it
// reads it); a large one asks for huge pages, so that first touching it
// takes few page faults.
class Scratch {
 public:
  explicit Scratch(std::size_t floats) : bytes_(floats * sizeof(float)) {
    if (bytes_ < kLarge) {
      owned_.reset(new float[floats]);
      return;
    }
    void* at = ::mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (at == MAP_FAILED) throw std::bad_alloc();
    ::madvise(at, bytes_, MADV_HUGEPAGE);
    mapped_ = static_cast<float*>(at);
  }
  ~Scratch() {
    if (mapped_) ::munmap(mapped_, bytes_);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  float* get() const { return mapped_ ? mapped_ : owned_.get(); }

 private:
  static constexpr std::size_t kLarge = std::size_t(8) << 20;
  std::size_t bytes_;
  float* mapped_ = nullptr;
  std::unique_ptr<float[]> owned_;
};

const double* OrNull(const std::vector<double>& v) { return v.empty() ? nullptr : v.data(); }

// One export call on part of a plane: the byte offset of its first element,
// its size, the two sigmas, the per-row and per-column sigmas (or null) and
// the intermediate.
using BlurCall = void (*)(void* context, std::size_t offset, std::int32_t w, std::int32_t h,
                          double sx, double sy, const double* rows, const double* columns,
                          float* temp, std::int32_t tempBytes);

// The export blurs both ways, at least by sigma 0.5. A direction whose sigma
// is 0 is left unblurred by calling it on one row (no vertical pass to speak
// of: a single row comes back from it as it went in) or one column at a
// time; both 0 is no call at all.
void BlurPlane(std::int32_t w, std::int32_t h, std::int32_t stride, std::int32_t elementBytes,
               int floatsPerElement, const BlurSigmas& s, Progress* progress, const char* what,
               BlurCall call, void* context) {
  const auto rows = SigmaRamp(s.rowRamp, s.rowFrom, s.rowTo, h);
  const auto columns = SigmaRamp(s.columnRamp, s.columnFrom, s.columnTo, w);
  const bool across = s.rowRamp || s.x > 0, down = s.columnRamp || s.y > 0;
  if (!across && !down) return;
  const std::int32_t cells = across && down ? 0 : across ? w : h;
  const std::size_t tempFloats =
      (across && down ? std::size_t(w) * h : std::size_t(cells)) * floatsPerElement;
  const Scratch temp(tempFloats);
  const auto tempBytes = static_cast<std::int32_t>(tempFloats * sizeof(float));
  if (across && down) {
    if (progress) progress->Stage(std::string("blurring ") + what);
    call(context, 0, w, h, s.x, s.y, OrNull(rows), OrNull(columns), temp.get(), tempBytes);
  } else if (across) {
    if (progress) progress->Stage(std::string("blurring the rows of ") + what + ", one call each");
    for (std::int32_t y = 0; y < h; ++y)
      call(context, std::size_t(y) * stride, w, 1, s.x, 0.5, rows.empty() ? nullptr : &rows[y],
           nullptr, temp.get(), tempBytes);
  } else {
    if (progress)
      progress->Stage(std::string("blurring the columns of ") + what + ", one call each");
    for (std::int32_t x = 0; x < w; ++x)
      call(context, std::size_t(x) * elementBytes, 1, h, 0.5, s.y, nullptr,
           columns.empty() ? nullptr : &columns[x], temp.get(), tempBytes);
  }
}

struct ImageBlur {
  std::uint8_t* pixels;
  std::int32_t stride, format;
};

void CallGaussianBlur(void* context, std::size_t offset, std::int32_t w, std::int32_t h, double sx,
                      double sy, const double* rows, const double* columns, float* temp,
                      std::int32_t tempBytes) {
  const auto* c = static_cast<const ImageBlur*>(context);
  RequireDone(GaussianBlur(c->pixels + offset, c->stride, c->format, w, h, temp, tempBytes, sx, sy,
                           rows, columns),
              "GaussianBlur", c->format == 4 ? "8-bit image" : "float image");
}

struct MaskBlur {
  std::uint8_t* pixels;
  std::int32_t stride;
  double scale, offset;
};

void CallGaussianBlurMask(void* context, std::size_t offset, std::int32_t w, std::int32_t h,
                          double sx, double sy, const double* rows, const double* columns,
                          float* temp, std::int32_t tempBytes) {
  const auto* c = static_cast<const MaskBlur*>(context);
  RequireDone(GaussianBlurMask(c->pixels + offset, c->stride, 4, w, h, temp, tempBytes, sx, sy,
                               c->scale, c->offset, rows, columns),
              "GaussianBlurMask", "one channel of the image");
}

}  // namespace

void BlurFloatPixels(std::vector<float>& floats, std::int32_t w, std::int32_t h,
                     const BlurSigmas& s, Progress* progress) {
  ImageBlur context{reinterpret_cast<std::uint8_t*>(floats.data()), w * 16, 16};
  BlurPlane(w, h, w * 16, 16, 4, s, progress, "the float image (GaussianBlur)", CallGaussianBlur,
            &context);
}

Image BlurImage(Image image, const BlurSigmas& s, bool floatPrecision, Progress* progress) {
  const std::int32_t w = image.width, h = image.height;
  if (!floatPrecision) {
    ImageBlur context{image.pixels.data(), image.stride(), 4};
    const std::string what =
        std::to_string(w) + "x" + std::to_string(h) + " pixels (GaussianBlur)";
    BlurPlane(w, h, image.stride(), 4, 4, s, progress, what.c_str(), CallGaussianBlur, &context);
    return image;
  }
  // Through the float format: the 8-bit image is let go while the floats live.
  std::vector<float> floats(std::size_t(w) * h * 4);
  const std::int32_t floatStride = w * 16;
  if (progress) progress->Stage("to float (ConvertARGBToARGBFloat)");
  ConvertARGBToARGBFloat(floats.data(), floatStride, image.pixels.data(), image.stride(), w, h);
  image = Image();
  BlurFloatPixels(floats, w, h, s, progress);
  if (progress) progress->Stage("back to bytes (ConvertARGBFloatToARGB)");
  Image out(w, h);
  ConvertARGBFloatToARGB(out.pixels.data(), out.stride(), floats.data(), floatStride, w, h);
  return out;
}

Image BlurChannel(Image image, int channel, const BlurSigmas& s, double scale, double offset) {
  MaskBlur context{image.pixels.data() + channel, image.stride(), scale, offset};
  BlurPlane(image.width, image.height, image.stride(), 4, 1, s, nullptr, "one channel",
            CallGaussianBlurMask, &context);
  return image;
}

}  // namespace morvex::cli
