#!/usr/bin/env bash
# Usage: tests/stress/run.sh BUILD_DIR
# Hostile sessions against the real terminal, in a configured build directory
# (any preset; e.g. cmake --preset default -B build/stress). Builds the stress
# images and their terminals there, then checks exact output and exit status of
# each session, every one bounded by a timeout, and prints peak RSS and time.
# Exits non-zero on the first session that does not end as it must.
set -euo pipefail

build=$(cd "${1:?usage: tests/stress/run.sh BUILD_DIR}" && pwd)
. "$(dirname "$0")/../../bench/measure.sh"
cmake --build "$build" --target stress-terminals -j2 >/dev/null

dir="$build/stress"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
limit=120  # seconds for any one session; a correct one takes a few

prompt="kestiv's terminal ---> "
crash="Oh no, CRAAAAAAAAAAASH"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# run NAME TERMINAL INPUT: runs the terminal on INPUT, output in $work/NAME.out;
# sets status, rss (peak KiB) and seconds.
run() {
  local name=$1 terminal=$2 input=$3
  status=0
  measure "$work/$name.time" timeout -s KILL "$limit" \
    "$terminal" <"$input" >"$work/$name.out" 2>"$work/$name.err" || status=$?
  [ "$status" -ne 137 ] || fail "$name: still running after $limit s"
  [ ! -s "$work/$name.err" ] || fail "$name: wrote to standard error: $(head -c 300 "$work/$name.err")"
  read -r rss seconds < <(tail -n 1 "$work/$name.time")
}

# expect NAME STATUS EXPECTED_FILE: exact output and status of the last run.
expect() {
  local name=$1 want=$2 expected=$3
  [ "$status" -eq "$want" ] || fail "$name: exit status $status, expected $want"
  cmp -s "$work/$name.out" "$expected" || fail "$name: output differs from $expected"
  printf '%-28s status %3d  peak RSS %7d KiB  %6.2f s\n' "$name" "$status" "$rss" "$seconds"
}

# What every terminal with a readable image writes before its first command.
: >"$work/empty.input"
run start "$dir/stress-small" "$work/empty.input"
cp "$work/start.out" "$work/start"
[ "$status" -eq 0 ] || fail "empty input: status $status"
head -c -${#prompt} "$work/start" >"$work/banner"

session() {  # session NAME: the generated input and expected output of NAME
  local name=$1
  run "$name" "$dir/stress-$name" "$dir/$name.input"
  cat "$work/start" "$dir/$name.expected" >"$work/$name.want"
  expect "$name" 0 "$work/$name.want"
}

session deep-chain
run deep-chain-empty "$dir/stress-deep-chain" "$work/empty.input"
expect deep-chain-empty 0 "$work/start"
session long-names
session big-content

# Refused at once: the announced count is never allocated for.
run huge-count "$dir/stress-huge-count" "$dir/huge-count.input"
cat "$work/banner" "$dir/huge-count.expected" >"$work/huge-count.want"
expect huge-count 255 "$work/huge-count.want"
[ "$rss" -lt 65536 ] || fail "huge-count: peak RSS $rss KiB"

# A 100 MB line: carried out when it is a command, the crash path when not.
{ printf 'cls'; head -c 100000000 /dev/zero | tr '\0' x; printf '\ndir\n'; } >"$work/long-line.input"
run long-line "$dir/stress-small" "$work/long-line.input"
cat "$work/start" >"$work/long-line.want"
printf '%s' "$prompt" >>"$work/long-line.want"
cat "$dir/small.expected" >>"$work/long-line.want"
expect long-line 0 "$work/long-line.want"
{ head -c 100000000 /dev/zero | tr '\0' y; printf '\ndir\n'; } >"$work/long-garbage.input"
run long-garbage "$dir/stress-small" "$work/long-garbage.input"
cat "$work/start" >"$work/long-garbage.want"
printf '%s' "$crash" >>"$work/long-garbage.want"
expect long-garbage 255 "$work/long-garbage.want"

# Memory stays flat over many commands: compare 1,000 with 1,000,000.
commands() {  # commands COUNT FILE: COUNT commands cycling through cd, cd .., dir
  awk -v n="$1" 'BEGIN { for (i = 0; i < n; i++) print (i % 3 == 0 ? "cd a" : i % 3 == 1 ? "cd .." : "dir") }' >"$2"
}
for count in 1000 1000000; do
  commands "$count" "$work/commands-$count.input"
  run "commands-$count" "$dir/stress-small" "$work/commands-$count.input"
  [ "$status" -eq 0 ] || fail "commands-$count: status $status"
  lines=$(grep -c '^README.txt$' "$work/commands-$count.out" || true)
  [ "$lines" -eq $((count / 3)) ] || fail "commands-$count: $lines listings, expected $((count / 3))"
  printf '%-28s status %3d  peak RSS %7d KiB  %6.2f s\n' "commands-$count" "$status" "$rss" "$seconds"
  eval "rss_$count=$rss"
done
# shellcheck disable=SC2154
[ $((rss_1000000 - rss_1000)) -lt 2048 ] || fail "memory grew from $rss_1000 to $rss_1000000 KiB"

# Standard output gone while input never ends: the terminal must end by itself.
gone() {  # gone NAME EXPECTED_STATUS IGNORE_SIGPIPE HOW
  local name=$1 want=$2 ignore=$3 how=$4 statuses
  statuses=$(
    [ "$ignore" = no ] || trap '' PIPE
    if [ "$how" = closed ]; then
      yes dir 2>/dev/null | timeout -s KILL 30 "$dir/stress-small" >&- 2>/dev/null
      echo "${PIPESTATUS[1]}"
    else
      yes dir 2>/dev/null | timeout -s KILL 30 "$dir/stress-small" 2>/dev/null | head -c 100 >/dev/null
      echo "${PIPESTATUS[1]}"
    fi
  ) || true
  [ "$statuses" -ne 137 ] || fail "$name: still running after 30 s"
  [ "$statuses" -eq "$want" ] || fail "$name: status $statuses, expected $want"
  printf '%-28s status %3d\n' "$name" "$statuses"
}
gone stdout-closed 255 no closed
gone stdout-closed-sigpipe-ign 255 yes closed
gone reader-gone 141 no reader
gone reader-gone-sigpipe-ign 255 yes reader

echo "stress: all sessions ended as they must"
