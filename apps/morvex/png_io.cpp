#include "png_io.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli.h"

namespace morvex::cli {
namespace {

constexpr std::size_t kMessageSize = 256;

// libpng reports errors by long jump; the message is kept for the user.
void OnPngError(png_structp png, png_const_charp message) {
  auto* text = static_cast<char*>(png_get_error_ptr(png));
  std::snprintf(text, kMessageSize, "%s", message);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// The decoding proper. Every local is trivially destructible, so the long jump
// out of libpng skips no destructor; the vectors live in the caller.
bool Decode(std::FILE* file, PngInfo* info, StraightPixels* out,
            std::vector<png_bytep>* rowPointers, std::vector<std::uint8_t>* buffer, char* error) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, error, OnPngError, OnPngWarning);
  if (!png) {
    std::snprintf(error, kMessageSize, "out of memory");
    return false;
  }
  png_infop pngInfo = png_create_info_struct(png);
  if (!pngInfo) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    std::snprintf(error, kMessageSize, "out of memory");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &pngInfo, nullptr);
    return false;
  }
  png_init_io(png, file);
  png_set_sig_bytes(png, 8);
  png_set_user_limits(png, kMaxDimension, kMaxDimension);
  png_read_info(png, pngInfo);

  png_uint_32 width, height;
  int bitDepth, colorType, interlace;
  png_get_IHDR(png, pngInfo, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
  const bool hasTrns = png_get_valid(png, pngInfo, PNG_INFO_tRNS) != 0;
  info->width = static_cast<std::int32_t>(width);
  info->height = static_cast<std::int32_t>(height);
  info->bitDepth = bitDepth;
  info->colorType = colorType;
  info->interlaced = interlace != PNG_INTERLACE_NONE;
  info->hasTransparency = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || hasTrns;
  if (std::uint64_t(width) * height > std::uint64_t(kMaxPixels)) {
    std::snprintf(error, kMessageSize, "image too large (%ux%u pixels)", unsigned(width),
                  unsigned(height));
    png_destroy_read_struct(&png, &pngInfo, nullptr);
    return false;
  }

  // Everything becomes RGBA at 8 or 16 bits per sample.
  png_set_expand(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(png);
  if (!info->hasTransparency) png_set_filler(png, 0xFFFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, pngInfo);

  const int depth = png_get_bit_depth(png, pngInfo);
  const std::size_t bytesPerSample = depth == 16 ? 2 : 1;
  const std::size_t rowBytes = std::size_t(width) * 4 * bytesPerSample;
  if (png_get_rowbytes(png, pngInfo) != rowBytes || png_get_channels(png, pngInfo) != 4) {
    std::snprintf(error, kMessageSize, "unsupported PNG layout");
    png_destroy_read_struct(&png, &pngInfo, nullptr);
    return false;
  }
  buffer->resize(rowBytes * height);
  rowPointers->resize(height);
  for (png_uint_32 y = 0; y < height; ++y) (*rowPointers)[y] = buffer->data() + y * rowBytes;
  png_read_image(png, rowPointers->data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &pngInfo, nullptr);

  out->width = info->width;
  out->height = info->height;
  out->maxValue = depth == 16 ? 65535 : 255;
  const std::size_t samples = std::size_t(width) * height * 4;
  out->rgba.resize(samples);
  const std::uint8_t* b = buffer->data();
  for (std::size_t i = 0; i < samples; ++i)
    out->rgba[i] = depth == 16 ? std::uint16_t(b[2 * i] << 8 | b[2 * i + 1]) : b[i];
  return true;
}

bool Encode(std::FILE* file, std::int32_t width, std::int32_t height,
            std::vector<png_bytep>* rowPointers, char* error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, OnPngError, OnPngWarning);
  if (!png) {
    std::snprintf(error, kMessageSize, "out of memory");
    return false;
  }
  png_infop pngInfo = png_create_info_struct(png);
  if (!pngInfo) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(error, kMessageSize, "out of memory");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &pngInfo);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, pngInfo, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGBA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, pngInfo);
  png_write_image(png, rowPointers->data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &pngInfo);
  return true;
}

std::string ErrnoText(int code) { return std::strerror(code); }

}  // namespace

std::string PngInfo::ColorTypeName() const {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
      return "gray";
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return "gray+alpha";
    case PNG_COLOR_TYPE_RGB:
      return "RGB";
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return "RGBA";
    case PNG_COLOR_TYPE_PALETTE:
      return "palette";
    default:
      return "unknown";
  }
}

StraightPixels ReadPng(const std::string& path, PngInfo* info) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw CliError("cannot read " + path + ": " + ErrnoText(errno));
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    std::fclose(file);
    throw CliError("cannot read " + path + ": is a directory");
  }
  png_byte signature[8];
  if (std::fread(signature, 1, 8, file) != 8 || png_sig_cmp(signature, 0, 8) != 0) {
    std::fclose(file);
    throw CliError(path + " is not a PNG file");
  }
  PngInfo localInfo;
  StraightPixels pixels;
  std::vector<png_bytep> rowPointers;
  std::vector<std::uint8_t> buffer;
  char error[kMessageSize] = "";
  const bool ok = Decode(file, info ? info : &localInfo, &pixels, &rowPointers, &buffer, error);
  std::fclose(file);
  if (!ok) throw CliError("cannot read " + path + ": " + error);
  return pixels;
}

Image LoadImage(const std::string& path, PngInfo* info) { return Premultiply(ReadPng(path, info)); }

Image LoadWeights(const std::string& path) {
  const StraightPixels straight = ReadPng(path);
  Image weights(straight.width, straight.height);
  for (std::size_t i = 0; i < weights.pixels.size(); i += 4) {
    static constexpr int kFrom[4] = {2, 1, 0, 3};  // BGRA from RGBA
    for (int k = 0; k < 4; ++k)
      weights.pixels[i + k] = ScaleToByte(straight.rgba[i + kFrom[k]], straight.maxValue);
  }
  return weights;
}

void WritePng(const std::string& path, std::int32_t width, std::int32_t height,
              const std::vector<std::uint8_t>& rgba) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  if (target.filename().empty()) throw CliError("cannot write " + path + ": not a file name");
  std::error_code ec;
  if (fs::is_directory(target, ec)) throw CliError("cannot write " + path + ": is a directory");
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string temp = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw CliError("cannot write " + path + ": " + ErrnoText(errno));
  // mkstemp creates the file private; give it the permissions a new file gets.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    const int code = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    throw CliError("cannot write " + path + ": " + ErrnoText(code));
  }
  std::vector<png_bytep> rowPointers(height);
  for (std::int32_t y = 0; y < height; ++y)
    rowPointers[y] = const_cast<png_bytep>(rgba.data() + std::size_t(y) * width * 4);
  char error[kMessageSize] = "";
  bool ok = Encode(file, width, height, &rowPointers, error);
  if (ok && (std::fflush(file) != 0 || std::ferror(file))) {
    ok = false;
    std::snprintf(error, sizeof error, "%s", ErrnoText(errno).c_str());
  }
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    std::snprintf(error, sizeof error, "%s", ErrnoText(errno).c_str());
  }
  if (ok) {
    fs::rename(temp, target, ec);
    if (ec) {
      ok = false;
      std::snprintf(error, sizeof error, "%s", ec.message().c_str());
    }
  }
  if (!ok) {
    ::unlink(temp.c_str());
    throw CliError("cannot write " + path + ": " + error);
  }
}

void SaveImage(const std::string& path, const Image& image) {
  WritePng(path, image.width, image.height, Unpremultiply(image));
}

}  // namespace morvex::cli
