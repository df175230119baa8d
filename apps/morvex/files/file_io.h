// Files in and out: inputs opened with a look at their first bytes, outputs
// that appear complete or not at all.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace morvex::cli {

std::string ErrnoText(int code);

// "-" names standard input (as an input) or standard output (as an output).
constexpr const char* kStandardStream = "-";
// A file name as messages show it: "standard input" for "-", or "standard
// output" for an `output` "-".
std::string ShownName(const std::string& path, bool output = false);

// An input file open for reading at its start. Throws "cannot read PATH:
// REASON" when it cannot be opened or is a directory. "-" reads standard
// input whole first (once in a run: a second reading is an error), so that
// the decoders can look at its start and go back.
class InputFile {
 public:
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  std::FILE* get() const { return file_; }
  const std::string& path() const { return path_; }
  // Up to 8 leading bytes (fewer for a shorter file); the file is left at its start.
  const std::uint8_t* head() const { return head_; }
  std::size_t headSize() const { return headSize_; }
  // The whole file from its start.
  std::vector<std::uint8_t> ReadAll() const;

 private:
  std::string path_;
  std::vector<std::uint8_t> piped_;  // standard input's bytes
  std::FILE* file_ = nullptr;
  std::uint8_t head_[8] = {};
  std::size_t headSize_ = 0;
};

// Throws "cannot read PATH: image too large (...)" (or "no pixels") for a
// size outside the tool's limits (kMaxDimension, kMaxPixels).
void CheckImageSize(const std::string& path, std::uint64_t width, std::uint64_t height);

// A file's bytes as pieces written one after another.
using FileBytes = std::vector<std::vector<std::uint8_t>>;

// Writes `bytes` to `path` under a temporary name in the same directory and
// renames it into place, so the file appears complete or not at all. Writing
// to a symbolic link writes the file it points to; a file that is replaced
// keeps its permissions. "-" writes standard output, and a path naming no
// regular file (a named pipe, /dev/stdout, /dev/null) is written as it is.
// The bytes are all made before anything is written. Throws "cannot write
// PATH: REASON".
void WriteFileAtomically(const std::string& path, const FileBytes& bytes);

// Throws "cannot write PATH: REASON" when `path` names a directory or no file.
void CheckOutputPath(const std::string& path);

// The file a write to `path` lands in: `path` itself, or the end of the chain
// of symbolic links it starts (which need not exist yet).
std::string WriteTarget(const std::string& path);

// Whether writing `path` would replace a file: a regular file (or a
// directory) is there. Standard output, named pipes and devices are never
// files that exist in this sense.
bool OutputExists(const std::string& path);

}  // namespace morvex::cli
