#include "core/chain.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <utility>

namespace morvex::cli {

Step MakeStep(const Command& command, const Args& args) {
  if (command.prepareStep) return command.prepareStep(args);
  return OnImage(command.name, command.prepare(args));
}

Job MakeJob(const Command& command, const Args& args) {
  return {command.name, MakeStep(command, args), command.bytesPerPixel};
}

namespace {

// Whether Args reads `word` as an option (not "-", not a negative number).
bool IsOptionWord(const std::string& word) {
  return word.size() >= 2 && word[0] == '-' &&
         (word[1] == '-' || !(std::isdigit(static_cast<unsigned char>(word[1])) || word[1] == '.'));
}

// The run option an option word names, or null: -y, -j, --name, --name=value.
const OptionDef* RunOption(const std::vector<OptionDef>& runOptions, const std::string& word,
                           bool* valueFollows) {
  std::string name;
  bool inlineValue = false;
  if (word == "-y") {
    name = "overwrite";
  } else if (word.rfind("-j", 0) == 0) {
    name = "jobs";
    inlineValue = word.size() > 2;
  } else if (word.rfind("--", 0) == 0) {
    name = word.substr(2);
    if (const auto eq = name.find('='); eq != std::string::npos) {
      name = name.substr(0, eq);
      inlineValue = true;
    }
  }
  for (const auto& option : runOptions)
    if (option.name == name) {
      *valueFollows = !option.metavar.empty() && !inlineValue;
      return &option;
    }
  return nullptr;
}

bool IsPattern(const std::string& word) { return word.find_first_of("*?[") != std::string::npos; }

// When the words before the first step hold none: what the user most likely
// meant, as an error.
CliError NoStep(const std::vector<std::string>& files, bool batch, const std::string& otherwise) {
  namespace fs = std::filesystem;
  std::error_code ec;
  auto names = [&](const std::string& word) { return word == "-" || fs::exists(word, ec); };
  if (!files.empty() && !names(files[0]) && files[0].find_first_of("./") == std::string::npos)
    return CliError("unknown command '" + files[0] + "' (see morvex --help)");
  // IN OUT STEP, or INPUT... (existing files or patterns) STEP.
  if (!batch && files.size() > 2)
    return CliError("step 1: unknown command '" + files[2] + "' (see morvex --help)");
  for (std::size_t i = 0; batch && i < files.size(); ++i)
    if (!names(files[i]) && !IsPattern(files[i]))
      return CliError("'" + files[i] + "' is neither a command nor a file (see morvex --help)");
  return CliError(otherwise);
}

}  // namespace

ChainLine ParseChain(const std::vector<Command>& commands, const std::vector<OptionDef>& runOptions,
                     const std::vector<std::string>& words) {
  auto find = [&](const std::string& word) -> const Command* {
    for (const auto& command : commands)
      if (command.name == word) return &command;
    return nullptr;
  };
  const bool batch = std::any_of(words.begin(), words.end(), [](const std::string& word) {
    return word == "--out-dir" || word.rfind("--out-dir=", 0) == 0;
  });
  ChainLine line;
  // The files and run options up to the first step.
  std::vector<std::string> files;
  std::size_t i = 0;
  for (; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "+") throw NoStep(files, batch, "a step is needed before '+' (see morvex --help)");
    if (word == "--help" || word == "-h") {
      line.help = true;
      return line;
    }
    if (IsOptionWord(word)) {
      bool valueFollows = false;
      if (!RunOption(runOptions, word, &valueFollows))
        throw NoStep(files, batch,
                     "option " + word.substr(0, word.find('=')) +
                         " comes before any step: a step's options follow its name (see morvex "
                         "--help)");
      line.runWords.push_back(word);
      if (valueFollows && i + 1 < words.size()) line.runWords.push_back(words[++i]);
      continue;
    }
    if (find(word)) break;
    files.push_back(word);
    line.runWords.push_back(word);
  }
  if (i == words.size())
    throw NoStep(files, batch,
                 "no step after the files (for example: morvex IN OUT blur --sigma 2; see morvex "
                 "--help)");
  // The steps, separated by '+'.
  for (std::size_t number = 1;; ++number) {
    std::string label = "step " + std::to_string(number);
    if (i == words.size() || words[i] == "+")
      throw CliError(label + ": nothing after '+' (give a command)");
    const Command* command = find(words[i]);
    if (!command)
      throw CliError(label + ": unknown command '" + words[i] + "' (see morvex --help)");
    label += " (" + command->name + ")";
    if (!command->steps())
      throw CliError(label + ": " + command->name +
                     " does not turn one image into another, so it cannot be a step");
    std::size_t end = i + 1;
    while (end < words.size() && words[end] != "+") ++end;
    try {
      Args args = Args::ParseStep(
          *command, {words.begin() + std::ptrdiff_t(i + 1), words.begin() + std::ptrdiff_t(end)},
          runOptions, &line.runWords);
      if (args.helpRequested()) {
        line.helpFor = command;
        return line;
      }
      line.links.push_back({command, std::move(args)});
    } catch (const CliError& error) {
      throw CliError(label + ": " + error.what());
    }
    if (end == words.size()) return line;
    i = end + 1;
  }
}

namespace {

std::string StepLabel(std::size_t index, const Command& command) {
  return "step " + std::to_string(index + 1) + " (" + command.name + ")";
}

}  // namespace

Job MakeJob(const std::vector<ChainLine::Link>& links) {
  struct Made {
    std::string label, name;
    Step step;
  };
  auto made = std::make_shared<std::vector<Made>>();
  Job job;
  for (std::size_t i = 0; i < links.size(); ++i) {
    const std::string label = StepLabel(i, *links[i].command);
    try {
      made->push_back({label, links[i].command->name, MakeStep(*links[i].command, links[i].args)});
    } catch (const CliError& error) {
      throw CliError(label + ": " + error.what());
    }
    job.bytesPerPixel = std::max(job.bytesPerPixel, links[i].command->bytesPerPixel);
  }
  const std::string count = std::to_string(links.size());
  job.step = [made, count](Picture& picture, Progress& progress) {
    for (std::size_t i = 0; i < made->size(); ++i) {
      const Made& step = (*made)[i];
      // What the previous step left, as its PNG file would give it back.
      if (i > 0) SettleAsStored(picture);
      progress.Stage("step " + std::to_string(i + 1) + " of " + count + " (" + step.name + ") on " +
                     std::to_string(picture.width()) + "x" + std::to_string(picture.height()) +
                     " pixels");
      try {
        step.step(picture, progress);
      } catch (const CliError& error) {
        throw CliError(step.label + ": " + error.what());
      }
    }
  };
  return job;
}

}  // namespace morvex::cli
