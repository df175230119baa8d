#include "core/parallel.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace morvex::cli {

int AvailableCores() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

void ParallelFor(std::size_t count, int threads, const std::function<void(std::size_t)>& body) {
  const std::size_t workers = std::min<std::size_t>(count, std::size_t(std::max(threads, 1)));
  if (workers <= 1) {
    for (std::size_t i = 0; i < count; ++i) body(i);
    return;
  }
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr error;
  std::mutex errorLock;
  auto work = [&] {
    for (std::size_t i; !failed && (i = next++) < count;) {
      try {
        body(i);
      } catch (...) {
        std::lock_guard<std::mutex> lock(errorLock);
        if (!error) error = std::current_exception();
        failed = true;
      }
    }
  };
  std::vector<std::thread> pool;
  for (std::size_t t = 1; t < workers; ++t) pool.emplace_back(work);
  work();
  for (auto& thread : pool) thread.join();
  if (error) std::rethrow_exception(error);
}

namespace {

std::atomic<int> pictureThreads{1};

}  // namespace

int PictureThreads() { return pictureThreads.load(std::memory_order_relaxed); }

void SetPictureThreads(int threads) {
  pictureThreads.store(std::max(threads, 1), std::memory_order_relaxed);
}

void ParallelRows(std::int32_t rows, const std::function<void(std::int32_t, std::int32_t)>& body) {
  // A few bands a thread, so that uneven rows even out; none thinner than 16 rows.
  const std::int32_t threads = PictureThreads();
  const std::int32_t bands = std::max(1, std::min(threads * 4, rows / 16));
  ParallelFor(std::size_t(bands), threads, [&](std::size_t band) {
    const auto b = static_cast<std::int32_t>(band);
    body(std::int32_t(std::int64_t(rows) * b / bands),
         std::int32_t(std::int64_t(rows) * (b + 1) / bands));
  });
}

}  // namespace morvex::cli
