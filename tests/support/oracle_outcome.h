// What a slow reference version of an export gives back: the export's result
// and, for refusals, the diagnostic line it must write.
#pragma once

#include <cstdint>
#include <string>

namespace morvex::oracle {

struct Outcome {
  std::int64_t result = 1;
  std::string diagnostic;  // the line written to the debugger output, if any
};

}  // namespace morvex::oracle
