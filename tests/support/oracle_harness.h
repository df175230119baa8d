// The shared test harnesses of every family:
// - MatchesOracle runs an export against its slow reference on identical host
//   buffers, on every processor path and under every host rounding mode, and
//   compares the whole buffers (guard bytes included), the result, the
//   diagnostic line and the thread's floating-point state;
// - ExpectPathsAgree runs one seeded computation on every path and compares
//   every path's bytes with the scalar path's.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "frame/fpu.h"
#include "support/cpu_paths.h"
#include "support/fp_state.h"
#include "support/oracle_outcome.h"
#include "support/random.h"
#include "support/stderr_capture.h"
#include "support/test_plane.h"

namespace morvex::test {

// One host buffer of a case: a fenced plane of `rows` rows of `rowBytes`.
struct BufferLayout {
  std::int32_t rowBytes;
  std::int32_t rows;
  PlaneShape shape{0, false};
};

using Buffers = std::vector<std::unique_ptr<TestPlane>>;

// Fills freshly made buffers; must give the same bytes every time it runs.
using Prepare = std::function<void(Buffers&)>;
using Run = std::function<oracle::Outcome(Buffers&)>;

inline Buffers MakeBuffers(const std::vector<BufferLayout>& layouts, const Prepare& prepare) {
  Buffers buffers;
  for (const BufferLayout& s : layouts)
    buffers.push_back(std::make_unique<TestPlane>(s.rowBytes, s.rows, s.shape.padding, s.shape.bottomUp));
  prepare(buffers);
  return buffers;
}

// Random bytes in every buffer from a seed.
inline Prepare RandomBytes(std::uint64_t seed) {
  return [seed](Buffers& buffers) {
    Rng rng(seed);
    for (auto& b : buffers) b->FillRandom(rng);
  };
}

// How the reference runs: once in the default floating-point state (exports
// that set their own rounding), or in each host rounding mode the export runs
// in (exports whose arithmetic follows the caller's mode).
enum class ReferenceRounding { kDefault, kHostMode };

// Compares the export with its reference; returns false (after one failure
// report naming the first differing byte) when they disagree anywhere.
inline bool MatchesOracle(const std::string& what, const std::vector<BufferLayout>& layouts,
                          const Prepare& prepare, const Run& exported, const Run& reference,
                          ReferenceRounding referenceRounding = ReferenceRounding::kDefault) {
  oracle::Outcome expected;
  std::vector<std::vector<std::uint8_t>> wantBytes;
  const auto runReference = [&](std::uint32_t mode, bool hostMode) {
    Buffers want = MakeBuffers(layouts, prepare);
    {
      FpStateGuard guard;
      if (hostMode) SetHostRounding(mode);
      expected = reference(want);
    }
    wantBytes.clear();
    for (auto& b : want) wantBytes.push_back(b->Snapshot());
  };
  const bool perMode = referenceRounding == ReferenceRounding::kHostMode;
  if (!perMode) runReference(kFpRoundNearest, false);

  for (const CpuPath& path : CpuPaths()) {
    for (std::uint32_t mode : kHostRoundings) {
      if (perMode) runReference(mode, true);
      const std::string where = what + " [" + path.label + ", " + RoundingName(mode) + "]";
      Buffers got = MakeBuffers(layouts, prepare);
      FpStateGuard guard;
      SetHostRounding(mode);
      const FpState before = ReadFpState();
      oracle::Outcome outcome;
      {
        StderrCapture capture;
        {
          const PinnedCpuPath pin(path);
          outcome = exported(got);
        }
        outcome.diagnostic = capture.Take();
      }
      const FpState after = ReadFpState();
      if (!(before == after)) {
        ADD_FAILURE() << where << ": floating-point control state changed";
        return false;
      }
      if (outcome.result != expected.result) {
        ADD_FAILURE() << where << ": result " << outcome.result << ", expected " << expected.result;
        return false;
      }
      const std::string line = expected.diagnostic.empty() ? "" : expected.diagnostic + "\n";
      if (outcome.diagnostic != line) {
        ADD_FAILURE() << where << ": diagnostic \"" << outcome.diagnostic << "\", expected \"" << line << "\"";
        return false;
      }
      for (std::size_t i = 0; i < got.size(); ++i) {
        const std::vector<std::uint8_t> bytes = got[i]->Snapshot();
        for (std::size_t k = 0; k < bytes.size(); ++k) {
          if (bytes[k] != wantBytes[i][k]) {
            ADD_FAILURE() << where << ": buffer " << i << " differs first at byte " << k
                          << " of " << bytes.size() << ": got " << int{bytes[k]} << ", expected "
                          << int{wantBytes[i][k]};
            return false;
          }
        }
      }
    }
  }
  return true;
}

// Runs `run(rng)` on every path with an Rng seeded alike; each run returns
// the bytes it produced, and every path must give the scalar path's bytes.
template <class Run>
void ExpectPathsAgree(std::uint64_t seed, const std::string& label, Run&& run) {
  std::vector<std::pair<const char*, std::vector<std::uint8_t>>> results;
  std::vector<std::uint8_t> scalar;
  for (const CpuPath& path : CpuPaths()) {
    PinnedCpuPath pin(path);
    Rng rng(seed);
    std::vector<std::uint8_t> got = run(rng);
    if (path.flags == 0)
      scalar = std::move(got);
    else
      results.emplace_back(path.label, std::move(got));
  }
  for (const auto& [name, got] : results) EXPECT_EQ(got, scalar) << label << " on path " << name;
}

// Random sizes: widths 0..70 (every short tail) with a few wider rows and a
// few negative widths; heights mostly small, sometimes 0 or negative.
inline std::int32_t RandomWidth(Rng& rng) {
  const int pick = rng.Int(0, 19);
  if (pick == 0) return rng.Int(-5, -1);
  if (pick == 1) return rng.Int(71, 200);
  return rng.Int(0, 70);
}
inline std::int32_t RandomHeight(Rng& rng) {
  const int pick = rng.Int(0, 19);
  if (pick == 0) return rng.Int(-3, 0);
  if (pick == 1) return rng.Int(7, 24);
  return rng.Int(1, 6);
}
// "Name WxH case N" for failure messages.
inline std::string Describe(const char* name, std::int32_t width, std::int32_t height, int seed) {
  std::ostringstream s;
  s << name << ' ' << width << 'x' << height << " case " << seed;
  return s.str();
}

inline std::int32_t Rows(std::int32_t height) { return height > 0 ? height : 0; }
inline std::int32_t Elements(std::int32_t width) { return width > 0 ? width : 0; }

}  // namespace morvex::test
