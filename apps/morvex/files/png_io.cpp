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
bool Decode(std::FILE* file, PngInfo* info, bool bgra8, std::uint8_t* buffer,
            std::size_t bufferSize, png_bytep* rowPointers, char* error) {
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
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &pngInfo, nullptr);
  return true;
}

void DecodeOrThrow(const InputFile& input, PngInfo* info, bool bgra8, std::uint8_t* buffer,
                   std::size_t bufferSize, std::uint32_t height) {
  std::vector<png_bytep> rowPointers(height);
  char error[kMessageSize] = "";
  if (!Decode(input.get(), info, bgra8, buffer, bufferSize, rowPointers.data(), error))
    throw CliError("cannot read " + input.path() + ": " + error);
}

// ---- Writing ----

// Row y of the image in the file's layout: `channels` straight samples per
// pixel (1 grey, 2 grey + alpha, 3 RGB, 4 RGBA).
void PackRow(const Image& image, std::int32_t y, int channels, const UnpremultiplyTable& straight,
             std::uint8_t* out) {
  const std::uint8_t* p = image.Row(y);
  const std::int32_t w = image.width;
  switch (channels) {
    case 1:  // opaque: straight and premultiplied agree
      for (std::int32_t x = 0; x < w; ++x) out[x] = p[4 * x];
      break;
    case 2:
      for (std::int32_t x = 0; x < w; ++x) {
        out[2 * x] = straight(p[4 * x], p[4 * x + 3]);
        out[2 * x + 1] = p[4 * x + 3];
      }
      break;
    case 3:
      for (std::int32_t x = 0; x < w; ++x) {
        out[3 * x] = p[4 * x + 2];
        out[3 * x + 1] = p[4 * x + 1];
        out[3 * x + 2] = p[4 * x];
      }
      break;
    default:
      for (std::int32_t x = 0; x < w; ++x) {
        const std::uint8_t a = p[4 * x + 3];
        out[4 * x] = straight(p[4 * x + 2], a);
        out[4 * x + 1] = straight(p[4 * x + 1], a);
        out[4 * x + 2] = straight(p[4 * x], a);
        out[4 * x + 3] = a;
      }
  }
}

// Every pixel's straight colour has red = green = blue.
bool IsGrey(const Image& image, bool opaque, const UnpremultiplyTable& straight) {
  for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
    const std::uint8_t* p = &image.pixels[i];
    if (p[0] == p[1] && p[1] == p[2]) continue;
    if (opaque || straight(p[0], p[3]) != straight(p[1], p[3]) ||
        straight(p[1], p[3]) != straight(p[2], p[3]))
      return false;
  }
  return true;
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
// (byte-aligned, so pieces concatenate) or, for the last piece, the final block.
std::vector<std::uint8_t> DeflatePiece(const std::uint8_t* data, std::size_t length,
                                       std::size_t dictionaryLength, int level, int strategy,
                                       bool last) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy) != Z_OK) throw std::bad_alloc();
  if (dictionaryLength)
    deflateSetDictionary(&z, data - dictionaryLength, static_cast<uInt>(dictionaryLength));
  std::vector<std::uint8_t> out(deflateBound(&z, length) + 64);
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(length);
  std::size_t done = 0;
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
  const std::uint8_t* data;
  std::size_t size;
};

// A chunk whose data is the concatenation of `parts`.
void AppendChunk(std::vector<std::uint8_t>& out, const char* type,
                 std::initializer_list<Span> parts) {
  std::size_t length = 0;
  for (const Span& s : parts) length += s.size;
  PutBigEndian32(out, static_cast<std::uint32_t>(length));
  Append(out, type, 4);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  for (const Span& s : parts) {
    if (s.size == 0) continue;  // (crc32 of a null buffer would restart the sum)
    Append(out, s.data, s.size);
    crc = crc32_z(crc, s.data, s.size);
  }
  PutBigEndian32(out, static_cast<std::uint32_t>(crc));
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

StraightPixels ReadPng(const std::string& path, PngInfo* info) {
  const InputFile input(path);
  const Header header = ReadHeader(input);
  const std::size_t bytesPerSample = header.bitDepth == 16 ? 2 : 1;
  const std::size_t count = std::size_t(header.width) * header.height * 4;
  std::vector<std::uint8_t> buffer(count * bytesPerSample);
  PngInfo localInfo;
  DecodeOrThrow(input, info ? info : &localInfo, false, buffer.data(), buffer.size(),
                header.height);
  StraightPixels out;
  out.width = std::int32_t(header.width);
  out.height = std::int32_t(header.height);
  out.maxValue = bytesPerSample == 2 ? 65535 : 255;
  out.rgba.resize(count);
  const std::uint8_t* b = buffer.data();
  for (std::size_t i = 0; i < count; ++i)
    out.rgba[i] = bytesPerSample == 2 ? std::uint16_t(b[2 * i] << 8 | b[2 * i + 1]) : b[i];
  return out;
}

Image LoadPng(const std::string& path, PngInfo* info) {
  const InputFile input(path);
  const Header header = ReadHeader(input);
  if (header.bitDepth == 16) return Premultiply(ReadPng(path, info));
  Image image(std::int32_t(header.width), std::int32_t(header.height));
  PngInfo localInfo;
  DecodeOrThrow(input, info ? info : &localInfo, true, image.pixels.data(), image.pixels.size(),
                header.height);
  PremultiplyInPlace(image.pixels.data(), image.pixels.size() / 4);
  return image;
}

std::vector<std::uint8_t> EncodePng(const Image& image, int compression, int threads) {
  const std::int32_t w = image.width, h = image.height;
  if (w <= 0 || h <= 0) throw CliError("an image without pixels cannot be stored");
  const UnpremultiplyTable straight;
  const bool opaque = IsOpaque(image);
  const bool grey = IsGrey(image, opaque, straight);
  const int channels = grey ? (opaque ? 1 : 2) : (opaque ? 3 : 4);
  const std::uint8_t colorType = grey ? (opaque ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_GRAY_ALPHA)
                                      : (opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA);
  const std::size_t rowBytes = std::size_t(w) * channels, line = rowBytes + 1;

  // Filtered rows, each led by its filter type, in bands of rows per task.
  std::vector<std::uint8_t> filtered(line * h);
  constexpr std::int32_t kBandRows = 32;
  ParallelFor((h + kBandRows - 1) / kBandRows, threads, [&](std::size_t band) {
    std::vector<std::uint8_t> up(rowBytes, 0), row(rowBytes), trial(rowBytes);
    const std::int32_t y0 = std::int32_t(band) * kBandRows;
    const std::int32_t y1 = std::min(h, y0 + kBandRows);
    if (y0 > 0) PackRow(image, y0 - 1, channels, straight, up.data());
    for (std::int32_t y = y0; y < y1; ++y) {
      PackRow(image, y, channels, straight, row.data());
      std::uint8_t* out = &filtered[line * y];
      if (compression == 0) {
        out[0] = 0;
        FilterRow(0, row.data(), up.data(), rowBytes, channels, out + 1);
      } else {
        std::uint32_t best = FilterRow(0, row.data(), up.data(), rowBytes, channels, out + 1);
        out[0] = 0;
        for (int type = 1; type < 5; ++type) {
          const std::uint32_t sum =
              FilterRow(type, row.data(), up.data(), rowBytes, channels, trial.data());
          if (sum < best) {
            best = sum;
            out[0] = std::uint8_t(type);
            std::memcpy(out + 1, trial.data(), rowBytes);
          }
        }
      }
      std::swap(up, row);
    }
  });

  // The zlib stream in pieces of whole rows, about 1 MiB each, so the file
  // does not depend on the number of threads.
  const std::size_t pieceRows = std::max<std::size_t>(1, (std::size_t(1) << 20) / line);
  const std::size_t pieces = (std::size_t(h) + pieceRows - 1) / pieceRows;
  std::vector<std::vector<std::uint8_t>> deflated(pieces);
  std::vector<uLong> adlers(pieces);
  std::vector<std::size_t> lengths(pieces);
  ParallelFor(pieces, threads, [&](std::size_t i) {
    const std::size_t start = i * pieceRows * line;
    const std::size_t length = std::min(filtered.size() - start, pieceRows * line);
    const std::size_t dictionary = compression == 0 ? 0 : std::min<std::size_t>(start, 32768);
    const bool last = i + 1 == pieces;
    const std::uint8_t* data = filtered.data() + start;
    deflated[i] = compression == 0 ? DeflatePiece(data, length, 0, 0, Z_DEFAULT_STRATEGY, last)
                                   : DeflatePiece(data, length, dictionary, 1, Z_RLE, last);
    if (compression >= 2) {
      auto matched = DeflatePiece(data, length, dictionary, compression, Z_DEFAULT_STRATEGY, last);
      if (matched.size() < deflated[i].size()) deflated[i] = std::move(matched);
    }
    adlers[i] = adler32_z(1, data, length);
    lengths[i] = length;
  });
  uLong adler = adlers[0];
  for (std::size_t i = 1; i < pieces; ++i)
    adler = adler32_combine(adler, adlers[i], static_cast<z_off_t>(lengths[i]));

  std::size_t total = 64;
  for (const auto& piece : deflated) total += piece.size() + 12;
  std::vector<std::uint8_t> file;
  file.reserve(total);
  static const std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  Append(file, kSignature, 8);
  // Width, height, 8 bits per sample, the colour type, deflate, filtering, no interlace.
  std::uint8_t ihdr[13] = {0, 0, 0, 0, 0, 0, 0, 0, 8, colorType, 0, 0, 0};
  StoreBigEndian32(ihdr, std::uint32_t(w));
  StoreBigEndian32(ihdr + 4, std::uint32_t(h));
  AppendChunk(file, "IHDR", {{ihdr, sizeof ihdr}});
  // zlib header: deflate with a 32 KiB window, the level class, check bits.
  const int levelClass = compression <= 1 ? 0 : compression <= 5 ? 1 : compression == 6 ? 2 : 3;
  std::uint8_t zlibHeader[2] = {0x78, std::uint8_t(levelClass << 6)};
  zlibHeader[1] = std::uint8_t(zlibHeader[1] + 31 - (0x78 * 256 + zlibHeader[1]) % 31);
  std::uint8_t trailer[4];
  StoreBigEndian32(trailer, static_cast<std::uint32_t>(adler));
  for (std::size_t i = 0; i < pieces; ++i) {
    const Span head = i == 0 ? Span{zlibHeader, 2} : Span{nullptr, 0};
    const Span tail = i + 1 == pieces ? Span{trailer, 4} : Span{nullptr, 0};
    AppendChunk(file, "IDAT", {head, {deflated[i].data(), deflated[i].size()}, tail});
    std::vector<std::uint8_t>().swap(deflated[i]);
  }
  AppendChunk(file, "IEND", {});
  return file;
}

}  // namespace morvex::cli
