#include "core/progress.h"

#include <unistd.h>

#include <cstdio>

namespace morvex::cli {

Progress::Progress(std::string prefix, bool enabled)
    : prefix_(std::move(prefix)), enabled_(enabled), start_(std::chrono::steady_clock::now()) {
  if (!enabled_) return;
  ticker_ = std::thread([this] {
    std::unique_lock<std::mutex> hold(lock_);
    while (!stopping_) {
      wake_.wait_for(hold, std::chrono::milliseconds(500));
      if (!stopping_ && !stage_.empty()) DrawLocked();
    }
  });
}

Progress::~Progress() {
  if (!enabled_) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
    ClearLocked();
  }
  wake_.notify_all();
  ticker_.join();
}

bool Progress::StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

double Progress::Seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void Progress::Stage(const std::string& text) {
  if (!enabled_) return;
  std::lock_guard<std::mutex> hold(lock_);
  stage_ = text;
  DrawLocked();
}

void Progress::Message(const std::string& line) {
  std::lock_guard<std::mutex> hold(lock_);
  ClearLocked();
  std::fprintf(stderr, "%s\n", line.c_str());
  if (enabled_ && !stage_.empty()) DrawLocked();
}

void Progress::DrawLocked() {
  // Carriage return, the line, erase to its end.
  std::fprintf(stderr, "\r%s: %s, %.1f s\x1b[K", prefix_.c_str(), stage_.c_str(), Seconds());
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::ClearLocked() {
  if (!drawn_) return;
  std::fputs("\r\x1b[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace morvex::cli
