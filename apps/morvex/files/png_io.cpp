#include "files/png_io.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "core/args.h"
#include "files/file_io.h"
#include "core/parallel.h"

namespace morvex::cli {
namespace {

constexpr std::size_t kMessageSize = 256;

// ---- Reading ----

// libpng reports errors by long jump; the message is kept for the user.
void OnPngError(png_structp png, png_const_charp message) {
  auto* text = static_cast<char*>(png_get_error_ptr(png));
  std::snprintf(text, kMessageSize, "%s", message);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Reads for libpng, telling a file that ends early from a failing device.
void ReadData(png_structp png, png_bytep data, png_size_t length) {
  auto* file = static_cast<std::FILE*>(png_get_io_ptr(png));
  if (std::fread(data, 1, length, file) == length) return;
  png_error(png, std::ferror(file) ? "read error" : "the file is truncated");
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// The header's size and depth, read before libpng sees the file, so that a
// size beyond the tool's limits is reported as such. Leaves the file just
// after the signature.
struct Header {
  std::uint32_t width, height;
  int bitDepth;
};

Header ReadHeader(const InputFile& input) {
  if (input.headSize() < 8 || !IsPngSignature(input.head()))
    throw CliError(input.path() + " is not a PNG or JPEG file");
  std::uint8_t bytes[8 + 17];
  const std::size_t n = std::fread(bytes, 1, sizeof bytes, input.get());
  if (n < sizeof bytes) throw CliError("cannot read " + input.path() + ": the file is truncated");
  std::fseek(input.get(), 8, SEEK_SET);
  Header header{BigEndian32(bytes + 16), BigEndian32(bytes + 20), bytes[24]};
  if (std::memcmp(bytes + 12, "IHDR", 4) != 0)
    throw CliError("cannot read " + input.path() + ": the file does not start with a header");
  CheckImageSize(input.path(), header.width, header.height);
  return header;
}

// The decoding proper, into `buffer` (rowBytes * height bytes, allocated by
// the caller from the header). Every local is trivially destructible, so the
// long jump out of libpng skips no destructor. `bgra8` asks for 8-bit BGRA.
// The metadata chunks libpng has read so far: eXIf, iCCP and the XMP iTXt.
void CollectMetadata(png_structp png, png_infop pngInfo, Metadata* metadata) {
  png_uint_32 exifLength = 0;
  png_bytep exif = nullptr;
  if (png_get_eXIf_1(png, pngInfo, &exifLength, &exif) && exif && metadata->exif.empty())
    metadata->exif.assign(exif, exif + exifLength);
  png_charp name = nullptr;
  int method = 0;
  png_bytep profile = nullptr;
  png_uint_32 profileLength = 0;
  if (png_get_iCCP(png, pngInfo, &name, &method, &profile, &profileLength) && profile &&
      metadata->icc.empty())
    metadata->icc.assign(profile, profile + profileLength);
  png_textp text = nullptr;
  int count = 0;
  png_get_text(png, pngInfo, &text, &count);
  for (int i = 0; i < count; ++i)
    if (std::strcmp(text[i].key, "XML:com.adobe.xmp") == 0 && metadata->xmp.empty() &&
        text[i].text)
      metadata->xmp.assign(text[i].text, text[i].compression >= PNG_ITXT_COMPRESSION_NONE
                                               ? text[i].itxt_length
                                               : text[i].text_length);
}

bool Decode(std::FILE* file, PngInfo* info, bool bgra8, std::uint8_t* buffer,
            std::size_t bufferSize, png_bytep* rowPointers, Metadata* metadata, char* error) {
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
  png_set_read_fn(png, file, ReadData);
  png_set_sig_bytes(png, 8);
  png_set_user_limits(png, kMaxDimension, kMaxDimension);
  png_read_info(png, pngInfo);
  if (metadata) CollectMetadata(png, pngInfo, metadata);

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

  // Everything becomes RGBA (or BGRA) at 8 or 16 bits per sample.
  png_set_expand(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(png);
  if (!info->hasTransparency) png_set_filler(png, 0xFFFF, PNG_FILLER_AFTER);
  if (bgra8) png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, pngInfo);

  const std::size_t rowBytes = png_get_rowbytes(png, pngInfo);
  if (rowBytes * height != bufferSize || png_get_channels(png, pngInfo) != 4 ||
      (bgra8 && png_get_bit_depth(png, pngInfo) != 8)) {
    std::snprintf(error, kMessageSize, "unsupported PNG layout");
    png_destroy_read_struct(&png, &pngInfo, nullptr);
    return false;
  }
  for (png_uint_32 y = 0; y < height; ++y) rowPointers[y] = buffer + y * rowBytes;
  png_read_image(png, rowPointers);
  // Metadata may also follow the image data.
  png_read_end(png, metadata ? pngInfo : nullptr);
  if (metadata) CollectMetadata(png, pngInfo, metadata);
  png_destroy_read_struct(&png, &pngInfo, nullptr);
  return true;
}

void DecodeOrThrow(const InputFile& input, PngInfo* info, bool bgra8, std::uint8_t* buffer,
                   std::size_t bufferSize, std::uint32_t height, Metadata* metadata = nullptr) {
  std::vector<png_bytep> rowPointers(height);
  char error[kMessageSize] = "";
  if (!Decode(input.get(), info, bgra8, buffer, bufferSize, rowPointers.data(), metadata, error))
    throw CliError("cannot read " + input.path() + ": " + error);
}

// ---- Writing ----

// How the file stores the pixels.
struct Layout {
  std::uint8_t colorType;
  int bitDepth;  // 1, 2, 4 or 8 (palette), 8 or 16 (others)
  int samples;   // per pixel in the file: 1 grey or palette index, 2, 3 or 4
  std::vector<std::uint32_t> palette;  // straight R | G << 8 | B << 16 | A << 24
};

std::uint32_t Pack(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
  return r | g << 8 | b << 16 | a << 24;
}

// The straight samples of an 8-bit picture's pixel, red first.
struct Straight8 {
  const UnpremultiplyTable* table;  // null: the picture is straight already
  void operator()(const std::uint8_t* p, std::uint8_t rgba[4]) const {
    if (table) {
      rgba[0] = (*table)(p[2], p[3]), rgba[1] = (*table)(p[1], p[3]),
      rgba[2] = (*table)(p[0], p[3]);
    } else {
      rgba[0] = p[2], rgba[1] = p[1], rgba[2] = p[0];
    }
    rgba[3] = p[3];
  }
};

// A palette index per colour, by open addressing on at most 256 colours.
class PaletteIndex {
 public:
  // Adds `colour` unless present; false once it would be colour 257.
  bool Add(std::uint32_t colour, std::vector<std::uint32_t>& entries) {
    std::size_t slot = Slot(colour);
    if (used_[slot]) return true;
    if (entries.size() == 256) return false;
    used_[slot] = true;
    keys_[slot] = colour;
    index_[slot] = std::uint8_t(entries.size());
    entries.push_back(colour);
    return true;
  }
  std::uint8_t operator[](std::uint32_t colour) const { return index_[Slot(colour)]; }
  void Renumber(const std::vector<std::uint32_t>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) index_[Slot(entries[i])] = std::uint8_t(i);
  }

 private:
  static constexpr std::size_t kSlots = 1024;
  std::size_t Slot(std::uint32_t colour) const {
    std::size_t slot = (colour * 2654435761u) >> 22;
    while (used_[slot] && keys_[slot] != colour) slot = (slot + 1) % kSlots;
    return slot;
  }
  std::uint32_t keys_[kSlots] = {};
  std::uint8_t index_[kSlots] = {};
  bool used_[kSlots] = {};
};

// The smallest exact layout: grey when every pixel is grey (unless
// `colour`), without alpha when every pixel is opaque, and for 8-bit
// pictures of at most 256 colours (but for opaque grey ones, which take a
// byte a pixel already) a palette of the fewest bits per index.
Layout ChooseLayout(const Picture& picture, bool colour, const Straight8& straight,
                    PaletteIndex* index) {
  bool opaque = true, grey = !colour;
  if (picture.deepForm()) {
    const auto& s = picture.deep.rgba;
    for (std::size_t i = 0; i < s.size(); i += 4) {
      opaque = opaque && s[i + 3] == 65535;
      grey = grey && s[i] == s[i + 1] && s[i + 1] == s[i + 2];
    }
    return {std::uint8_t(grey ? (opaque ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_GRAY_ALPHA)
                              : (opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA)),
            16, grey ? (opaque ? 1 : 2) : (opaque ? 3 : 4), {}};
  }
  const Image& image = picture.image;
  opaque = IsOpaque(image);
  for (std::size_t i = 0; i < image.pixels.size() && grey; i += 4) {
    const std::uint8_t* p = &image.pixels[i];
    if (p[0] == p[1] && p[1] == p[2]) continue;
    std::uint8_t rgba[4];
    straight(p, rgba);
    // Premultiplied colours that differ can still be one straight grey.
    grey = straight.table && rgba[0] == rgba[1] && rgba[1] == rgba[2];
  }
  Layout layout{std::uint8_t(grey ? (opaque ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_GRAY_ALPHA)
                                  : (opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA)),
                8, grey ? (opaque ? 1 : 2) : (opaque ? 3 : 4), {}};
  if (grey && opaque) return layout;
  std::vector<std::uint32_t> entries;
  for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
    std::uint8_t rgba[4];
    straight(&image.pixels[i], rgba);
    if (!index->Add(Pack(rgba[0], rgba[1], rgba[2], rgba[3]), entries)) return layout;
  }
  // Translucent entries first, so that tRNS lists as few as possible.
  std::stable_sort(entries.begin(), entries.end(),
                   [](std::uint32_t a, std::uint32_t b) { return (a >> 24 == 255) < (b >> 24 == 255); });
  index->Renumber(entries);
  const std::size_t n = entries.size();
  return {PNG_COLOR_TYPE_PALETTE, n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8, 1, std::move(entries)};
}

std::size_t RowBytes(const Layout& layout, std::int32_t width) {
  return (std::size_t(width) * layout.samples * layout.bitDepth + 7) / 8;
}

// Row y of the picture in the file's layout.
void PackRow(const Picture& picture, std::int32_t y, const Layout& layout,
             const Straight8& straight, const PaletteIndex& index, std::uint8_t* out) {
  const std::int32_t w = picture.width();
  if (picture.deepForm()) {
    const std::uint16_t* p = &picture.deep.rgba[std::size_t(y) * w * 4];
    static constexpr int kGrey[] = {0, 3}, kColour[] = {0, 1, 2, 3};
    const int* from = layout.samples <= 2 ? kGrey : kColour;
    for (std::int32_t x = 0; x < w; ++x)
      for (int k = 0; k < layout.samples; ++k) {
        const std::uint16_t v = p[std::size_t(x) * 4 + from[k]];
        *out++ = std::uint8_t(v >> 8);
        *out++ = std::uint8_t(v);
      }
    return;
  }
  const std::uint8_t* p = picture.image.Row(y);
  if (layout.colorType == PNG_COLOR_TYPE_PALETTE) {
    const int bits = layout.bitDepth;
    std::memset(out, 0, RowBytes(layout, w));
    for (std::int32_t x = 0; x < w; ++x) {
      std::uint8_t rgba[4];
      straight(p + 4 * x, rgba);
      const unsigned i = index[Pack(rgba[0], rgba[1], rgba[2], rgba[3])];
      const std::size_t bit = std::size_t(x) * bits;
      out[bit / 8] = std::uint8_t(out[bit / 8] | i << (8 - bits - bit % 8));
    }
    return;
  }
  for (std::int32_t x = 0; x < w; ++x) {
    std::uint8_t rgba[4];
    if (layout.samples == 1 || layout.samples == 3) {  // opaque: both forms agree
      rgba[0] = p[4 * x + 2], rgba[1] = p[4 * x + 1], rgba[2] = p[4 * x];
    } else {
      straight(p + 4 * x, rgba);
    }
    switch (layout.samples) {
      case 1: *out++ = rgba[0]; break;
      case 2: *out++ = rgba[0], *out++ = rgba[3]; break;
      case 3: *out++ = rgba[0], *out++ = rgba[1], *out++ = rgba[2]; break;
      default: std::memcpy(out, rgba, 4), out += 4;
    }
  }
}

int Paeth(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// PNG filter `type` of `row` (n bytes, bpp bytes per pixel) against the row
// above (all zero for the first row); returns the sum of the filtered bytes
// taken as signed, the usual measure of how well a filter predicts.
std::uint32_t FilterRow(int type, const std::uint8_t* row, const std::uint8_t* up, std::size_t n,
                        std::size_t bpp, std::uint8_t* out) {
  const std::size_t head = bpp < n ? bpp : n;
  switch (type) {
    case 0:
      for (std::size_t i = 0; i < n; ++i) out[i] = row[i];
      break;
    case 1:
      for (std::size_t i = 0; i < head; ++i) out[i] = row[i];
      for (std::size_t i = bpp; i < n; ++i) out[i] = std::uint8_t(row[i] - row[i - bpp]);
      break;
    case 2:
      for (std::size_t i = 0; i < n; ++i) out[i] = std::uint8_t(row[i] - up[i]);
      break;
    case 3:
      for (std::size_t i = 0; i < head; ++i) out[i] = std::uint8_t(row[i] - (up[i] >> 1));
      for (std::size_t i = bpp; i < n; ++i)
        out[i] = std::uint8_t(row[i] - ((row[i - bpp] + up[i]) >> 1));
      break;
    default:
      for (std::size_t i = 0; i < head; ++i) out[i] = std::uint8_t(row[i] - up[i]);
      for (std::size_t i = bpp; i < n; ++i)
        out[i] = std::uint8_t(row[i] - Paeth(row[i - bpp], up[i], up[i - bpp]));
  }
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += std::uint32_t(std::abs(int(std::int8_t(out[i]))));
  return sum;
}

// One piece of the zlib stream: raw deflate of `length` filtered bytes that
// continues the `dictionaryLength` bytes before them, ended by a sync flush
// (byte-aligned, so pieces concatenate) or, for the last piece, the final
// block. The result starts with `room` bytes left free for the chunk's head.
std::vector<std::uint8_t> DeflatePiece(const std::uint8_t* data, std::size_t length,
                                       std::size_t dictionaryLength, int level, int strategy,
                                       bool last, std::size_t room) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy) != Z_OK) throw std::bad_alloc();
  if (dictionaryLength)
    deflateSetDictionary(&z, data - dictionaryLength, static_cast<uInt>(dictionaryLength));
  std::vector<std::uint8_t> out(room + deflateBound(&z, length) + 64);
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(length);
  std::size_t done = room;
  for (;;) {
    z.next_out = out.data() + done;
    z.avail_out = static_cast<uInt>(out.size() - done);
    const int status = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    done = out.size() - z.avail_out;
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
      deflateEnd(&z);
      throw CliError("deflate failed");
    }
    if (last ? status == Z_STREAM_END : z.avail_out > 0) break;
    if (z.avail_out == 0) out.resize(out.size() * 2);
  }
  deflateEnd(&z);
  out.resize(done);
  out.shrink_to_fit();  // the bound is about the input's size
  return out;
}

void Append(std::vector<std::uint8_t>& out, const void* data, std::size_t size) {
  if (size == 0) return;
  const std::size_t at = out.size();
  out.resize(at + size);
  std::memcpy(out.data() + at, data, size);
}

void StoreBigEndian32(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v >> 24), p[1] = std::uint8_t(v >> 16), p[2] = std::uint8_t(v >> 8),
  p[3] = std::uint8_t(v);
}

void PutBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  std::uint8_t bytes[4];
  StoreBigEndian32(bytes, v);
  Append(out, bytes, 4);
}

struct Span {
  const void* data;
  std::size_t size;
};

// A chunk whose data is the concatenation of `parts`.
void AppendChunk(std::vector<std::uint8_t>& out, const char* type,
                 std::initializer_list<Span> parts) {
  std::size_t length = 0;
  for (const Span& s : parts) length += s.size;
  PutBigEndian32(out, static_cast<std::uint32_t>(length));
  const std::size_t start = out.size();
  Append(out, type, 4);
  for (const Span& s : parts) Append(out, s.data, s.size);
  PutBigEndian32(out, static_cast<std::uint32_t>(crc32_z(0, out.data() + start, out.size() - start)));
}

// The metadata chunks: iCCP (the profile deflated), eXIf, and XMP as an
// uncompressed iTXt under the keyword XMP readers look for.
void AppendMetadata(std::vector<std::uint8_t>& file, const Metadata& metadata) {
  if (!metadata.icc.empty()) {
    uLongf size = compressBound(uLong(metadata.icc.size()));
    std::vector<std::uint8_t> deflated(size);
    if (compress2(deflated.data(), &size, metadata.icc.data(), uLong(metadata.icc.size()), 9) !=
        Z_OK)
      throw CliError("deflate failed");
    static const char kName[] = "ICC profile\0";  // the name, its terminator, method 0
    AppendChunk(file, "iCCP", {{kName, sizeof kName}, {deflated.data(), size}});
  }
  if (!metadata.exif.empty()) AppendChunk(file, "eXIf", {{metadata.exif.data(), metadata.exif.size()}});
  if (!metadata.xmp.empty()) {
    // Keyword, its terminator, no compression, method 0, empty language and
    // translated keyword.
    static const char kHead[] = "XML:com.adobe.xmp\0\0\0\0";
    AppendChunk(file, "iTXt", {{kHead, sizeof kHead}, {metadata.xmp.data(), metadata.xmp.size()}});
  }
}

}  // namespace

bool IsPngSignature(const std::uint8_t bytes[8]) {
  return png_sig_cmp(const_cast<png_bytep>(bytes), 0, 8) == 0;
}

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

std::string PngInfo::Description() const {
  return std::to_string(bitDepth) + "-bit " + ColorTypeName() +
         (hasTransparency && (colorType & PNG_COLOR_MASK_ALPHA) == 0 ? " with tRNS" : "") +
         (interlaced ? ", interlaced" : "");
}

Picture ReadPngPicture(const InputFile& input, PngInfo* info) {
  const Header header = ReadHeader(input);
  PngInfo localInfo;
  if (!info) info = &localInfo;
  Picture picture;
  if (header.bitDepth == 16) {
    const std::size_t count = std::size_t(header.width) * header.height * 4;
    std::vector<std::uint8_t> buffer(count * 2);
    DecodeOrThrow(input, info, false, buffer.data(), buffer.size(), header.height,
                  &picture.metadata);
    picture.deep.width = std::int32_t(header.width);
    picture.deep.height = std::int32_t(header.height);
    picture.deep.maxValue = 65535;
    picture.deep.rgba.resize(count);
    for (std::size_t i = 0; i < count; ++i)
      picture.deep.rgba[i] = std::uint16_t(buffer[2 * i] << 8 | buffer[2 * i + 1]);
    return picture;
  }
  picture.image = Image(std::int32_t(header.width), std::int32_t(header.height));
  DecodeOrThrow(input, info, true, picture.image.pixels.data(), picture.image.pixels.size(),
                header.height, &picture.metadata);
  picture.premultiplied = false;
  return picture;
}

StraightPixels ReadPng(const std::string& path, PngInfo* info) {
  const InputFile input(path);
  Picture picture = ReadPngPicture(input, info);
  if (picture.deepForm()) return std::move(picture.deep);
  StraightPixels out;
  out.width = picture.image.width;
  out.height = picture.image.height;
  out.maxValue = 255;
  out.rgba.resize(picture.image.pixels.size());
  const std::uint8_t* p = picture.image.pixels.data();
  for (std::size_t i = 0; i < out.rgba.size(); i += 4) {
    out.rgba[i] = p[i + 2], out.rgba[i + 1] = p[i + 1], out.rgba[i + 2] = p[i];
    out.rgba[i + 3] = p[i + 3];
  }
  return out;
}

Image LoadPng(const std::string& path, PngInfo* info) {
  const InputFile input(path);
  Picture picture = ReadPngPicture(input, info);
  return TakeImage(picture, "");
}

FileBytes EncodePng(const Picture& picture, const PngWriteOptions& options) {
  const std::int32_t w = picture.width(), h = picture.height();
  if (w <= 0 || h <= 0) throw CliError("an image without pixels cannot be stored");
  const bool premultiplied = !picture.deepForm() && picture.premultiplied;
  std::unique_ptr<UnpremultiplyTable> table;
  if (premultiplied) table = std::make_unique<UnpremultiplyTable>();
  const Straight8 straight{table.get()};
  auto index = std::make_unique<PaletteIndex>();
  const Layout layout = ChooseLayout(picture, options.colourLayout, straight, index.get());
  const int compression = options.compression;
  const std::size_t rowBytes = RowBytes(layout, w), line = rowBytes + 1;
  const std::size_t bpp = std::max<std::size_t>(1, std::size_t(layout.samples) * layout.bitDepth / 8);
  const bool palette = layout.colorType == PNG_COLOR_TYPE_PALETTE;

  // The zlib stream in pieces of whole rows, about 1 MiB each, so the file
  // does not depend on the number of threads. Each piece filters its own rows,
  // and those before it that its deflate dictionary (32 KiB) reaches back to.
  const std::size_t pieceRows = std::max<std::size_t>(1, (std::size_t(1) << 20) / line);
  const std::size_t pieces = (std::size_t(h) + pieceRows - 1) / pieceRows;
  const std::size_t dictionaryRows = compression == 0 ? 0 : (32768 + line - 1) / line;
  constexpr std::size_t kRoom = 8 + 2;  // chunk length and type, the zlib header
  std::vector<std::vector<std::uint8_t>> deflated(pieces);
  std::vector<uLong> adlers(pieces);
  std::vector<std::size_t> lengths(pieces);
  ParallelFor(pieces, options.threads, [&](std::size_t i) {
    const std::size_t y0 = i * pieceRows, y1 = std::min(std::size_t(h), y0 + pieceRows);
    const std::size_t first = y0 - std::min(y0, dictionaryRows);
    std::vector<std::uint8_t> filtered(line * (y1 - first));
    std::vector<std::uint8_t> up(rowBytes, 0), row(rowBytes), trial(rowBytes);
    if (first > 0) PackRow(picture, std::int32_t(first - 1), layout, straight, *index, up.data());
    for (std::size_t y = first; y < y1; ++y) {
      PackRow(picture, std::int32_t(y), layout, straight, *index, row.data());
      std::uint8_t* out = &filtered[line * (y - first)];
      out[0] = 0;
      std::uint32_t best = FilterRow(0, row.data(), up.data(), rowBytes, bpp, out + 1);
      // Palette indices are not sums of neighbours: they stay unfiltered.
      for (int type = 1; type < 5 && compression != 0 && !palette; ++type) {
        const std::uint32_t sum = FilterRow(type, row.data(), up.data(), rowBytes, bpp, trial.data());
        if (sum < best) {
          best = sum;
          out[0] = std::uint8_t(type);
          std::memcpy(out + 1, trial.data(), rowBytes);
        }
      }
      std::swap(up, row);
    }
    const std::uint8_t* data = filtered.data() + line * (y0 - first);
    const std::size_t length = line * (y1 - y0);
    const std::size_t dictionary = std::min<std::size_t>(line * (y0 - first), 32768);
    const bool last = i + 1 == pieces;
    deflated[i] = compression == 0
                      ? DeflatePiece(data, length, 0, 0, Z_DEFAULT_STRATEGY, last, kRoom)
                      : DeflatePiece(data, length, dictionary, 1, Z_RLE, last, kRoom);
    if (compression >= 2) {
      auto matched =
          DeflatePiece(data, length, dictionary, compression, Z_DEFAULT_STRATEGY, last, kRoom);
      if (matched.size() < deflated[i].size()) deflated[i] = std::move(matched);
    }
    adlers[i] = adler32_z(1, data, length);
    lengths[i] = length;
  });
  uLong adler = adlers[0];
  for (std::size_t i = 1; i < pieces; ++i)
    adler = adler32_combine(adler, adlers[i], static_cast<z_off_t>(lengths[i]));

  FileBytes file(1);
  std::vector<std::uint8_t>& head = file[0];
  static const std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  Append(head, kSignature, 8);
  // Width, height, depth, the colour type, deflate, filtering, no interlace.
  std::uint8_t ihdr[13] = {0, 0, 0, 0, 0, 0, 0, 0, std::uint8_t(layout.bitDepth),
                           layout.colorType, 0, 0, 0};
  StoreBigEndian32(ihdr, std::uint32_t(w));
  StoreBigEndian32(ihdr + 4, std::uint32_t(h));
  AppendChunk(head, "IHDR", {{ihdr, sizeof ihdr}});
  AppendMetadata(head, picture.metadata);
  if (palette) {
    std::vector<std::uint8_t> plte, trns;
    for (std::uint32_t c : layout.palette) {
      for (int k = 0; k < 3; ++k) plte.push_back(std::uint8_t(c >> (8 * k)));
      if (c >> 24 != 255) trns.push_back(std::uint8_t(c >> 24));
    }
    AppendChunk(head, "PLTE", {{plte.data(), plte.size()}});
    if (!trns.empty()) AppendChunk(head, "tRNS", {{trns.data(), trns.size()}});
  }
  // zlib header: deflate with a 32 KiB window, the level class, check bits.
  const int levelClass = compression <= 1 ? 0 : compression <= 5 ? 1 : compression == 6 ? 2 : 3;
  std::uint8_t zlibHeader[2] = {0x78, std::uint8_t(levelClass << 6)};
  zlibHeader[1] = std::uint8_t(zlibHeader[1] + 31 - (0x78 * 256 + zlibHeader[1]) % 31);
  for (std::size_t i = 0; i < pieces; ++i) {
    // Each piece is one IDAT chunk, built in the room its deflate left.
    std::vector<std::uint8_t>& chunk = deflated[i];
    const std::size_t start = i == 0 ? 0 : 2;
    if (i == 0) std::memcpy(chunk.data() + 8, zlibHeader, 2);
    if (i + 1 == pieces) PutBigEndian32(chunk, static_cast<std::uint32_t>(adler));
    StoreBigEndian32(chunk.data() + start, static_cast<std::uint32_t>(chunk.size() - start - 8));
    std::memcpy(chunk.data() + start + 4, "IDAT", 4);
    PutBigEndian32(chunk, static_cast<std::uint32_t>(
                              crc32_z(0, chunk.data() + start + 4, chunk.size() - start - 4)));
    if (start) chunk.erase(chunk.begin(), chunk.begin() + start);
    file.push_back(std::move(chunk));
  }
  file.emplace_back();
  AppendChunk(file.back(), "IEND", {});
  return file;
}

}  // namespace morvex::cli
