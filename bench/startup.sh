#!/usr/bin/env bash
# Start-up of the terminal on its image, with empty input, against the floor
# program linked with the same image: medians side by side with hyperfine, their
# ratio, and the peak resident memory of both.
#
#   bench/startup.sh [BUILD_DIR]      (default: build/default)
set -euo pipefail
build=${1:-build/default}
terminal=$build/kestiv-terminal
floor=$build/kestiv-floor
for program in "$terminal" "$floor"; do
  [ -x "$program" ] || { echo "startup.sh: $program is missing; build the default preset first" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$(dirname "$0")/measure.sh"

hyperfine -N --warmup 5 --runs "${RUNS:-50}" --style basic --export-csv "$work/times.csv" \
  --command-name terminal "$terminal" --command-name floor "$floor" >&2

awk -F, -v t_rss="$(median_peak_kib 7 "$terminal")" -v f_rss="$(median_peak_kib 7 "$floor")" '
  NR == 1 { next }
  { median[$1] = $4 }
  END {
    printf "start-up median: terminal %.2f ms, floor %.2f ms, ratio %.3f\n",
           median["terminal"] * 1000, median["floor"] * 1000, median["terminal"] / median["floor"]
    printf "peak RSS:        terminal %d KiB, floor %d KiB, ratio %.3f\n", t_rss, f_rss, t_rss / f_rss
  }' "$work/times.csv"
