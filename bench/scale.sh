#!/usr/bin/env bash
# Start-up time and peak memory of terminals over mazes of 1x, 10x and 100x the
# default node count, per megabyte of image: linear growth keeps both figures
# level from row to row.
#
#   bench/scale.sh [BUILD_DIR]      (default: build/scale; configured and built here)
set -euo pipefail
build=${1:-build/scale}
cmake -S "$(dirname "$0")/.." -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKESTIV_BUILD_TESTS=OFF -DKESTIV_SCALE_BENCH=ON >/dev/null
cmake --build "$build" --target kestiv-terminal-1x kestiv-terminal-10x kestiv-terminal-100x >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$(dirname "$0")/measure.sh"

printf '%-6s %10s %10s %12s %10s %12s\n' maze "image MB" "median ms" "ms per MB" "peak MiB" "KiB per MB"
for factor in 1 10 100; do
  program=$build/scale/kestiv-terminal-${factor}x
  image=$build/scale/maze-${factor}x.img
  runs=$(( factor == 100 ? 10 : 30 ))
  hyperfine -N --warmup 2 --runs "$runs" --style none --export-csv "$work/t.csv" "$program" >/dev/null
  median=$(awk -F, 'NR == 2 { print $4 }' "$work/t.csv")
  awk -v f="$factor" -v bytes="$(stat -c %s "$image")" -v s="$median" -v rss="$(median_peak_kib 5 "$program")" 'BEGIN {
    mb = bytes / 1e6
    printf "%-6s %10.1f %10.2f %12.4f %10.1f %12.1f\n", f "x", mb, s * 1000, s * 1000 / mb, rss / 1024, rss / mb
  }'
done | tee "$work/rows"
awk '{ t[NR] = $4; m[NR] = $6 }
  END {
    tmin = tmax = t[1]; mmin = mmax = m[1]
    for (i = 2; i <= NR; i++) {
      if (t[i] < tmin) tmin = t[i]; if (t[i] > tmax) tmax = t[i]
      if (m[i] < mmin) mmin = m[i]; if (m[i] > mmax) mmax = m[i]
    }
    printf "spread (largest / smallest per MB): time %.3f, memory %.3f\n", tmax / tmin, mmax / mmin
  }' "$work/rows"
