#!/usr/bin/env bash
# Usage: [CC=clang-N CXX=clang++-N] fuzz/run.sh SECONDS
# Configures and builds the fuzz preset (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer), then runs every fuzz target for SECONDS seconds,
# one after another, and prints the executions of each. Inputs that grow
# coverage are kept in build/fuzz/fuzz/corpus/<target> for the next run; a
# failing input is saved as build/fuzz/fuzz/artifacts/<target>-crash-<hash>
# and the script exits non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: fuzz/run.sh SECONDS}
# The preset builds with clang 14; CC and CXX choose another clang, whose
# libFuzzer runtime must be installed (clang-N and libclang-rt-N-dev).
compilers=()
if [ -n "${CC:-}" ]; then compilers+=("-DCMAKE_C_COMPILER=$CC"); fi
if [ -n "${CXX:-}" ]; then compilers+=("-DCMAKE_CXX_COMPILER=$CXX"); fi
cmake --preset fuzz "${compilers[@]}" >/dev/null
cmake --build --preset fuzz -j2

out=build/fuzz/fuzz
failed=0
while read -r target max_len; do
  mkdir -p "$out/corpus/$target" "$out/artifacts"
  log="$out/$target.log"
  status=0
  # One process, one input at a time: a finding stops the target at once.
  "$out/fuzz-$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/artifacts/$target-" \
    "$out/corpus/$target" "$out/seeds/$target" </dev/null >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz-$target: ${runs:-?} executions in ${seconds} s, corpus $(find "$out/corpus/$target" -type f | wc -l) inputs"
  if [ "$status" -ne 0 ]; then
    echo "fuzz-$target FAILED (status $status); log $log:" >&2
    tail -n 40 "$log" >&2
    failed=1
  fi
done < <(grep -E '^[a-z_]+ [0-9]+$' fuzz/targets.txt)
exit "$failed"
