#!/usr/bin/env bash
# Start-up of the terminal on its image, with empty input, against the two
# floor programs linked with the same image: node by node (every image byte
# read once, one allocation per node) and one copy into huge pages. Wall-clock
# medians side by side with hyperfine; then the median CPU time (user + system),
# page faults and peak resident memory of each, and the terminal's CPU against
# the huge-page floor's.
#
#   bench/startup.sh [BUILD_DIR]      (default: build/default; RUNS=50)
set -euo pipefail
build=${1:-build/default}
terminal=$build/kestiv-terminal
floor=$build/kestiv-floor
huge_page_floor=$build/kestiv-huge-page-floor
for program in "$terminal" "$floor" "$huge_page_floor"; do
  [ -x "$program" ] || { echo "startup.sh: $program is missing; build the default preset first" >&2; exit 2; }
done
runs=${RUNS:-50}

hyperfine -N --warmup 5 --runs "$runs" --style basic --command-name terminal "$terminal" \
  --command-name floor "$floor" --command-name huge-page-floor "$huge_page_floor" >&2

python3 "$(dirname "$0")/startup/cpu_runs.py" "$runs" terminal="$terminal" floor="$floor" \
  huge-page-floor="$huge_page_floor" | awk '
  { print }
  $1 == "terminal" { cpu = $2 }
  $1 == "huge-page-floor" { floor = $2 }
  END { printf "start-up CPU median: terminal %.2f ms, huge-page floor %.2f ms, ratio %.2f\n", cpu, floor, cpu / floor }'
