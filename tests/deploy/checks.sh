# shellcheck shell=bash
# Sourced by the deploy tests: check WHAT COMMAND... runs the command and
# reports it by its description; checks_summary prints the closing count and
# fails when any check did.
passed=0
failed=0

check() {
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "ok      $what"
    else
        failed=$((failed + 1))
        echo "FAILED  $what"
    fi
}

checks_summary() {
    echo "$passed passed, $failed failed"
    [[ $failed -eq 0 ]]
}
