#include <utility>

#include "core/ops.h"

#include "core/args.h"
#include "morvex/native.h"

namespace morvex::cli {

const char* const kChannelNames[4] = {"blue", "green", "red", "alpha"};

void RequireDone(std::uint8_t result, const char* exportName, const std::string& why) {
  if (!result) throw CliError(std::string(exportName) + " refused the call (" + why + ")");
}

Image FlipVertical(const Image& image) {
  Image out(image.width, image.height);
  if (image.height == 0) return out;
  BitmapCopy(out.Row(0), out.stride(), image.Row(image.height - 1), -image.stride(), 4, image.width,
             image.height);
  return out;
}

Image CopyChannel(Image image, int from, int to) {
  // In place: each byte of channel `from` is read before channel `to` is written.
  Image out = std::move(image);
  ChannelCopy(out.pixels.data() + to, out.stride(), 4, out.width, out.height,
              out.pixels.data() + from, out.stride(), 4);
  return out;
}

Image CopyChannelFrom(Image image, int to, const Image& source, int from) {
  Image out = std::move(image);
  ChannelCopy(out.pixels.data() + to, out.stride(), 4, out.width, out.height,
              source.pixels.data() + from, source.stride(), 4);
  return out;
}

void Place(Image& canvas, const Image& tile, std::int32_t x, std::int32_t y) {
  BitmapCopy(canvas.At(x, y), canvas.stride(), tile.pixels.data(), tile.stride(), 4, tile.width,
             tile.height);
}

}  // namespace morvex::cli
