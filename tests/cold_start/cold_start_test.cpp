// A fresh process whose first calls into the library come from many threads
// at the same moment: the processor probe and the lazily filled tables are
// set up once, race-free, and every thread gets the bits a later
// single-threaded call gets. This program must not call the library before.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/checksum.h"

namespace morvex::test {
namespace {

TEST(ColdStart, FirstCallsFromManyThreadsAtOnceGetTheSameBits) {
  SetChecksumDiagnosticCapture(false);
  const auto& cases = ChecksumCases();
  constexpr int kThreads = 8;
  std::vector<std::vector<std::uint64_t>> got(kThreads, std::vector<std::uint64_t>(cases.size()));
  std::atomic<int> ready{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (!go.load()) {
      }
      for (std::size_t k = 0; k < cases.size(); ++k) {
        const std::size_t i = (k + static_cast<std::size_t>(t) * 3) % cases.size();
        got[static_cast<std::size_t>(t)][i] = RunChecksumCase(cases[i]);
      }
    });
  }
  while (ready.load() < kThreads) std::this_thread::yield();
  go.store(true);
  for (auto& th : threads) th.join();

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::uint64_t reference = RunChecksumCase(cases[i]);
    for (int t = 0; t < kThreads; ++t)
      EXPECT_EQ(got[static_cast<std::size_t>(t)][i], reference) << cases[i].name << " in thread " << t;
  }
  SetChecksumDiagnosticCapture(true);
}

}  // namespace
}  // namespace morvex::test
