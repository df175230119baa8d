// Running image-to-image commands: one INPUT to one OUTPUT, or a batch of
// inputs into --out-dir on every core, with progress on a terminal; and the
// options every command that writes images shares.
#pragma once

#include <string>
#include <vector>

#include "core/args.h"
#include "files/image_io.h"

namespace morvex::cli {

// --compression, --quality and --background, for every command writing images.
std::vector<OptionDef> SaveOptionDefs();
// --out-dir and --jobs (-j), for commands with `prepare`.
std::vector<OptionDef> BatchOptionDefs();

// The save options of a command line that writes `outputs`; a format option
// that applies to none of them is an error.
SaveOptions ParseSaveOptions(const Args& args, const std::vector<std::string>& outputs,
                             int threads);
// --jobs, or the number of cores.
int JobsOption(const Args& args);

// Runs a command with `prepare` on the files its arguments name.
int RunImageCommand(const Command& command, const Args& args);

}  // namespace morvex::cli
