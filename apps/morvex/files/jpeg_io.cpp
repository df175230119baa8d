#include "files/jpeg_io.h"

// clang-format off
#include <cstdio>   // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "core/args.h"

namespace morvex::cli {
namespace {

constexpr std::size_t kMessageSize = 256;

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[kMessageSize];
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

// Warnings that mean the picture would be incomplete or garbled stop the
// decoding; others (extra bytes between markers, say) are harmless.
void OnJpegMessage(j_common_ptr info, int level) {
  if (level >= 0) return;
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  const int code = info->err->msg_code;
  if (code == JWRN_JPEG_EOF) {
    std::snprintf(manager->message, kMessageSize, "the file is truncated");
  } else if (code == JWRN_HIT_MARKER || code == JWRN_MUST_RESYNC || code == JWRN_HUFF_BAD_CODE ||
             code == JWRN_ARITH_BAD_CODE || code == JWRN_NOT_SEQUENTIAL) {
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    std::snprintf(manager->message, kMessageSize, "corrupt image data (%s)", text);
  } else {
    return;
  }
  std::longjmp(manager->jump, 1);
}

void InstallErrors(ErrorManager* manager, jpeg_error_mgr** slot) {
  *slot = jpeg_std_error(&manager->base);
  manager->base.error_exit = OnJpegError;
  manager->base.emit_message = OnJpegMessage;
  manager->message[0] = '\0';
}

std::string ColorSpaceName(J_COLOR_SPACE space) {
  switch (space) {
    case JCS_GRAYSCALE:
      return "grey";
    case JCS_RGB:
      return "RGB";
    case JCS_YCbCr:
      return "YCbCr";
    case JCS_CMYK:
      return "CMYK";
    case JCS_YCCK:
      return "YCCK";
    default:
      return "unknown colour space";
  }
}

struct Header {
  std::uint32_t width = 0, height = 0;
  char description[kMessageSize] = "";
};

// First call: the header alone (into `header`); second call, with `pixels`
// sized from it: the image. Locals are trivially destructible (long jumps).
bool Decode(const std::uint8_t* data, std::size_t size, Header* header, std::uint8_t* pixels,
            char* error) {
  jpeg_decompress_struct info;
  ErrorManager errors;
  InstallErrors(&errors, &info.err);
  if (setjmp(errors.jump)) {
    std::snprintf(error, kMessageSize, "%s", errors.message);
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  header->width = info.image_width;
  header->height = info.image_height;
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  if (!pixels) {
    int h = 1, v = 1;
    for (int c = 0; c < info.num_components; ++c) {
      h = std::max(h, info.comp_info[c].h_samp_factor);
      v = std::max(v, info.comp_info[c].v_samp_factor);
    }
    const bool subsampled = info.num_components >= 3 && (h > 1 || v > 1);
    std::snprintf(header->description, kMessageSize, "JPEG, %d component%s (%s%s%s)%s",
                  info.num_components, info.num_components == 1 ? "" : "s",
                  ColorSpaceName(info.jpeg_color_space).c_str(), subsampled ? ", " : "",
                  !subsampled                 ? ""
                  : h == 2 && v == 2          ? "4:2:0"
                  : h == 2 && v == 1          ? "4:2:2"
                                              : "subsampled",
                  info.progressive_mode ? ", progressive" : "");
    jpeg_destroy_decompress(&info);
    return true;
  }
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  jpeg_start_decompress(&info);
  const std::size_t stride = std::size_t(info.output_width) * 4;
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = pixels + stride * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  if (cmyk) {
    // Adobe's files store CMYK inverted (255 = no ink); colour = (1 - C)(1 - K).
    const bool inverted = info.saw_Adobe_marker;
    const std::size_t count = std::size_t(info.output_width) * info.output_height;
    for (std::size_t i = 0; i < count; ++i) {
      std::uint8_t* p = pixels + i * 4;
      std::uint32_t light[4];
      for (int k = 0; k < 4; ++k) light[k] = inverted ? p[k] : 255u - p[k];
      const std::uint8_t r = PremultiplyByte(light[0], light[3]), g = PremultiplyByte(light[1], light[3]),
                         b = PremultiplyByte(light[2], light[3]);
      p[0] = b, p[1] = g, p[2] = r, p[3] = 255;
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

struct Encoded {
  unsigned char* data = nullptr;
  unsigned long size = 0;
};

bool Encode(const std::uint8_t* pixels, std::int32_t width, std::int32_t height, bool grey,
            int quality, const std::uint8_t* greyRows, Encoded* out, char* error) {
  jpeg_compress_struct info;
  ErrorManager errors;
  InstallErrors(&errors, &info.err);
  if (setjmp(errors.jump)) {
    std::snprintf(error, kMessageSize, "%s", errors.message);
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &out->data, &out->size);
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = grey ? 1 : 4;
  info.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGRA;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  if (!grey && quality >= 90) info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = 1;
  info.optimize_coding = TRUE;
  jpeg_start_compress(&info, TRUE);
  const std::size_t stride = std::size_t(width) * (grey ? 1 : 4);
  const std::uint8_t* base = grey ? greyRows : pixels;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(base + stride * info.next_scanline);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

bool IsJpegSignature(const std::uint8_t* head, std::size_t size) {
  return size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

Image LoadJpeg(const InputFile& input, std::string* description) {
  const std::vector<std::uint8_t> data = input.ReadAll();
  Header header;
  char error[kMessageSize] = "";
  if (!Decode(data.data(), data.size(), &header, nullptr, error))
    throw CliError("cannot read " + input.path() + ": " + error);
  CheckImageSize(input.path(), header.width, header.height);
  if (description) *description = header.description;
  Image image(std::int32_t(header.width), std::int32_t(header.height));
  if (!Decode(data.data(), data.size(), &header, image.pixels.data(), error))
    throw CliError("cannot read " + input.path() + ": " + error);
  return image;
}

std::vector<std::uint8_t> EncodeJpeg(const Image& image, int quality) {
  bool grey = true;
  for (std::size_t i = 0; i < image.pixels.size() && grey; i += 4)
    grey = image.pixels[i] == image.pixels[i + 1] && image.pixels[i + 1] == image.pixels[i + 2];
  std::vector<std::uint8_t> greyRows;
  if (grey) {
    greyRows.resize(image.pixels.size() / 4);
    for (std::size_t i = 0; i < greyRows.size(); ++i) greyRows[i] = image.pixels[i * 4];
  }
  Encoded out;
  char error[kMessageSize] = "";
  const bool ok = Encode(image.pixels.data(), image.width, image.height, grey, quality,
                         greyRows.data(), &out, error);
  std::vector<std::uint8_t> bytes;
  if (ok) bytes.assign(out.data, out.data + out.size);
  std::free(out.data);
  if (!ok) throw CliError(error);
  return bytes;
}

}  // namespace morvex::cli
