# shellcheck shell=bash
# Peak memory and time of whole programs, as GNU time (Debian package time)
# reports them. Sourced by the benchmark and stress scripts.

# measure RESULT_FILE COMMAND [ARGS...]: runs COMMAND with the caller's
# redirections and leaves "PEAK_KIB SECONDS" as the last line of RESULT_FILE
# (time puts a line of its own before it when the status is not 0). Returns
# COMMAND's status. The peak is that of the largest process COMMAND started.
measure() {
  local result=$1
  shift
  /usr/bin/time -f '%M %e' -o "$result" "$@"
}

# median_peak_kib RUNS PROGRAM: the median peak resident memory, in KiB, of
# PROGRAM run RUNS times on empty input.
median_peak_kib() {
  local runs=$1 program=$2 result
  result=$(mktemp)
  for _ in $(seq "$runs"); do
    measure "$result" "$program" </dev/null >/dev/null 2>&1 || true
    tail -n 1 "$result" | cut -d' ' -f1
  done | sort -n | sed -n "$(((runs + 1) / 2))p"
  rm -f "$result"
}
