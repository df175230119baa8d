#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehavior-
# Sanitizer) and runs each from its committed seed corpus.
#
#   tools/run_fuzzers.sh [RUNS]         RUNS executions per target (default 4000)
#   tools/run_fuzzers.sh --seconds N    N seconds per target, for long runs
#
# Each target decodes its input into one export call with planes of exactly
# the size the region needs, fenced by inaccessible pages, makes the call on
# every processor path and aborts when the written bytes differ, when a guard
# byte changed or when the floating-point state was not restored. New inputs
# found during a run go to build-fuzz/corpus/, not into the repository.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-runs="${1:-4000}")
if [ "${1:-}" = "--seconds" ]; then limit=(-max_total_time="${2:?seconds}"); fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMORVEX_FUZZ=ON >/dev/null
ninja -C build-fuzz -j"$(nproc)"

status=0
for corpus in tests/fuzz/corpus/*/; do
  name=$(basename "$corpus")
  work=build-fuzz/corpus/$name
  mkdir -p "$work" build-fuzz/artifacts
  printf '%-8s ' "$name"
  # Refusal diagnostics are expected here and would flood the log.
  if build-fuzz/tests/"${name}"_fuzz "${limit[@]}" -max_len=512 -timeout=20 \
      -artifact_prefix=build-fuzz/artifacts/"$name"- "$work" "$corpus" \
      >build-fuzz/"$name".log 2>&1; then
    grep -E '^Done [0-9]+ runs' build-fuzz/"$name".log || echo "done"
  else
    status=1
    echo "FAILED"
    grep -vE '^(ChannelMap|GaussianBlur|GaussianBlurMask): ' build-fuzz/"$name".log | tail -40
  fi
done
exit $status
