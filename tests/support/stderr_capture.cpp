#include "support/stderr_capture.h"

#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>

#include <atomic>
#else
#include <unistd.h>
#endif

namespace morvex::test {

#if !defined(_WIN32)
StderrCapture::StderrCapture() {
  std::fflush(stderr);
  FILE* tmp = std::tmpfile();
  if (tmp == nullptr) std::abort();
  fileFd_ = dup(fileno(tmp));
  std::fclose(tmp);
  savedFd_ = dup(STDERR_FILENO);
  dup2(fileFd_, STDERR_FILENO);
  active_ = true;
}

StderrCapture::~StderrCapture() {
  Take();
  close(fileFd_);
  close(savedFd_);
}

std::string StderrCapture::Take() {
  if (active_) {
    std::fflush(stderr);
    dup2(savedFd_, STDERR_FILENO);
    active_ = false;
  }
  std::string text;
  char chunk[512];
  lseek(fileFd_, 0, SEEK_SET);
  for (ssize_t n; (n = read(fileFd_, chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<std::size_t>(n));
  return text;
}
#else
namespace {
// OutputDebugStringA raises this continuable exception; a debugger (here the
// capture's vectored handler) takes the text from its parameters.
constexpr DWORD kDebugPrintException = 0x40010006;  // DBG_PRINTEXCEPTION_C
std::atomic<StderrCapture*> g_active{nullptr};
}  // namespace

long __stdcall StderrCapture::OnException(void* pointers) {
  const EXCEPTION_RECORD* record = static_cast<EXCEPTION_POINTERS*>(pointers)->ExceptionRecord;
  StderrCapture* capture = g_active.load();
  if (capture == nullptr || record->ExceptionCode != kDebugPrintException ||
      record->NumberParameters < 2)
    return EXCEPTION_CONTINUE_SEARCH;
  // Parameters: the length including the terminating zero, and the text.
  const auto length = static_cast<std::size_t>(record->ExceptionInformation[0]);
  const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
  capture->messages_.emplace_back(text, length > 0 ? length - 1 : 0);
  return EXCEPTION_CONTINUE_EXECUTION;
}

StderrCapture::StderrCapture() {
  StderrCapture* expected = nullptr;
  if (!g_active.compare_exchange_strong(expected, this)) std::abort();  // one at a time
  handler_ = AddVectoredExceptionHandler(1, reinterpret_cast<PVECTORED_EXCEPTION_HANDLER>(&OnException));
  if (handler_ == nullptr) std::abort();
  active_ = true;
}

StderrCapture::~StderrCapture() { Stop(); }

void StderrCapture::Stop() {
  if (!active_) return;
  RemoveVectoredExceptionHandler(handler_);
  g_active.store(nullptr);
  active_ = false;
}

std::string StderrCapture::Take() {
  Stop();
  std::string text;
  for (const std::string& message : messages_) text += message + "\n";
  return text;
}
#endif

}  // namespace morvex::test
