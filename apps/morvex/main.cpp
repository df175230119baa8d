// morvex: a command-line host of the Morvex.Native library.
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "core/args.h"
#include "core/chain.h"
#include "commands/commands.h"
#include "runner.h"

using namespace morvex::cli;

namespace {

std::vector<Command> AllCommands() {
  std::vector<Command> commands;
  AddBasicCommands(commands);
  AddGeometryCommands(commands);
  AddBlurCommands(commands);
  AddBlendCommands(commands);
  AddToneCommands(commands);
  AddPixelCommands(commands);
  AddFilterCommands(commands);
  AddMaskCommands(commands);
  AddDemoCommand(commands);
  AddPathsCommand(commands);
  // The options shared by every command that writes images, and by every
  // image-to-image command.
  for (auto& command : commands) {
    bool writes = command.steps();
    for (const auto& p : command.positionals) writes = writes || p.name == "output";
    if (writes)
      for (auto& option : SaveOptionDefs()) command.options.push_back(option);
    if (command.steps())
      for (auto& option : PictureOptionDefs()) command.options.push_back(option);
    if (command.steps())
      for (auto& option : BatchOptionDefs()) command.options.push_back(option);
  }
  return commands;
}

// To standard output when asked for, to standard error as the answer to a
// command line without a command.
void PrintGlobalHelp(const std::vector<Command>& commands, std::FILE* to) {
  std::fprintf(to,
               "usage: morvex COMMAND [ARGUMENTS] [options]\n"
               "       morvex INPUT OUTPUT STEP [options] [+ STEP [options]]...\n"
               "       morvex INPUT... --out-dir DIR STEP [options] [+ STEP [options]]...\n"
               "\n"
               "Image operations of the Morvex.Native library on PNG and JPEG files.\n"
               "\n"
               "commands:\n");
  for (const auto& command : commands) {
    std::string name = "  " + command.name;
    name.resize(name.size() < 18 ? 18 : name.size() + 2, ' ');
    std::fprintf(to, "%s%s\n", name.c_str(), command.summary.c_str());
  }
  std::fprintf(to, "\nRun 'morvex COMMAND --help' for the arguments of a command.\n\n%s\n%s",
               kChainNote, kPixelFormatNote);
}

}  // namespace

int main(int argc, char** argv) {
  // A reader of standard output that goes away makes writing it an error
  // with a message, not a silent end.
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<Command> commands = AllCommands();
  if (argc < 2) {
    PrintGlobalHelp(commands, stderr);
    return kExitUsage;
  }
  std::string name = argv[1];
  if (name == "--version") name = "paths";
  if (name == "--help" || name == "-h" || name == "help") {
    if (argc > 2 && name == "help") {
      for (const auto& command : commands)
        if (command.name == argv[2]) {
          std::fputs(CommandHelp(command).c_str(), stdout);
          return 0;
        }
      std::fprintf(stderr, "morvex: unknown command '%s' (see morvex --help)\n", argv[2]);
      return kExitUsage;
    }
    PrintGlobalHelp(commands, stdout);
    return 0;
  }
  const Command* command = nullptr;
  for (const auto& c : commands)
    if (c.name == name) command = &c;
  // Files first: a chain (or a single step) on them.
  if (!command && (name.size() < 2 || name[0] != '-')) {
    try {
      const ChainLine line =
          ParseChain(commands, RunOptionDefs(), std::vector<std::string>(argv + 1, argv + argc));
      if (line.help) {
        PrintGlobalHelp(commands, stdout);
        return 0;
      }
      if (line.helpFor) {
        std::fputs(CommandHelp(*line.helpFor).c_str(), stdout);
        return 0;
      }
      return RunChain(line);
    } catch (const CliError& error) {
      std::fprintf(stderr, "morvex: %s\n", error.what());
      return kExitUsage;
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "morvex: out of memory\n");
      return 1;
    }
  }
  if (!command) {
    std::fprintf(stderr, "morvex: unknown command '%s' (see morvex --help)\n", name.c_str());
    return kExitUsage;
  }
  try {
    const Args args = Args::Parse(*command, std::vector<std::string>(argv + 2, argv + argc));
    if (args.helpRequested()) {
      std::fputs(CommandHelp(*command).c_str(), stdout);
      return 0;
    }
    return command->steps() ? RunImageCommand(*command, args) : command->run(args);
  } catch (const CliError& error) {
    std::fprintf(stderr, "morvex %s: %s\n", name.c_str(), error.what());
    return kExitUsage;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "morvex %s: out of memory\n", name.c_str());
    return 1;
  }
}
