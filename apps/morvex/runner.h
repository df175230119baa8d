// Running the commands made of steps, and chains of them: one INPUT to one
// OUTPUT (either may be "-", a pipe), or a batch of inputs into --out-dir on
// every core within the memory available, with progress on a terminal; and
// the options every run that writes images shares.
#pragma once

#include <string>
#include <vector>

#include "core/args.h"
#include "core/chain.h"
#include "files/image_io.h"

namespace morvex::cli {

// --compression, --quality, --background, --format and -y / --overwrite,
// for every command writing images.
std::vector<OptionDef> SaveOptionDefs();
// --strip and --auto-orient, for the commands made of steps.
std::vector<OptionDef> PictureOptionDefs();
// --out-dir and --jobs (-j), for commands that take batches.
std::vector<OptionDef> BatchOptionDefs();
// All three: the options of a whole run, which a chain's steps hand on.
std::vector<OptionDef> RunOptionDefs();

// The save options of a command line that writes `outputs`; a format option
// that applies to none of them is an error.
SaveOptions ParseSaveOptions(const Args& args, const std::vector<std::string>& outputs,
                             int threads);
// --jobs, or the number of cores.
int JobsOption(const Args& args);
// Stops, naming the first, when any of `outputs` exists and -y was not given.
void CheckOverwrite(const Args& args, const std::vector<std::string>& outputs);
// Checks a single output before any work: its format (from --format or its
// name; standard output needs --format and no terminal) and, without -y,
// that it does not exist.
void CheckOutput(const Args& args, const std::string& output);

// Runs a command made of steps on the files its arguments name.
int RunImageCommand(const Command& command, const Args& args);
// Runs a parsed chain (ParseChain) the same way.
int RunChain(const ChainLine& line);

}  // namespace morvex::cli
