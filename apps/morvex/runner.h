// Running the commands made of steps: one INPUT to one OUTPUT, or a batch of
// inputs into --out-dir on every core within the memory available, with
// progress on a terminal; and the options every command that writes images
// shares.
#pragma once

#include <string>
#include <vector>

#include "core/args.h"
#include "files/image_io.h"

namespace morvex::cli {

// --compression, --quality, --background and -y / --overwrite, for every
// command writing images.
std::vector<OptionDef> SaveOptionDefs();
// --strip and --auto-orient, for the commands made of steps.
std::vector<OptionDef> PictureOptionDefs();
// --out-dir and --jobs (-j), for commands that take batches.
std::vector<OptionDef> BatchOptionDefs();

// The save options of a command line that writes `outputs`; a format option
// that applies to none of them is an error.
SaveOptions ParseSaveOptions(const Args& args, const std::vector<std::string>& outputs,
                             int threads);
// --jobs, or the number of cores.
int JobsOption(const Args& args);
// Stops, naming the first, when any of `outputs` exists and -y was not given.
void CheckOverwrite(const Args& args, const std::vector<std::string>& outputs);

// The step of a command made of steps, from its options.
Step MakeStep(const Command& command, const Args& args);
// Runs such a command on the files its arguments name.
int RunImageCommand(const Command& command, const Args& args);

}  // namespace morvex::cli
