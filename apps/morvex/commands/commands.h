// Registration of the subcommands, one function per group of exports, and
// the helpers every subcommand uses for its input and output files.
#pragma once

#include <string>
#include <vector>

#include "core/args.h"
#include "core/image.h"
#include "core/progress.h"

namespace morvex::cli {

void AddBasicCommands(std::vector<Command>& commands);   // info, copy-channel
// flip, mirror, rotate, transpose, transverse, crop
void AddGeometryCommands(std::vector<Command>& commands);
void AddToneCommands(std::vector<Command>& commands);    // desaturate, hsl, histogram
void AddBlurCommands(std::vector<Command>& commands);    // blur, blur-alpha
void AddFilterCommands(std::vector<Command>& commands);  // blur3x3, edges, radial-blur
void AddPixelCommands(std::vector<Command>& commands);   // lut, levels, gradient-map
void AddBlendCommands(std::vector<Command>& commands);   // composite, blend, multiply
void AddMaskCommands(std::vector<Command>& commands);    // noise, scale-mask, shear
void AddDemoCommand(std::vector<Command>& commands);
void AddPathsCommand(std::vector<Command>& commands);  // paths (also --version)

// The global help's paragraph on files, pixels, metadata, depth and existing
// outputs, and the line every command's help ends with that points to it.
extern const char* const kPixelFormatNote;
// The global help's paragraph on chains, pipes and batches.
extern const char* const kChainNote;
extern const char* const kFilesNote;

// Loads positional argument `index` as an image.
Image InputImage(const Args& args, std::size_t index);
// Saves `image` to positional argument `index`, with the save options.
void OutputImage(const Args& args, std::size_t index, const Image& image);

// A channel name option (blue, green, red, alpha) as the library's index.
int ChannelOption(const Args& args, const std::string& option, int fallback);

}  // namespace morvex::cli
