#include "core/args.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace morvex::cli {
namespace {

const OptionDef* FindOption(const Command& command, const std::string& name) {
  for (const auto& option : command.options)
    if (option.name == name) return &option;
  return nullptr;
}

std::string Upper(const std::string& s) {
  std::string out = s;
  for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string JoinChoices(const std::vector<std::string>& choices) {
  std::string out;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (i) out += i + 1 == choices.size() ? " or " : ", ";
    out += choices[i];
  }
  return out;
}

std::string FormatNumber(double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g", v);
  return buffer;
}

}  // namespace

Args Args::Parse(const Command& command, const std::vector<std::string>& words) {
  return ParseWords(command, words, false, nullptr, nullptr);
}

Args Args::ParseStep(const Command& command, const std::vector<std::string>& words,
                     const std::vector<OptionDef>& runOptions, std::vector<std::string>* runWords) {
  return ParseWords(command, words, true, &runOptions, runWords);
}

Args Args::ParseWords(const Command& command, const std::vector<std::string>& words, bool step,
                      const std::vector<OptionDef>* runOptions,
                      std::vector<std::string>* runWords) {
  Args args;
  args.command_ = command.name;
  args.step_ = step;
  args.operands_ = command.operandCount();
  for (const auto& word : words)
    if (word == "--help" || word == "-h") {
      args.help_ = true;
      return args;
    }
  auto findRunOption = [&](const std::string& name) -> const OptionDef* {
    if (!runOptions) return nullptr;
    for (const auto& option : *runOptions)
      if (option.name == name) return &option;
    return nullptr;
  };
  auto known = [&](const std::string& name) {
    return FindOption(command, name) != nullptr || findRunOption(name) != nullptr;
  };
  bool optionsEnded = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-' || word == "-" ||
        (word[1] != '-' && (std::isdigit(static_cast<unsigned char>(word[1])) || word[1] == '.'))) {
      args.positionals_.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    std::string spelled = word;
    // -j N and -jN stand for --jobs N.
    if (word.rfind("-j", 0) == 0 && known("jobs"))
      spelled = word.size() > 2 ? "--jobs=" + word.substr(2) : "--jobs";
    else if (word == "-y" && known("overwrite"))
      spelled = "--overwrite";
    else if (word[1] != '-')
      throw CliError("unknown option '" + word + "' (options are spelled --name)");
    std::string name = spelled.substr(2), value;
    bool inlineValue = false;
    if (const auto eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      inlineValue = true;
    }
    const OptionDef* runDef = findRunOption(name);
    const OptionDef* def = runDef ? runDef : FindOption(command, name);
    if (!def)
      throw CliError("unknown option '--" + name + "' (see morvex " + command.name + " --help)");
    if (def->metavar.empty()) {
      if (inlineValue) throw CliError("option --" + name + " takes no value");
    } else if (!inlineValue) {
      if (i + 1 >= words.size())
        throw CliError("option --" + name + " needs a value (" + def->metavar + ")");
      value = words[++i];
    }
    if (runDef) {
      runWords->push_back("--" + name + (def->metavar.empty() ? "" : "=" + value));
      continue;
    }
    if (args.values_.count(name)) throw CliError("option --" + name + " is given more than once");
    args.values_[name] = value;
  }
  const std::string seeHelp =
      " (see morvex " + (command.name.empty() ? "" : command.name + " ") + "--help)";
  // A step has the command's operands alone; a batch has inputs, then them.
  const std::size_t first = step ? 1 : 0;
  const std::size_t last = step ? command.positionals.size() - 1 : command.positionals.size();
  std::size_t required = 0;
  for (std::size_t k = first; k < last; ++k)
    if (!command.positionals[k].optional) ++required;
  args.batch_ = !step && FindOption(command, "out-dir") && args.values_.count("out-dir");
  if (args.batch_) {
    if (args.positionals_.size() <= args.operands_)
      throw CliError("missing " + Upper(command.positionals[0].name) + seeHelp);
    return args;
  }
  if (args.positionals_.size() < required)
    throw CliError("missing " + Upper(command.positionals[first + args.positionals_.size()].name) +
                   seeHelp);
  if (args.positionals_.size() > last - first)
    throw CliError("unexpected argument '" + args.positionals_[last - first] + "'" +
                   (!step && FindOption(command, "out-dir")
                        ? " (to process several files, give --out-dir DIR)"
                        : ""));
  return args;
}

const std::string& Args::Positional(std::size_t i) const {
  static const std::string empty;
  return i < positionals_.size() ? positionals_[i] : empty;
}

std::vector<std::string> Args::Inputs() const {
  if (step_) return {};
  if (!batch_) return {Positional(0)};
  return {positionals_.begin(), positionals_.end() - std::ptrdiff_t(operands_)};
}

const std::string& Args::Output() const {
  static const std::string empty;
  return step_ || batch_ ? empty : Positional(PositionalCount() - 1);
}

const std::string& Args::Operand(std::size_t i) const {
  if (step_) return Positional(i);
  if (batch_) return Positional(PositionalCount() - operands_ + i);
  return Positional(1 + i);
}

std::string Args::OptionError(const std::string& option, const std::string& what) const {
  return "option --" + option + ": " + what;
}

std::string Args::String(const std::string& option, const std::string& fallback) const {
  const auto it = values_.find(option);
  return it == values_.end() ? fallback : it->second;
}

double Args::Number(const std::string& option, double fallback, double min, double max) const {
  const auto it = values_.find(option);
  if (it == values_.end()) return fallback;
  double v;
  if (!ParseNumber(it->second, &v))
    throw CliError(OptionError(option, "'" + it->second + "' is not a number"));
  if (v < min || v > max)
    throw CliError(OptionError(option, "'" + it->second + "' is out of range (" +
                                           FormatNumber(min) + " to " + FormatNumber(max) + ")"));
  return v;
}

std::int64_t Args::Integer(const std::string& option, std::int64_t fallback, std::int64_t min,
                           std::int64_t max) const {
  const auto it = values_.find(option);
  if (it == values_.end()) return fallback;
  std::int64_t v;
  if (!ParseInteger(it->second, &v))
    throw CliError(OptionError(option, "'" + it->second + "' is not a whole number"));
  if (v < min || v > max)
    throw CliError(OptionError(option, "'" + it->second + "' is out of range (" +
                                           std::to_string(min) + " to " + std::to_string(max) +
                                           ")"));
  return v;
}

std::size_t Args::Choice(const std::string& option, const std::vector<std::string>& choices,
                         std::size_t fallback) const {
  const auto it = values_.find(option);
  if (it == values_.end()) return fallback;
  for (std::size_t i = 0; i < choices.size(); ++i)
    if (choices[i] == it->second) return i;
  throw CliError(
      OptionError(option, "unknown value '" + it->second + "' (use " + JoinChoices(choices) + ")"));
}

bool ParseNumber(const std::string& text, double* value) {
  const std::string t = Trim(text);
  if (t.empty()) return false;
  // Only plain decimal notation: no hexadecimal floats, no "inf" or "nan".
  for (char c : t)
    if (!std::isdigit(static_cast<unsigned char>(c)) && !std::strchr("+-.eE", c)) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || errno == ERANGE || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool ParseInteger(const std::string& text, std::int64_t* value) {
  const std::string t = Trim(text);
  if (t.empty()) return false;
  std::size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
  if (i == t.size()) return false;
  for (std::size_t k = i; k < t.size(); ++k)
    if (!std::isdigit(static_cast<unsigned char>(t[k]))) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(t.c_str(), &end, 10);
  if (end != t.c_str() + t.size() || errno == ERANGE) return false;
  *value = v;
  return true;
}

bool ParseSize(const std::string& text, std::int64_t* width, std::int64_t* height) {
  const auto sep = text.find_first_of("x,X");
  if (sep == std::string::npos) return false;
  return ParseInteger(text.substr(0, sep), width) && ParseInteger(text.substr(sep + 1), height);
}

bool ParseNumberList(const std::string& text, std::size_t count, std::vector<double>* values) {
  values->clear();
  std::size_t start = 0;
  while (true) {
    const auto comma = text.find(',', start);
    double v;
    if (!ParseNumber(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), &v))
      return false;
    values->push_back(v);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return values->size() == count;
}

bool ParseColor(const std::string& text, std::uint8_t rgba[4]) {
  static const struct {
    const char* name;
    std::uint8_t rgba[4];
  } kNamed[] = {
      {"black", {0, 0, 0, 255}},   {"white", {255, 255, 255, 255}}, {"red", {255, 0, 0, 255}},
      {"green", {0, 255, 0, 255}}, {"blue", {0, 0, 255, 255}},      {"transparent", {0, 0, 0, 0}},
  };
  for (const auto& named : kNamed)
    if (text == named.name) {
      std::memcpy(rgba, named.rgba, 4);
      return true;
    }
  std::string hex = text;
  if (!hex.empty() && hex[0] == '#') hex.erase(0, 1);
  if (hex.size() != 6 && hex.size() != 8) return false;
  for (char c : hex)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  for (int k = 0; k < 4; ++k)
    rgba[k] =
        k * 2 < static_cast<int>(hex.size())
            ? static_cast<std::uint8_t>(std::strtoul(hex.substr(k * 2, 2).c_str(), nullptr, 16))
            : 255;
  return true;
}

std::string ReadTextFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw CliError("cannot read " + path + ": " + std::strerror(errno));
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) throw CliError("cannot read " + path + ": read error");
  return text;
}

std::string CommandHelp(const Command& command) {
  std::string usage = "usage: morvex " + command.name;
  for (const auto& p : command.positionals)
    usage += p.optional ? " [" + Upper(p.name) + "]" : " " + Upper(p.name);
  if (!command.options.empty()) usage += " [options]";
  if (command.steps()) {
    usage += "\n       morvex " + command.name + " " + Upper(command.positionals[0].name) + "...";
    for (std::size_t k = 1; k + 1 < command.positionals.size(); ++k)
      usage += " " + Upper(command.positionals[k].name);
    usage += " --out-dir DIR [-j N] [options]";
    usage += "\n       morvex INPUT OUTPUT " + command.name;
    for (std::size_t k = 1; k + 1 < command.positionals.size(); ++k)
      usage += " " + Upper(command.positionals[k].name);
    usage += " [options] [+ STEP [options]]...   (a chain: see 'morvex --help')";
  }
  std::string out = usage + "\n\n" + command.summary + "\n";
  if (!command.positionals.empty()) {
    out += "\narguments:\n";
    for (const auto& p : command.positionals) {
      std::string line = "  " + Upper(p.name);
      line.resize(std::max<std::size_t>(line.size() + 2, 26), ' ');
      out += line + p.help + "\n";
    }
  }
  out += "\noptions:\n";
  for (const auto& o : command.options) {
    std::string line = "  --" + o.name + (o.metavar.empty() ? "" : " " + o.metavar);
    line.resize(std::max<std::size_t>(line.size() + 2, 26), ' ');
    out += line + o.help + "\n";
  }
  out += "  --help                  show this help\n";
  if (!command.notes.empty())
    out += "\n" + command.notes + (command.notes.back() == '\n' ? "" : "\n");
  return out;
}

}  // namespace morvex::cli
