#include "runner.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <new>
#include <system_error>

#include "core/parallel.h"
#include "files/png_io.h"
#include "core/progress.h"

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
  };
}

std::vector<OptionDef> BatchOptionDefs() {
  return {
      {"out-dir", "DIR",
       "process every INPUT, writing DIR/NAME for each (DIR is created if missing)"},
      {"jobs", "N", "-j N: images processed at once (default: one per core)"},
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

namespace {

int RunOne(const Command& command, const Args& args, const Transform& op) {
  const std::string& input = args.Positional(0);
  const std::string& output = args.Positional(1);
  const SaveOptions options = ParseSaveOptions(args, {output}, JobsOption(args));
  Progress progress("morvex " + command.name, Progress::StderrIsTerminal());
  progress.Stage("reading " + input);
  const Image image = LoadImage(input);
  progress.Stage(command.name + " on " + std::to_string(image.width) + "x" +
                 std::to_string(image.height) + " pixels");
  const Image result = op(image, progress);
  progress.Stage("writing " + output);
  SaveImage(output, result, options);
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

int RunBatch(const Command& command, const Args& args, const Transform& op) {
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
  fs::create_directories(dir, ec);
  if (ec) throw CliError("cannot create directory " + dir + ": " + ec.message());
  for (std::size_t i = 0; i < inputs.size(); ++i)
    if (fs::equivalent(inputs[i], outputs[i], ec))
      throw CliError(outputs[i] + " would overwrite its input; choose another --out-dir");

  const std::string prefix = "morvex " + command.name;
  Progress progress(prefix, Progress::StderrIsTerminal());
  const std::size_t total = inputs.size();
  std::atomic<std::size_t> done{0}, failed{0};
  auto report = [&] {
    progress.Stage(std::to_string(done) + "/" + std::to_string(total) + " done" +
                   (failed ? " (" + std::to_string(failed) + " failed)" : ""));
  };
  report();
  ParallelFor(total, workers, [&](std::size_t i) {
    std::string error;
    try {
      SilentProgress quiet;
      SaveImage(outputs[i], op(LoadImage(inputs[i]), quiet), options);
    } catch (const CliError& e) {
      error = FileMessage(e.what(), inputs[i], outputs[i]);
    } catch (const std::bad_alloc&) {
      error = inputs[i] + ": out of memory";
    }
    if (!error.empty()) {
      ++failed;
      progress.Message(prefix + ": " + error);
    }
    ++done;
    report();
  });
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s", progress.Seconds());
  const std::size_t written = total - failed;
  std::string summary = prefix + ": " + std::to_string(written) + " of " + std::to_string(total) +
                        " file" + (total == 1 ? "" : "s") + " written to " + dir + " in " +
                        seconds;
  if (failed) summary += "; " + std::to_string(failed) + " failed";
  progress.Message(summary);
  return failed ? kExitUsage : 0;
}

}  // namespace

int RunImageCommand(const Command& command, const Args& args) {
  // Extensions first, so that a bad output name fails before any work.
  if (!args.batch()) OutputFormat(args.Positional(1));
  const Transform op = command.prepare(args);
  return args.batch() ? RunBatch(command, args, op) : RunOne(command, args, op);
}

}  // namespace morvex::cli
