#include "cli_harness.h"

#include <fcntl.h>
#include <png.h>
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "files/image_io.h"
#include "files/png_io.h"

extern char** environ;

namespace morvex::test {
namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

std::string ReadFileBytes(const std::string& path) { return Slurp(path); }

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  path_ = fs::temp_directory_path() /
          ("morvex-cli-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::vector<std::string> ScratchDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

CliRun RunCli(const std::vector<std::string>& args, const std::string& input) {
  static std::atomic<int> counter{0};
  const fs::path base =
      fs::temp_directory_path() /
      ("morvex-cli-run-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  const std::string outPath = base.string() + ".out", errPath = base.string() + ".err";
  std::vector<std::string> words = {MORVEX_CLI_PATH};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid;
  CliRun run;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = Slurp(outPath);
  run.err = Slurp(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return run;
}

CliRun RunCliOnTerminal(const std::vector<std::string>& args) {
  std::vector<std::string> words = {MORVEX_CLI_PATH};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  CliRun run;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return run;
  if (pid == 0) {
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  char buffer[4096];
  for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;  // EIO: the tool has closed the terminal
    }
    run.out.append(buffer, std::size_t(n));
  }
  ::close(master);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

void WriteRawPng(const std::string& path, std::int32_t width, std::int32_t height, int colorType,
                 int bitDepth, const std::vector<std::uint8_t>& packedRows,
                 const std::vector<std::uint8_t>& palette, const std::vector<std::uint8_t>& trns,
                 bool interlaced, const cli::Metadata& metadata) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) throw std::runtime_error("cannot create " + path);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, bitDepth, colorType,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty())
    png_set_PLTE(png, info, reinterpret_cast<const png_color*>(palette.data()),
                 static_cast<int>(palette.size() / 3));
  if (!trns.empty()) {
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
      png_set_tRNS(png, info, trns.data(), static_cast<int>(trns.size()), nullptr);
    } else {
      // Gray: one 16-bit value; RGB: three.
      png_color_16 value{};
      value.gray = static_cast<png_uint_16>(trns[0] << 8 | trns[1]);
      if (trns.size() >= 6) {
        value.red = static_cast<png_uint_16>(trns[0] << 8 | trns[1]);
        value.green = static_cast<png_uint_16>(trns[2] << 8 | trns[3]);
        value.blue = static_cast<png_uint_16>(trns[4] << 8 | trns[5]);
      }
      png_set_tRNS(png, info, nullptr, 0, &value);
    }
  }
  if (!metadata.exif.empty())
    png_set_eXIf_1(png, info, static_cast<png_uint_32>(metadata.exif.size()),
                   const_cast<png_bytep>(metadata.exif.data()));
  if (!metadata.icc.empty())
    png_set_iCCP(png, info, "test profile", PNG_COMPRESSION_TYPE_BASE, metadata.icc.data(),
                 static_cast<png_uint_32>(metadata.icc.size()));
  png_text xmp{};
  if (!metadata.xmp.empty()) {
    xmp.compression = PNG_ITXT_COMPRESSION_NONE;
    xmp.key = const_cast<char*>("XML:com.adobe.xmp");
    xmp.text = const_cast<char*>(metadata.xmp.c_str());
    xmp.itxt_length = metadata.xmp.size();
    png_set_text(png, info, &xmp, 1);
  }
  png_write_info(png, info);
  const std::size_t rowBytes = packedRows.size() / height;
  std::vector<png_bytep> rows(height);
  for (std::int32_t y = 0; y < height; ++y)
    rows[y] = const_cast<png_bytep>(packedRows.data() + rowBytes * y);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

void WriteJpeg(const std::string& path, std::int32_t width, std::int32_t height,
               const std::vector<std::uint8_t>& rgb, const cli::Metadata& metadata, int quality) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) throw std::runtime_error("cannot create " + path);
  jpeg_stdio_dest(&info, file);
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  auto app1 = [&](const char* id, std::size_t idBytes, const void* data, std::size_t size) {
    std::vector<JOCTET> marker(idBytes + size);
    std::memcpy(marker.data(), id, idBytes);
    std::memcpy(marker.data() + idBytes, data, size);
    jpeg_write_marker(&info, JPEG_APP0 + 1, marker.data(), unsigned(marker.size()));
  };
  if (!metadata.exif.empty()) app1("Exif\0", 6, metadata.exif.data(), metadata.exif.size());
  if (!metadata.xmp.empty())
    app1("http://ns.adobe.com/xap/1.0/", 29, metadata.xmp.data(), metadata.xmp.size());
  if (!metadata.icc.empty())
    jpeg_write_icc_profile(&info, metadata.icc.data(), unsigned(metadata.icc.size()));
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + std::size_t(info.next_scanline) * width * 3);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::fclose(file);
}

std::vector<std::uint8_t> ExifWithOrientation(int orientation, const std::string& make) {
  // Header, one IFD of two entries at offset 8, then the make's text.
  std::vector<std::uint8_t> exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 2, 0};
  auto put16 = [&](unsigned v) { exif.push_back(std::uint8_t(v)), exif.push_back(std::uint8_t(v >> 8)); };
  auto put32 = [&](std::uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
  const std::uint32_t textAt = 8 + 2 + 2 * 12 + 4;
  put16(0x010F), put16(2), put32(std::uint32_t(make.size() + 1)), put32(textAt);  // Make
  put16(0x0112), put16(3), put32(1), put16(unsigned(orientation)), put16(0);       // Orientation
  put32(0);                                                                        // no next IFD
  exif.insert(exif.end(), make.begin(), make.end());
  exif.push_back(0);
  return exif;
}

std::vector<std::uint8_t> RandomRgba(Rng& rng, std::int32_t width, std::int32_t height) {
  std::vector<std::uint8_t> rgba(std::size_t(width) * height * 4);
  for (std::size_t i = 0; i < rgba.size(); i += 4) {
    rng.Fill(&rgba[i], 4);
    const int kind = rng.Int(0, 3);
    if (kind == 0) rgba[i + 3] = 255;
    if (kind == 1) rgba[i + 3] = 0;
  }
  return rgba;
}

cli::Image WriteRandomPng(Rng& rng, const std::string& path, std::int32_t width,
                          std::int32_t height) {
  const auto rgba = RandomRgba(rng, width, height);
  WriteRawPng(path, width, height, PNG_COLOR_TYPE_RGBA, 8, rgba);
  return cli::LoadImage(path);
}

std::vector<std::uint8_t> SavedBytes(const cli::Image& image) { return cli::Unpremultiply(image); }

std::vector<std::uint8_t> ReadRgba8(const std::string& path, std::int32_t* width,
                                    std::int32_t* height) {
  cli::PngInfo info;
  const cli::StraightPixels pixels = cli::ReadPng(path, &info);
  if (info.bitDepth == 16) throw std::runtime_error(path + " is a 16-bit PNG");
  if (width) *width = pixels.width;
  if (height) *height = pixels.height;
  return std::vector<std::uint8_t>(pixels.rgba.begin(), pixels.rgba.end());
}

}  // namespace morvex::test
