#include "runner.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <new>
#include <system_error>

#include "core/geometry.h"
#include "core/parallel.h"
#include "core/progress.h"
#include "files/file_io.h"
#include "files/png_io.h"
#include "files/metadata.h"

namespace morvex::cli {
namespace fs = std::filesystem;

std::vector<OptionDef> SaveOptionDefs() {
  return {
      {"compression", "0-9",
       "PNG output: 0 stores, 1 (default) is fastest and best for photographs, 2..9 also try "
       "zlib's matching at that level (smaller for drawings, slower)"},
      {"quality", "1-100", "JPEG output quality (default 90; 90 and up keep full colour detail)"},
      {"background", "COLOR",
       "lay the result over this colour before saving (a JPEG needs an opaque result)"},
      {"overwrite", "", "-y: replace output files that exist (otherwise they stop the command)"},
  };
}

std::vector<OptionDef> PictureOptionDefs() {
  return {
      {"strip", "", "leave out the input's metadata (EXIF, ICC profile, XMP)"},
      {"auto-orient", "",
       "turn the pixels upright as the EXIF orientation says, first, and set it to 1"},
  };
}

std::vector<OptionDef> BatchOptionDefs() {
  return {
      {"out-dir", "DIR",
       "process every INPUT, writing DIR/NAME for each (DIR is created if missing)"},
      {"jobs", "N", "-j N: images processed at once (default: one per core, as memory allows)"},
  };
}

int JobsOption(const Args& args) {
  return static_cast<int>(args.Integer("jobs", AvailableCores(), 1, 1024));
}

SaveOptions ParseSaveOptions(const Args& args, const std::vector<std::string>& outputs,
                             int threads) {
  SaveOptions options;
  options.threads = threads;
  bool anyPng = false, anyJpeg = false;
  for (const auto& path : outputs) {
    try {
      (OutputFormat(path) == FileFormat::kJpeg ? anyJpeg : anyPng) = true;
    } catch (const CliError&) {
      // An unknown extension fails when that file is written.
    }
  }
  if (args.Has("compression") && !anyPng)
    throw CliError(args.OptionError("compression", "applies to PNG output only"));
  if (args.Has("quality") && !anyJpeg)
    throw CliError(args.OptionError("quality", "applies to JPEG output only"));
  options.compression = static_cast<int>(args.Integer("compression", kDefaultPngCompression, 0, 9));
  options.quality = static_cast<int>(args.Integer("quality", 90, 1, 100));
  if (args.Has("background")) {
    const std::string text = args.String("background", "");
    if (!ParseColor(text, options.background))
      throw CliError(args.OptionError(
          "background", "'" + text + "' is not a colour (#RRGGBB, #RRGGBBAA or a name)"));
    options.flatten = true;
  }
  return options;
}

void CheckOverwrite(const Args& args, const std::vector<std::string>& outputs) {
  if (args.Flag("overwrite")) return;
  std::vector<std::string> existing;
  std::error_code ec;
  for (const auto& path : outputs)
    if (fs::exists(WriteTarget(path), ec)) existing.push_back(path);
  if (existing.empty()) return;
  const std::size_t more = existing.size() - 1;
  throw CliError(existing[0] + " exists" +
                 (more ? " (and " + std::to_string(more) + " more output file" +
                             (more == 1 ? "" : "s") + ")"
                       : "") +
                 "; give -y to replace " + (more ? "them" : "it"));
}

Step MakeStep(const Command& command, const Args& args) {
  if (command.prepareStep) return command.prepareStep(args);
  return OnImage(command.name, command.prepare(args));
}

namespace {

// Reads INPUT as the step needs it: metadata left out with --strip, pixels
// turned upright first with --auto-orient.
Picture ReadInput(const Args& args, const std::string& path) {
  Picture picture = LoadPicture(path);
  if (args.Flag("strip")) picture.metadata = Metadata();
  if (args.Flag("auto-orient")) {
    MovePixels(picture, UprightMove(ExifOrientation(picture.metadata)));
    SetOrientation(picture.metadata, 1);
  }
  return picture;
}

void PrintNotes(const std::string& prefix, const std::string& input, const Picture& picture,
                Progress& progress) {
  for (const auto& note : picture.notes) progress.Message(prefix + ": " + input + ": " + note);
}

int RunOne(const Command& command, const Args& args, const Step& step) {
  const std::string& input = args.Positional(0);
  const std::string& output = args.Positional(args.PositionalCount() - 1);
  const SaveOptions options = ParseSaveOptions(args, {output}, JobsOption(args));
  const std::string prefix = "morvex " + command.name;
  Progress progress(prefix, Progress::StderrIsTerminal());
  progress.Stage("reading " + input);
  Picture picture = ReadInput(args, input);
  progress.Stage(command.name + " on " + std::to_string(picture.width()) + "x" +
                 std::to_string(picture.height()) + " pixels");
  step(picture, progress);
  progress.Stage("writing " + output);
  SavePicture(output, picture, options);
  PrintNotes(prefix, input, picture, progress);
  return 0;
}

// A failure's message names the file; messages about the operation itself
// get the input's name in front.
std::string FileMessage(const std::string& message, const std::string& input,
                        const std::string& output) {
  if (message.find(input) != std::string::npos || message.find(output) != std::string::npos)
    return message;
  return input + ": " + message;
}

// The memory this process may still take: the kernel's estimate of what is
// available without swapping.
std::uint64_t AvailableMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::uint64_t kib = 0;
  while (meminfo >> key >> kib) {
    if (key == "MemAvailable:") return kib * 1024;
    meminfo.ignore(256, '\n');
  }
  return std::uint64_t(4) << 30;
}

std::string Gigabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f GB", double(bytes) / 1e9);
  return text;
}

// Jobs of a batch take their estimated peak from the budget before they read
// their file, and wait while it would go beyond what is available; a job
// alone always runs.
class MemoryBudget {
 public:
  explicit MemoryBudget(std::uint64_t limit) : limit_(limit) {}
  // Returns whether the job had to wait.
  bool Acquire(std::uint64_t bytes) {
    std::unique_lock<std::mutex> hold(lock_);
    bool waited = false;
    while (running_ > 0 && used_ + bytes > limit_) {
      waited = true;
      freed_.wait(hold);
    }
    used_ += bytes;
    ++running_;
    return waited;
  }
  void Release(std::uint64_t bytes) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      used_ -= bytes;
      --running_;
    }
    freed_.notify_all();
  }
  std::uint64_t limit() const { return limit_; }

 private:
  std::mutex lock_;
  std::condition_variable freed_;
  std::uint64_t limit_, used_ = 0;
  int running_ = 0;
};

// About the most one job holds at once: the file as read, the picture, the
// step's own planes and the encoded result.
std::uint64_t EstimatePeak(const Command& command, const std::string& path) {
  std::uint32_t w = 0, h = 0;
  int depth = 8;
  std::error_code ec;
  const std::uint64_t fileBytes = fs::file_size(path, ec);
  if (!PeekImageSize(path, &w, &h, &depth)) return ec ? 0 : fileBytes;
  const double pixels = double(w) * h;
  const double picture = depth == 16 ? 8 : 4;
  return std::uint64_t(pixels * (2 * picture + command.bytesPerPixel)) + (ec ? 0 : fileBytes);
}

int RunBatch(const Command& command, const Args& args, const Step& step) {
  const std::string dir = args.String("out-dir", "");
  if (dir.empty()) throw CliError(args.OptionError("out-dir", "needs a directory name"));
  std::vector<std::string> inputs, outputs;
  for (std::size_t i = 0; i < args.PositionalCount(); ++i) {
    inputs.push_back(args.Positional(i));
    const fs::path name = fs::path(inputs.back()).filename();
    if (name.empty()) throw CliError("'" + inputs.back() + "' is not a file name");
    outputs.push_back((fs::path(dir) / name).string());
  }
  // Two inputs of one name, or an input in DIR itself, would be overwritten.
  std::map<std::string, std::string> taken;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const auto [at, fresh] = taken.emplace(outputs[i], inputs[i]);
    if (!fresh)
      throw CliError(at->second + " and " + inputs[i] + " would both be written to " +
                     outputs[i]);
  }
  const int jobs = JobsOption(args);
  const int workers = static_cast<int>(std::min<std::size_t>(std::size_t(jobs), inputs.size()));
  const SaveOptions options = ParseSaveOptions(args, outputs, std::max(1, jobs / workers));
  std::error_code ec;
  if (fs::exists(dir, ec) && !fs::is_directory(dir, ec))
    throw CliError("cannot create directory " + dir + ": a file of that name exists");
  for (std::size_t i = 0; i < inputs.size(); ++i)
    if (fs::equivalent(inputs[i], outputs[i], ec))
      throw CliError(outputs[i] + " would overwrite its input; choose another --out-dir");
  CheckOverwrite(args, outputs);
  fs::create_directories(dir, ec);
  if (ec) throw CliError("cannot create directory " + dir + ": " + ec.message());

  const std::string prefix = "morvex " + command.name;
  Progress progress(prefix, Progress::StderrIsTerminal());
  const std::size_t total = inputs.size();
  std::atomic<std::size_t> done{0};
  std::vector<std::string> failures;
  std::mutex failuresLock;
  auto report = [&] {
    std::size_t failed;
    {
      std::lock_guard<std::mutex> hold(failuresLock);
      failed = failures.size();
    }
    progress.Stage(std::to_string(done) + "/" + std::to_string(total) + " done" +
                   (failed ? " (" + std::to_string(failed) + " failed)" : ""));
  };
  report();
  // Half of what is available, so that the estimates' errors and the rest of
  // the machine have room.
  MemoryBudget budget(AvailableMemory() / 2);
  std::atomic<bool> saidFewer{false};
  ParallelFor(total, workers, [&](std::size_t i) {
    const std::uint64_t peak = EstimatePeak(command, inputs[i]);
    if (budget.Acquire(peak) && !saidFewer.exchange(true))
      progress.Message(prefix + ": " + inputs[i] + " needs about " + Gigabytes(peak) +
                       " of memory; running fewer images at once to stay within " +
                       Gigabytes(budget.limit()));
    std::string error;
    try {
      SilentProgress quiet;
      Picture picture = ReadInput(args, inputs[i]);
      step(picture, quiet);
      SavePicture(outputs[i], picture, options);
      PrintNotes(prefix, inputs[i], picture, progress);
    } catch (const CliError& e) {
      error = FileMessage(e.what(), inputs[i], outputs[i]);
    } catch (const std::bad_alloc&) {
      error = inputs[i] + ": out of memory";
    }
    budget.Release(peak);
    if (!error.empty()) {
      {
        std::lock_guard<std::mutex> hold(failuresLock);
        failures.push_back(inputs[i]);
      }
      progress.Message(prefix + ": " + error);
    }
    ++done;
    report();
  });
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s", progress.Seconds());
  const std::size_t written = total - failures.size();
  std::string summary = prefix + ": " + std::to_string(written) + " of " + std::to_string(total) +
                        " file" + (total == 1 ? "" : "s") + " written to " + dir + " in " +
                        seconds;
  if (!failures.empty()) {
    // In the order given, whatever order the workers finished in.
    std::vector<std::string> ordered;
    for (const auto& input : inputs)
      if (std::find(failures.begin(), failures.end(), input) != failures.end())
        ordered.push_back(input);
    summary += "; " + std::to_string(failures.size()) + " failed:";
    for (const auto& input : ordered) summary += " " + input;
  }
  progress.Message(summary);
  return failures.empty() ? 0 : kExitUsage;
}

}  // namespace

int RunImageCommand(const Command& command, const Args& args) {
  if (!args.batch()) {
    // The output's name and existence first, so that they fail before any work.
    const std::string& output = args.Positional(args.PositionalCount() - 1);
    OutputFormat(output);
    CheckOverwrite(args, {output});
  }
  const Step step = MakeStep(command, args);
  return args.batch() ? RunBatch(command, args, step) : RunOne(command, args, step);
}

}  // namespace morvex::cli
