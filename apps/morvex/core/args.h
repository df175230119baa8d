// Command-line plumbing of the morvex tool: subcommand descriptions, option
// parsing with messages a user can act on, and value parsers.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/step.h"

namespace morvex::cli {

// Exit status for every error the user can act on (bad input, bad option,
// unwritable output, a refusal by the library).
constexpr int kExitUsage = 2;

// A one-line message for the user; main prints it after "morvex COMMAND: "
// and exits with kExitUsage.
class CliError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OptionDef {
  std::string name;     // without the leading "--"
  std::string metavar;  // empty: a flag that takes no value
  std::string help;     // one line; mention the default and unit here
};

struct ArgumentDef {
  std::string name;  // shown in upper case in the usage line
  std::string help;
  bool optional = false;
};

class Args;

struct Command {
  std::string name;
  std::string summary;  // one line for the global help
  std::vector<ArgumentDef> positionals;
  std::vector<OptionDef> options;
  std::string notes;  // free text after the option list (may be empty)
  int (*run)(const Args& args) = nullptr;
  // Commands whose arguments are INPUT [OPERAND...] OUTPUT have `prepare` (an
  // operation on the library's 8-bit image) or `prepareStep` (a step on the
  // picture as stored) instead of `run`: it reads the options and operands
  // (and any files they name) before an image is read, and returns what to
  // do to it. The tool then runs it on one file, on a batch of files with
  // --out-dir on every core (runner.h), or as one step of a chain (chain.h).
  Transform (*prepare)(const Args& args) = nullptr;
  Step (*prepareStep)(const Args& args) = nullptr;
  // About how many bytes a pixel the step needs at its peak, beyond the
  // picture itself (see runner.cpp), for fitting a batch into memory.
  double bytesPerPixel = 8;
  bool steps() const { return prepare != nullptr || prepareStep != nullptr; }
  // The positional arguments between INPUT and OUTPUT of a command made of
  // steps (composite's OVERLAY, blend's OTHER): the files a step reads itself.
  std::size_t operandCount() const { return steps() ? positionals.size() - 2 : 0; }
};

// The parsed command line of one subcommand, or of one step of a chain.
class Args {
 public:
  // Parses the words after the command's name; throws CliError on an unknown
  // option, a missing option value, or a wrong number of positional
  // arguments. `helpRequested` is set (and nothing validated) when --help or
  // -h appears.
  static Args Parse(const Command& command, const std::vector<std::string>& words);
  // The words of one step of a chain: the command's operands and options,
  // without INPUT and OUTPUT. Options named in `runOptions` (those of the
  // whole run: -y, --quality, ...) are not kept but appended to `runWords`,
  // spelled --name or --name=value.
  static Args ParseStep(const Command& command, const std::vector<std::string>& words,
                        const std::vector<OptionDef>& runOptions,
                        std::vector<std::string>* runWords);

  bool helpRequested() const { return help_; }
  // A batch: the command takes INPUT OUTPUT and --out-dir is given, so the
  // positional arguments are inputs, but for the command's operands, which
  // come last.
  bool batch() const { return batch_; }
  const std::string& commandName() const { return command_; }

  // Positional argument i, or "" when an optional one is absent.
  const std::string& Positional(std::size_t i) const;
  std::size_t PositionalCount() const { return positionals_.size(); }
  // For commands made of steps: the input files (one, or a batch's; none for
  // a step), the output file (a single run's; "" otherwise), and operand i.
  std::vector<std::string> Inputs() const;
  const std::string& Output() const;
  const std::string& Operand(std::size_t i) const;

  bool Has(const std::string& option) const { return values_.count(option) != 0; }
  bool Flag(const std::string& option) const { return Has(option); }
  std::string String(const std::string& option, const std::string& fallback) const;
  // A finite decimal number within [min, max].
  double Number(const std::string& option, double fallback, double min, double max) const;
  // A whole number within [min, max].
  std::int64_t Integer(const std::string& option, std::int64_t fallback, std::int64_t min,
                       std::int64_t max) const;
  // One of `choices`; returns its index.
  std::size_t Choice(const std::string& option, const std::vector<std::string>& choices,
                     std::size_t fallback) const;

  // "option --x: WHAT", the form of every message about an option.
  std::string OptionError(const std::string& option, const std::string& what) const;

 private:
  static Args ParseWords(const Command& command, const std::vector<std::string>& words,
                         bool step, const std::vector<OptionDef>* runOptions,
                         std::vector<std::string>* runWords);

  std::string command_;
  bool help_ = false;
  bool batch_ = false;
  bool step_ = false;
  std::size_t operands_ = 0;
  std::vector<std::string> positionals_;
  std::map<std::string, std::string> values_;
};

// Value parsers shared by options and table files. Each returns false when the
// text is not a complete, finite value of its kind.
bool ParseNumber(const std::string& text, double* value);
bool ParseInteger(const std::string& text, std::int64_t* value);
// "W,H" or "WxH".
bool ParseSize(const std::string& text, std::int64_t* width, std::int64_t* height);
// Comma-separated numbers, exactly `count` of them.
bool ParseNumberList(const std::string& text, std::size_t count, std::vector<double>* values);
// "#RRGGBB", "#RRGGBBAA" (also without '#') or a few names (black, white,
// red, green, blue, transparent). Straight (not premultiplied) RGBA.
bool ParseColor(const std::string& text, std::uint8_t rgba[4]);

// The whole of a text file; throws "cannot read PATH: REASON".
std::string ReadTextFile(const std::string& path);

// Help text of one subcommand (usage line, arguments, options, notes).
std::string CommandHelp(const Command& command);

}  // namespace morvex::cli
