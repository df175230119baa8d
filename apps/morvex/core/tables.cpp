#include "core/tables.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "core/args.h"
#include "core/image.h"

namespace morvex::cli {
namespace {

struct Point {
  int in, out;
};

// The straight lines through `points` (sorted by input) at every input value.
void FillCurve(const std::vector<Point>& points, ChannelTable& table, int channel) {
  for (int i = 0; i < 256; ++i) {
    int value;
    if (i <= points.front().in) {
      value = points.front().out;
    } else if (i >= points.back().in) {
      value = points.back().out;
    } else {
      std::size_t k = 1;
      while (points[k].in < i) ++k;
      const Point a = points[k - 1], b = points[k];
      const int span = b.in - a.in;
      // a.out * (b.in - i) + b.out * (i - a.in) is never negative.
      const int num = a.out * (b.in - i) + b.out * (i - a.in);
      value = (2 * num + span) / (2 * span);
    }
    table[i * 4 + channel] = static_cast<std::uint8_t>(value);
  }
}

}  // namespace

ChannelTable IdentityTable() {
  ChannelTable table{};
  for (int i = 0; i < 256; ++i)
    for (int k = 0; k < 4; ++k) table[i * 4 + k] = static_cast<std::uint8_t>(i);
  return table;
}

ChannelTable ParseCurveTable(const std::string& text, const std::string& sourceName) {
  static const struct {
    const char* name;
    unsigned bits;
  } kGroups[] = {{"rgb", kColorBits}, {"red", kRedBit},     {"green", kGreenBit},
                 {"blue", kBlueBit},  {"alpha", kAlphaBit}, {"all", kColorBits | kAlphaBit}};
  std::vector<Point> points[4];
  std::istringstream lines(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    const std::string where = sourceName + ":" + std::to_string(lineNumber) + ": ";
    if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::vector<std::string> fields;
    for (std::string w; words >> w;) fields.push_back(w);
    if (fields.empty()) continue;
    unsigned bits = kColorBits;
    std::size_t first = 0;
    if (fields.size() == 3) {
      bits = 0;
      for (const auto& group : kGroups)
        if (fields[0] == group.name) bits = group.bits;
      if (!bits)
        throw CliError(where + "unknown channel '" + fields[0] +
                       "' (use rgb, red, green, blue, alpha or all)");
      first = 1;
    } else if (fields.size() != 2) {
      throw CliError(where + "expected '[CHANNELS] INPUT OUTPUT'");
    }
    int values[2];
    for (int k = 0; k < 2; ++k) {
      std::int64_t v;
      if (!ParseInteger(fields[first + k], &v))
        throw CliError(where + "'" + fields[first + k] + "' is not a whole number");
      if (v < 0 || v > 255)
        throw CliError(where + "'" + fields[first + k] + "' is out of range (0 to 255)");
      values[k] = static_cast<int>(v);
    }
    for (int channel = 0; channel < 4; ++channel) {
      if (!(bits >> channel & 1)) continue;
      for (const auto& p : points[channel])
        if (p.in == values[0])
          throw CliError(where + "input " + std::to_string(values[0]) +
                         " is given twice for the same channel");
      points[channel].push_back({values[0], values[1]});
    }
  }
  ChannelTable table = IdentityTable();
  bool any = false;
  for (int channel = 0; channel < 4; ++channel) {
    auto& p = points[channel];
    if (p.empty()) continue;
    any = true;
    std::sort(p.begin(), p.end(), [](Point a, Point b) { return a.in < b.in; });
    FillCurve(p, table, channel);
  }
  if (!any) throw CliError(sourceName + ": no curve points");
  return table;
}

ChannelTable LevelsTable(const Levels& levels, unsigned channels) {
  ChannelTable table = IdentityTable();
  const double range = levels.inWhite - levels.inBlack;
  for (int i = 0; i < 256; ++i) {
    double t = (i - levels.inBlack) / range;
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    if (levels.gamma != 1) t = std::pow(t, 1.0 / levels.gamma);
    double out = std::floor(levels.outBlack + (levels.outWhite - levels.outBlack) * t + 0.5);
    out = out < 0 ? 0 : out > 255 ? 255 : out;
    for (int channel = 0; channel < 4; ++channel)
      if (channels >> channel & 1) table[i * 4 + channel] = static_cast<std::uint8_t>(out);
  }
  return table;
}

PixelTable GradientTable(const std::uint8_t from[4], const std::uint8_t to[4]) {
  PixelTable table{};
  for (int i = 0; i < 256; ++i) {
    int rgba[4];
    for (int k = 0; k < 4; ++k) rgba[k] = (from[k] * (255 - i) * 2 + to[k] * i * 2 + 255) / 510;
    std::uint8_t* entry = &table[i * 4];
    entry[0] = PremultiplyChannel(rgba[2], rgba[3], 255);
    entry[1] = PremultiplyChannel(rgba[1], rgba[3], 255);
    entry[2] = PremultiplyChannel(rgba[0], rgba[3], 255);
    entry[3] = static_cast<std::uint8_t>(rgba[3]);
  }
  return table;
}

}  // namespace morvex::cli
