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
#include <vector>

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
  bool cmyk = false;
  char description[kMessageSize] = "";
};

// First call: the header alone (into `header`); second call, with `pixels`
// sized from it: the image. Locals are trivially destructible (long jumps).
constexpr char kExifId[] = "Exif\0";                        // and a second zero
constexpr char kXmpId[] = "http://ns.adobe.com/xap/1.0/";   // and its terminator

// EXIF and XMP from the APP1 markers saved, the ICC profile from the APP2 ones.
void CollectMetadata(j_decompress_ptr info, Metadata* metadata) {
  for (jpeg_saved_marker_ptr m = info->marker_list; m; m = m->next) {
    if (m->marker != JPEG_APP0 + 1) continue;
    if (m->data_length > 6 && std::memcmp(m->data, kExifId, 6) == 0 && metadata->exif.empty())
      metadata->exif.assign(m->data + 6, m->data + m->data_length);
    if (m->data_length > sizeof kXmpId && std::memcmp(m->data, kXmpId, sizeof kXmpId) == 0 &&
        metadata->xmp.empty())
      metadata->xmp.assign(reinterpret_cast<const char*>(m->data) + sizeof kXmpId,
                           m->data_length - sizeof kXmpId);
  }
  JOCTET* profile = nullptr;
  unsigned int length = 0;
  if (jpeg_read_icc_profile(info, &profile, &length) && profile) {
    metadata->icc.assign(profile, profile + length);
    std::free(profile);
  }
}

bool Decode(const std::uint8_t* data, std::size_t size, Header* header, std::uint8_t* pixels,
            Metadata* metadata, char* error) {
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
  if (metadata) {
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
  }
  jpeg_read_header(&info, TRUE);
  if (metadata) CollectMetadata(&info, metadata);
  header->width = info.image_width;
  header->height = info.image_height;
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  header->cmyk = cmyk;
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
            int quality, const std::uint8_t* greyRows, const std::vector<JOCTET>& exifMarker,
            const std::vector<JOCTET>& xmpMarker, const std::vector<std::uint8_t>& icc,
            Encoded* out, char* error) {
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
  for (const std::vector<JOCTET>* marker : {&exifMarker, &xmpMarker})
    if (!marker->empty())
      jpeg_write_marker(&info, JPEG_APP0 + 1, marker->data(), static_cast<unsigned>(marker->size()));
  if (!icc.empty()) jpeg_write_icc_profile(&info, icc.data(), static_cast<unsigned>(icc.size()));
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

Picture ReadJpegPicture(const InputFile& input, std::string* description) {
  const std::vector<std::uint8_t> data = input.ReadAll();
  Header header;
  char error[kMessageSize] = "";
  Picture picture;
  if (!Decode(data.data(), data.size(), &header, nullptr, &picture.metadata, error))
    throw CliError("cannot read " + input.path() + ": " + error);
  CheckImageSize(input.path(), header.width, header.height);
  if (description) *description = header.description;
  picture.image = Image(std::int32_t(header.width), std::int32_t(header.height));
  if (!Decode(data.data(), data.size(), &header, picture.image.pixels.data(), nullptr, error))
    throw CliError("cannot read " + input.path() + ": " + error);
  picture.premultiplied = true;  // opaque: straight and premultiplied agree
  if (header.cmyk && !picture.metadata.icc.empty()) {
    picture.metadata.icc.clear();
    picture.Note("its CMYK colour profile is not kept (the pixels are converted to RGB)");
  }
  return picture;
}

FileBytes EncodeJpeg(const Image& image, int quality, const Metadata& metadata, bool colourLayout,
                     std::vector<std::string>* notes) {
  bool grey = !colourLayout;
  for (std::size_t i = 0; i < image.pixels.size() && grey; i += 4)
    grey = image.pixels[i] == image.pixels[i + 1] && image.pixels[i + 1] == image.pixels[i + 2];
  std::vector<std::uint8_t> greyRows;
  if (grey) {
    greyRows.resize(image.pixels.size() / 4);
    for (std::size_t i = 0; i < greyRows.size(); ++i) greyRows[i] = image.pixels[i * 4];
  }
  // One marker holds 65533 bytes, its identifier included.
  const bool withExif = !metadata.exif.empty() && metadata.exif.size() + 6 <= 65533;
  const bool withXmp = !metadata.xmp.empty() && metadata.xmp.size() + sizeof kXmpId <= 65533;
  if (!metadata.exif.empty() && !withExif && notes)
    notes->push_back("its EXIF data is not kept (larger than a JPEG marker holds)");
  if (!metadata.xmp.empty() && !withXmp && notes)
    notes->push_back("its XMP data is not kept (larger than a JPEG marker holds)");
  // The markers' contents, built here: Encode may leave by a long jump.
  std::vector<JOCTET> exifMarker, xmpMarker;
  auto build = [](std::vector<JOCTET>& marker, const char* id, std::size_t idBytes,
                  const void* data, std::size_t size) {
    marker.resize(idBytes + size);
    std::memcpy(marker.data(), id, idBytes);
    std::memcpy(marker.data() + idBytes, data, size);
  };
  if (withExif) build(exifMarker, kExifId, 6, metadata.exif.data(), metadata.exif.size());
  if (withXmp) build(xmpMarker, kXmpId, sizeof kXmpId, metadata.xmp.data(), metadata.xmp.size());
  Encoded out;
  char error[kMessageSize] = "";
  const bool ok = Encode(image.pixels.data(), image.width, image.height, grey, quality,
                         greyRows.data(), exifMarker, xmpMarker, metadata.icc, &out, error);
  FileBytes bytes(1);
  if (ok) bytes[0].assign(out.data, out.data + out.size);
  std::free(out.data);
  if (!ok) throw CliError(error);
  return bytes;
}

}  // namespace morvex::cli
