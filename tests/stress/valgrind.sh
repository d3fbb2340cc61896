#!/usr/bin/env bash
# Usage: tests/stress/valgrind.sh BUILD_DIR
# Runs real sessions of the terminal on the default maze, and of the shell
# fixture terminal, under valgrind memcheck in a configured build directory.
# Any memory error or definitely lost block fails the session; the tree the
# terminal keeps until exit is still reachable by design and is not counted.
# The maze's names are found by asking the terminal itself, outside valgrind.
set -euo pipefail

build=$(cd "${1:?usage: tests/stress/valgrind.sh BUILD_DIR}" && pwd)
cmake --build "$build" --target kestiv-terminal fixture-shell fixture-bad-contents -j2 >/dev/null

maze="$build/kestiv-terminal"
fixtures="$build/fixtures"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prompt="kestiv's terminal ---> "
memcheck_error=99

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

start_bytes=$("$maze" </dev/null | wc -c)

# listing COMMANDS: the lines dir writes after COMMANDS, run without valgrind.
listing() {
  printf '%sdir\n' "$1" | "$maze" | tail -c +$((start_bytes + 1)) | sed "s/$prompt//g"
}

# A directory with children below the root, and a stored file somewhere under it.
path=""
dir_path=""
file_name=""
for _ in 1 2 3 4 5 6; do
  entries=$(listing "$path")
  next=""
  while IFS= read -r name; do
    if [ -z "$name" ] || [ "$name" = README.txt ]; then continue; fi
    status=0
    printf '%stype %s\n' "$path" "$name" | "$maze" >/dev/null || status=$?
    if [ "$status" -eq 0 ] && [ -n "$dir_path" ]; then
      file_name=$name
      break
    fi
    if [ -z "$next" ] && [ -n "$(listing "${path}cd $name"$'\n')" ]; then
      next=$name
    fi
  done <<<"$entries"
  [ -z "$file_name" ] || break
  [ -n "$next" ] || fail "no directory with children below '${path}'"
  path="${path}cd $next"$'\n'
  dir_path=$path
done
[ -n "$file_name" ] || fail "no stored file found in the maze"
echo "maze walk: $(printf '%s' "$path" | tr '\n' ' ')then type $file_name"

# session NAME TERMINAL STATUS INPUT
session() {
  local name=$1 terminal=$2 want=$3 input=$4 status=0
  printf '%s' "$input" >"$work/$name.input"
  valgrind -q --error-exitcode=$memcheck_error --leak-check=full --show-leak-kinds=definite \
    --errors-for-leak-kinds=definite --log-file="$work/$name.valgrind" \
    "$terminal" <"$work/$name.input" >"$work/$name.out" 2>"$work/$name.err" || status=$?
  if [ "$status" -eq "$memcheck_error" ] || [ -s "$work/$name.valgrind" ]; then
    cat "$work/$name.valgrind" >&2
    fail "$name: memcheck reported errors"
  fi
  [ "$status" -eq "$want" ] || fail "$name: exit status $status, expected $want"
  [ ! -s "$work/$name.err" ] || fail "$name: wrote to standard error"
  printf '%-24s status %3d  no memcheck errors\n' "$name" "$status"
}

session maze-empty-input "$maze" 0 ""
session maze-walk-and-readme "$maze" 0 "dir
${path}dir
cd ..
cd
type README.txt
cls
"
session maze-type-stored "$maze" 0 "${path}type $file_name
type $file_name
cd
dir
"
session maze-crash "$maze" 255 "${dir_path}cd no-such-name
"
first_dir=$(printf '%s' "$path" | head -n 1)
session maze-type-directory "$maze" 255 "type ${first_dir#cd }
"
session maze-exit "$maze" 255 "${dir_path}exit
"
session maze-taunt "$maze" 255 "ls -la
"
session shell-fixture "$fixtures/fixture-shell" 0 "dir
type README.txt
type binary.dat
type empty.txt
cd alpha
type secret.txt
cd ..
cd plain.bin
cd under
cd
cd 
dir
"
session bad-contents "$fixtures/fixture-bad-contents" 255 "type pad-zero
type pad-one
type partial-block
"
echo "valgrind: no memcheck errors in any session"
