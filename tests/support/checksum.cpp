#include "support/checksum.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace morvex::test {
namespace {

std::vector<ChecksumCase>& Registry() {
  static std::vector<ChecksumCase> cases;
  return cases;
}

std::atomic<bool> g_captureDiagnostics{true};

std::uint64_t SeedOf(const char* name) {
  Hasher h;
  h.Bytes(name, std::strlen(name));
  return h.value();
}

// With MORVEX_CHECKSUM_TRACE set, every call's running hash is printed, so
// tools/checksum_diff can find the first call on which two builds disagree.
bool TraceCalls() {
  static const bool trace = std::getenv("MORVEX_CHECKSUM_TRACE") != nullptr;
  return trace;
}

}  // namespace

int RegisterChecksumCase(const ChecksumCase& entry) {
  Registry().push_back(entry);
  return static_cast<int>(Registry().size());
}

const std::vector<ChecksumCase>& ChecksumCases() { return Registry(); }

std::uint64_t RunChecksumCase(const ChecksumCase& entry, const char* pathLabel) {
  const std::uint64_t seed = SeedOf(entry.name);
  Rng rng(seed);
  Hasher hash;
  for (int i = 0; i < entry.calls; ++i) {
    entry.run(rng, hash);
    if (TraceCalls())
      std::printf("checksum-trace %s %s seed=%016" PRIx64 " call=%d %016" PRIx64 "\n", entry.name,
                  pathLabel, seed, i, hash.value());
  }
  return hash.value();
}

void SetChecksumDiagnosticCapture(bool on) { g_captureDiagnostics.store(on); }

CaseDiagnostics::CaseDiagnostics() {
  if (g_captureDiagnostics.load()) capture_.emplace();
}

std::string CaseDiagnostics::Take() { return capture_ ? capture_->Take() : std::string(); }

}  // namespace morvex::test
