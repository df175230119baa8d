// Many threads calling every export at once on their own planes get exactly
// the bits of single-threaded calls.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/checksum.h"

namespace morvex::test {
namespace {

TEST(Concurrency, ThreadsCallingEveryExportTogetherGetTheSingleThreadedBits) {
  SetChecksumDiagnosticCapture(false);
  const auto& cases = ChecksumCases();
  std::vector<std::uint64_t> reference;
  for (const ChecksumCase& c : cases) reference.push_back(RunChecksumCase(c));

  constexpr int kThreads = 6;
  std::vector<std::vector<std::uint64_t>> got(kThreads, std::vector<std::uint64_t>(cases.size()));
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      // Each thread starts at another export, so different exports overlap.
      for (std::size_t k = 0; k < cases.size(); ++k) {
        const std::size_t i = (k + static_cast<std::size_t>(t) * 5) % cases.size();
        got[static_cast<std::size_t>(t)][i] = RunChecksumCase(cases[i]);
      }
    });
  }
  go.store(true);
  for (auto& th : threads) th.join();
  SetChecksumDiagnosticCapture(true);

  for (int t = 0; t < kThreads; ++t)
    for (std::size_t i = 0; i < cases.size(); ++i)
      EXPECT_EQ(got[static_cast<std::size_t>(t)][i], reference[i])
          << cases[i].name << " in thread " << t;
}

}  // namespace
}  // namespace morvex::test
