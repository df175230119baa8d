#include "core/step.h"

#include <utility>

namespace morvex::cli {

Step OnImage(const std::string& name, Transform op) {
  return [name, op = std::move(op)](Picture& picture, Progress& progress) {
    Image image = TakeImage(picture, name + " works on 8-bit pixels");
    PutImage(picture, op(std::move(image), progress));
  };
}

}  // namespace morvex::cli
