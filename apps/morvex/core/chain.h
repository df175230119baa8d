// Chains: several commands' steps applied in order to one picture, read once
// and written once. A step of a chain is its command, made from the same
// options with the same checks; the runner (runner.h) runs a chain exactly
// as it runs one command, on one file, a batch or a pipe.
#pragma once

#include <string>
#include <vector>

#include "core/args.h"

namespace morvex::cli {

// The step of a command made of steps, from its parsed options.
Step MakeStep(const Command& command, const Args& args);

// What a run does to every picture: one command's step, or a chain's steps.
struct Job {
  std::string name;  // the command's name; empty for a chain
  Step step;
  double bytesPerPixel = 0;  // the most any of its steps needs beyond the picture
};

// One command's job.
Job MakeJob(const Command& command, const Args& args);

// A chain's command line, split:
//   FILE... [run options] STEP [OPERAND...] [options] [+ STEP ...]...
// The run's words are the files and the options of the whole run (those in
// `runOptions`, wherever they stand); each link is a step's command and its
// own arguments. Throws CliError naming the step ("step 2 (hsl): ...").
struct ChainLine {
  std::vector<std::string> runWords;
  struct Link {
    const Command* command;
    Args args;
  };
  std::vector<Link> links;
  bool help = false;                 // --help before the steps
  const Command* helpFor = nullptr;  // a step asked for --help
};
ChainLine ParseChain(const std::vector<Command>& commands, const std::vector<OptionDef>& runOptions,
                     const std::vector<std::string>& words);

// The chain's steps, each made from its options (reading the files they
// name), as one job: they run in order, and between two steps the picture is
// settled as a PNG file holds it, so the result is that of the steps run one
// by one through PNG files. A step's failure names it.
Job MakeJob(const std::vector<ChainLine::Link>& links);

}  // namespace morvex::cli
