#include "files/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/args.h"
#include "core/image.h"

namespace morvex::cli {

std::string ErrnoText(int code) { return std::strerror(code); }

std::string ShownName(const std::string& path, bool output) {
  if (path != kStandardStream) return path;
  return output ? "standard output" : "standard input";
}

namespace {

// Standard input's bytes, whole; it can be read once.
std::vector<std::uint8_t> ReadStandardInput() {
  static std::atomic<bool> taken{false};
  if (taken.exchange(true))
    throw CliError("cannot read standard input twice (name it as one input only)");
  if (::isatty(STDIN_FILENO) == 1)
    throw CliError("standard input is a terminal: send an image into it from a file or a pipe");
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[1 << 16];
  while (true) {
    const ssize_t n = ::read(0, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw CliError("cannot read standard input: " + ErrnoText(errno));
    }
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

}  // namespace

InputFile::InputFile(const std::string& path) : path_(ShownName(path)) {
  if (path == kStandardStream) {
    piped_ = ReadStandardInput();
    // A stream over the bytes, which the decoders read as a file; one spare
    // byte keeps it valid when nothing was piped.
    piped_.push_back(0);
    file_ = ::fmemopen(piped_.data(), piped_.size() - 1, "rb");
    if (!file_) throw CliError("cannot read standard input: " + ErrnoText(errno));
    headSize_ = std::fread(head_, 1, sizeof head_, file_);
    std::rewind(file_);
    return;
  }
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) throw CliError("cannot read " + path + ": " + ErrnoText(errno));
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    std::fclose(file_);
    throw CliError("cannot read " + path + ": is a directory");
  }
  headSize_ = std::fread(head_, 1, sizeof head_, file_);
  std::rewind(file_);
}

InputFile::~InputFile() { std::fclose(file_); }

std::vector<std::uint8_t> InputFile::ReadAll() const {
  std::rewind(file_);
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[1 << 16];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;)
    bytes.insert(bytes.end(), buffer, buffer + n);
  if (std::ferror(file_)) throw CliError("cannot read " + path_ + ": read error");
  return bytes;
}

void CheckImageSize(const std::string& path, std::uint64_t width, std::uint64_t height) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height) + " pixels";
  if (width == 0 || height == 0) throw CliError("cannot read " + path + ": no pixels (" + size + ")");
  if (width > std::uint64_t(kMaxDimension) || height > std::uint64_t(kMaxDimension) ||
      width * height > std::uint64_t(kMaxPixels))
    throw CliError("cannot read " + path + ": image too large (" + size + "; the limit is " +
                   std::to_string(kMaxDimension) + " on a side and " +
                   std::to_string(kMaxPixels / 1000000) + " megapixels)");
}

void CheckOutputPath(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  if (target.filename().empty()) throw CliError("cannot write " + path + ": not a file name");
  std::error_code ec;
  if (fs::is_directory(target, ec)) throw CliError("cannot write " + path + ": is a directory");
}

bool OutputExists(const std::string& path) {
  if (path == kStandardStream) return false;
  struct stat status;
  if (::stat(path.c_str(), &status) == 0) return S_ISREG(status.st_mode) || S_ISDIR(status.st_mode);
  std::error_code ec;
  return std::filesystem::exists(WriteTarget(path), ec);
}

namespace {

// Writes the pieces to an open descriptor; returns the error's text, or "".
std::string WritePieces(int fd, const FileBytes& bytes) {
  for (const auto& piece : bytes)
    for (std::size_t done = 0; done < piece.size();) {
      const ssize_t n = ::write(fd, piece.data() + done, piece.size() - done);
      if (n < 0 && errno != EINTR) return ErrnoText(errno);
      if (n > 0) done += std::size_t(n);
    }
  return "";
}

// Standard output, a named pipe or a device: written as it is, since there
// is no file to replace.
bool WriteStream(const std::string& path, const FileBytes& bytes) {
  int fd = 1;
  std::string shown = "standard output";
  if (path != kStandardStream) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode) || S_ISDIR(status.st_mode))
      return false;
    fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) throw CliError("cannot write " + path + ": " + ErrnoText(errno));
    shown = path;
  }
  std::string error = WritePieces(fd, bytes);
  if (fd != 1 && ::close(fd) != 0 && error.empty()) error = ErrnoText(errno);
  if (!error.empty()) throw CliError("cannot write " + shown + ": " + error);
  return true;
}

}  // namespace

std::string WriteTarget(const std::string& path) {
  namespace fs = std::filesystem;
  fs::path target(path);
  std::error_code ec;
  // A loop of links is left to fail when the file is opened.
  for (int hops = 0; hops < 40 && fs::is_symlink(target, ec); ++hops) {
    const fs::path link = fs::read_symlink(target, ec);
    if (ec) break;
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
  return target.string();
}

void WriteFileAtomically(const std::string& path, const FileBytes& bytes) {
  namespace fs = std::filesystem;
  if (WriteStream(path, bytes)) return;
  CheckOutputPath(path);
  const fs::path target(WriteTarget(path));
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string temp = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw CliError("cannot write " + path + ": " + ErrnoText(errno));
  // mkstemp creates the file private: give it the permissions of the file it
  // replaces, or those a new file gets.
  struct stat existing;
  if (::stat(target.c_str(), &existing) == 0) {
    ::fchmod(fd, existing.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  std::string error = WritePieces(fd, bytes);
  if (::close(fd) != 0 && error.empty()) error = ErrnoText(errno);
  if (error.empty()) {
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) error = ec.message();
  }
  if (!error.empty()) {
    ::unlink(temp.c_str());
    throw CliError("cannot write " + path + ": " + error);
  }
}

}  // namespace morvex::cli
