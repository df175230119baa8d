#include "frame/diagnostics.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <unistd.h>
#endif

namespace morvex {

void WriteDiagnostic(const char* message) {
#if defined(_WIN32)
  OutputDebugStringA(message);
#else
  // Every message is a short literal; longer text is cut rather than split
  // over several writes.
  char line[256];
  std::size_t length = std::strlen(message);
  if (length > sizeof line - 1) length = sizeof line - 1;
  std::memcpy(line, message, length);
  line[length] = '\n';
  ssize_t written;
  do {
    written = ::write(STDERR_FILENO, line, length + 1);
  } while (written < 0 && errno == EINTR);
#endif
}

}  // namespace morvex
