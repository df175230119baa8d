// Steps: what a command does to one picture. A command makes its step once
// from its options (reading any files they name), then the step runs on
// every picture of a run, from several threads at once in a batch.
#pragma once

#include <functional>
#include <string>

#include "core/picture.h"
#include "core/progress.h"

namespace morvex::cli {

using Step = std::function<void(Picture&, Progress&)>;

// An operation of library calls on the premultiplied 8-bit image, which it
// may take over; it may report what it is doing through the Progress.
using Transform = std::function<Image(Image, Progress&)>;

// The operation as a step: the picture's pixels are handed over as the
// premultiplied 8-bit image (16-bit samples rounded, with a note naming
// `name`), and the result replaces them; the metadata stays.
Step OnImage(const std::string& name, Transform op);

}  // namespace morvex::cli
