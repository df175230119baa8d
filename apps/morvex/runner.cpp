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
#include <optional>
#include <system_error>

#include <glob.h>
#include <unistd.h>

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
      {"format", "png|jpg",
       "write this format: for standard output (-), and in a batch, where each name takes its "
       "extension"},
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

std::vector<OptionDef> RunOptionDefs() {
  std::vector<OptionDef> options = SaveOptionDefs();
  for (auto* more : {PictureOptionDefs, BatchOptionDefs})
    for (auto& option : more()) options.push_back(option);
  return options;
}

namespace {

std::optional<FileFormat> FormatOption(const Args& args) {
  if (!args.Has("format")) return std::nullopt;
  return args.Choice("format", {"png", "jpg", "jpeg"}, 0) == 0 ? FileFormat::kPng
                                                               : FileFormat::kJpeg;
}

std::string Lower(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

int JobsOption(const Args& args) {
  return static_cast<int>(args.Integer("jobs", AvailableCores(), 1, 1024));
}

SaveOptions ParseSaveOptions(const Args& args, const std::vector<std::string>& outputs,
                             int threads) {
  SaveOptions options;
  options.threads = threads;
  options.format = FormatOption(args);
  bool anyPng = false, anyJpeg = false;
  for (const auto& path : outputs) {
    try {
      const FileFormat format = options.format ? *options.format : OutputFormat(path);
      (format == FileFormat::kJpeg ? anyJpeg : anyPng) = true;
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
  for (const auto& path : outputs)
    if (OutputExists(path)) existing.push_back(path);
  if (existing.empty()) return;
  const std::size_t more = existing.size() - 1;
  throw CliError(existing[0] + " exists" +
                 (more ? " (and " + std::to_string(more) + " more output file" +
                             (more == 1 ? "" : "s") + ")"
                       : "") +
                 "; give -y to replace " + (more ? "them" : "it"));
}

void CheckOutput(const Args& args, const std::string& output) {
  const std::optional<FileFormat> format = FormatOption(args);
  if (output == kStandardStream) {
    if (!format) throw CliError("writing standard output (-) needs --format png or --format jpg");
    if (::isatty(STDOUT_FILENO) == 1)
      throw CliError("standard output is a terminal: send it to a file or a pipe");
  } else if (!format || !fs::path(output).extension().empty()) {
    // A name without an extension takes --format; one with must agree with it.
    const FileFormat named = OutputFormat(output);
    if (format && named != *format)
      throw CliError(args.OptionError(
          "format", "'" + args.String("format", "") + "' does not fit the name " + output));
  }
  CheckOverwrite(args, {output});
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
  for (const auto& note : picture.notes)
    progress.Message(prefix + ": " + ShownName(input) + ": " + note);
}

// The files of a run, checked before any work.
struct Plan {
  std::vector<std::string> inputs, outputs;
  std::string dir;  // a batch's --out-dir; empty for a single run
  SaveOptions save;
  int workers = 1;
};

bool IsPattern(const std::string& word) { return word.find_first_of("*?[") != std::string::npos; }

// A batch's inputs: patterns that name no file (quoted, so the shell left
// them) are expanded, in sorted order.
std::vector<std::string> BatchInputs(const std::vector<std::string>& words) {
  std::vector<std::string> inputs;
  std::error_code ec;
  for (const auto& word : words) {
    if (word == kStandardStream)
      throw CliError("standard input (-) cannot be one of a batch's inputs");
    if (!IsPattern(word) || fs::exists(word, ec)) {
      inputs.push_back(word);
      continue;
    }
    glob_t found;
    if (::glob(word.c_str(), 0, nullptr, &found) != 0 || found.gl_pathc == 0) {
      ::globfree(&found);
      throw CliError("no file matches '" + word + "'");
    }
    for (std::size_t i = 0; i < found.gl_pathc; ++i) inputs.push_back(found.gl_pathv[i]);
    ::globfree(&found);
  }
  return inputs;
}

// DIR/NAME; with --format the name takes that format's extension unless it
// has one of that format already.
std::string BatchOutput(const std::string& dir, const std::string& input,
                        const std::optional<FileFormat>& format) {
  fs::path name = fs::path(input).filename();
  if (name.empty()) throw CliError("'" + input + "' is not a file name");
  if (format) {
    const std::string ext = Lower(name.extension().string());
    const bool fits = *format == FileFormat::kPng ? ext == ".png" : ext == ".jpg" || ext == ".jpeg";
    if (!fits) name.replace_extension(*format == FileFormat::kPng ? ".png" : ".jpg");
  }
  return (fs::path(dir) / name).string();
}

Plan PlanRun(const Args& args) {
  Plan plan;
  const int jobs = JobsOption(args);
  if (!args.batch()) {
    plan.inputs = args.Inputs();
    plan.outputs = {args.Output()};
    CheckOutput(args, plan.outputs[0]);
    plan.save = ParseSaveOptions(args, plan.outputs, jobs);
    return plan;
  }
  plan.dir = args.String("out-dir", "");
  if (plan.dir.empty()) throw CliError(args.OptionError("out-dir", "needs a directory name"));
  plan.inputs = BatchInputs(args.Inputs());
  const std::optional<FileFormat> format = FormatOption(args);
  for (const auto& input : plan.inputs)
    plan.outputs.push_back(BatchOutput(plan.dir, input, format));
  // Two inputs of one name, or an input in DIR itself, would be overwritten.
  std::map<std::string, std::string> taken;
  for (std::size_t i = 0; i < plan.inputs.size(); ++i) {
    const auto [at, fresh] = taken.emplace(plan.outputs[i], plan.inputs[i]);
    if (!fresh)
      throw CliError(at->second + " and " + plan.inputs[i] + " would both be written to " +
                     plan.outputs[i]);
  }
  plan.workers = static_cast<int>(std::min<std::size_t>(std::size_t(jobs), plan.inputs.size()));
  plan.save = ParseSaveOptions(args, plan.outputs, std::max(1, jobs / plan.workers));
  std::error_code ec;
  if (fs::exists(plan.dir, ec) && !fs::is_directory(plan.dir, ec))
    throw CliError("cannot create directory " + plan.dir + ": a file of that name exists");
  for (std::size_t i = 0; i < plan.inputs.size(); ++i)
    if (fs::equivalent(plan.inputs[i], plan.outputs[i], ec))
      throw CliError(plan.outputs[i] + " would overwrite its input; choose another --out-dir");
  CheckOverwrite(args, plan.outputs);
  return plan;
}

std::string Prefix(const Job& job) { return job.name.empty() ? "morvex" : "morvex " + job.name; }

int RunOne(const Plan& plan, const Job& job, const Args& args) {
  const std::string &input = plan.inputs[0], &output = plan.outputs[0];
  const std::string prefix = Prefix(job);
  Progress progress(prefix, Progress::StderrIsTerminal());
  progress.Stage("reading " + ShownName(input));
  Picture picture = ReadInput(args, input);
  // A chain names each of its steps itself.
  if (!job.name.empty())
    progress.Stage(job.name + " on " + std::to_string(picture.width()) + "x" +
                   std::to_string(picture.height()) + " pixels");
  job.step(picture, progress);
  progress.Stage("writing " + ShownName(output, true));
  SavePicture(output, picture, plan.save);
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
std::uint64_t EstimatePeak(double bytesPerPixel, const std::string& path) {
  std::uint32_t w = 0, h = 0;
  int depth = 8;
  std::error_code ec;
  const std::uint64_t fileBytes = fs::file_size(path, ec);
  if (!PeekImageSize(path, &w, &h, &depth)) return ec ? 0 : fileBytes;
  const double pixels = double(w) * h;
  const double picture = depth == 16 ? 8 : 4;
  return std::uint64_t(pixels * (2 * picture + bytesPerPixel)) + (ec ? 0 : fileBytes);
}

int RunBatch(const Plan& plan, const Job& job, const Args& args) {
  std::error_code ec;
  fs::create_directories(plan.dir, ec);
  if (ec) throw CliError("cannot create directory " + plan.dir + ": " + ec.message());
  const std::vector<std::string>& inputs = plan.inputs;
  const std::string prefix = Prefix(job);
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
  ParallelFor(total, plan.workers, [&](std::size_t i) {
    const std::uint64_t peak = EstimatePeak(job.bytesPerPixel, inputs[i]);
    if (budget.Acquire(peak) && !saidFewer.exchange(true))
      progress.Message(prefix + ": " + inputs[i] + " needs about " + Gigabytes(peak) +
                       " of memory; running fewer images at once to stay within " +
                       Gigabytes(budget.limit()));
    std::string error;
    try {
      SilentProgress quiet;
      Picture picture = ReadInput(args, inputs[i]);
      job.step(picture, quiet);
      SavePicture(plan.outputs[i], picture, plan.save);
      PrintNotes(prefix, inputs[i], picture, progress);
    } catch (const CliError& e) {
      error = FileMessage(e.what(), inputs[i], plan.outputs[i]);
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
                        " file" + (total == 1 ? "" : "s") + " written to " + plan.dir + " in " +
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

int Run(const Plan& plan, const Job& job, const Args& args) {
  // The cores a picture has, as for writing a PNG.
  SetPictureThreads(plan.save.threads);
  return plan.dir.empty() ? RunOne(plan, job, args) : RunBatch(plan, job, args);
}

// The files and run options of a chain, parsed as a command of their own.
const Command& ChainRunCommand() {
  static const Command command = [] {
    Command files;
    files.positionals = {{"input", "image file"}, {"output", "image file to write"}};
    files.options = RunOptionDefs();
    return files;
  }();
  return command;
}

}  // namespace

int RunImageCommand(const Command& command, const Args& args) {
  const Plan plan = PlanRun(args);
  return Run(plan, MakeJob(command, args), args);
}

int RunChain(const ChainLine& line) {
  const Args args = Args::Parse(ChainRunCommand(), line.runWords);
  const Plan plan = PlanRun(args);
  return Run(plan, MakeJob(line.links), args);
}

}  // namespace morvex::cli
