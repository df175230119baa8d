// Helpers for the command-line tool's tests: running build/morvex, scratch
// directories, PNG files of every kind, and the expected file contents.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/image.h"
#include "core/picture.h"
#include "support/random.h"

namespace morvex::test {

struct CliRun {
  int exitCode = -1;
  std::string out, err;
};

// Runs the tool with `args` (without the program name), waits, and captures
// both output streams; standard input is the file `input` (or /dev/null).
CliRun RunCli(const std::vector<std::string>& args, const std::string& input = "/dev/null");
// The same on a pseudo-terminal: `out` receives everything the tool wrote to
// it (standard output and error both), `err` stays empty.
CliRun RunCliOnTerminal(const std::vector<std::string>& args);

// The bytes of a file ("" when it cannot be read).
std::string ReadFileBytes(const std::string& path);

// A fresh directory, removed with its contents at the end of the scope.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }
  // Names of the entries in the directory, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::filesystem::path path_;
};

// Writes a PNG of any colour type and depth from raw samples as libpng takes
// them (big-endian for 16 bits). `palette` (RGB triples) and `trns` are used
// when not empty, and so is the metadata (eXIf, iCCP, an XMP iTXt).
void WriteRawPng(const std::string& path, std::int32_t width, std::int32_t height, int colorType,
                 int bitDepth, const std::vector<std::uint8_t>& packedRows,
                 const std::vector<std::uint8_t>& palette = {},
                 const std::vector<std::uint8_t>& trns = {}, bool interlaced = false,
                 const cli::Metadata& metadata = {});

// Writes a JPEG of RGB samples with libjpeg, as a camera would: EXIF and XMP
// in APP1 markers, the ICC profile in APP2 markers (as many as it needs).
void WriteJpeg(const std::string& path, std::int32_t width, std::int32_t height,
               const std::vector<std::uint8_t>& rgb, const cli::Metadata& metadata = {},
               int quality = 95);

// EXIF data (little-endian TIFF) whose first IFD holds an orientation tag
// and one ASCII tag (the camera's make), as cameras write it.
std::vector<std::uint8_t> ExifWithOrientation(int orientation, const std::string& make);

// Random straight RGBA bytes: a mix of opaque, transparent and translucent
// pixels (and colour in transparent pixels, which premultiplies to 0).
std::vector<std::uint8_t> RandomRgba(Rng& rng, std::int32_t width, std::int32_t height);

// A random 8-bit RGBA PNG written to `path`; returns what the tool loads.
cli::Image WriteRandomPng(Rng& rng, const std::string& path, std::int32_t width,
                          std::int32_t height);

// The straight RGBA bytes the tool writes for `image`.
std::vector<std::uint8_t> SavedBytes(const cli::Image& image);
// The 8-bit RGBA bytes of a PNG the tool wrote (grey, palette and RGB expanded).
std::vector<std::uint8_t> ReadRgba8(const std::string& path, std::int32_t* width = nullptr,
                                    std::int32_t* height = nullptr);

}  // namespace morvex::test
